// InternetOpenA, InternetOpenUrlA, InternetReadFile and InternetCloseHandle on libcurl.
// A request is carried out in full by InternetOpenUrlA under the limits of
// qv::InternetLimits; InternetReadFile then hands out the body it holds.
#include <wininet.h>

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_set>

namespace qv {
namespace {

struct InternetHandle {
    enum class Kind { Session, Request };
    Kind kind = Kind::Session;
    // Session
    std::string agent;
    DWORD accessType = INTERNET_OPEN_TYPE_PRECONFIG;
    std::string proxy;
    std::string proxyBypass;
    // Request
    std::string body;
    size_t readPosition = 0;
};

// Every handle handed out and not yet closed, so that a stale or foreign handle is refused
// instead of being followed.
struct HandleTable {
    std::mutex mutex;
    std::unordered_set<InternetHandle*> open;
    InternetLimits limits;
};

HandleTable& Table() {
    static HandleTable table;
    return table;
}

HINTERNET Register(InternetHandle* handle) {
    HandleTable& table = Table();
    std::lock_guard lock(table.mutex);
    table.open.insert(handle);
    return handle;
}

// The handle behind an HINTERNET when it is open and of the kind asked for.
InternetHandle* Lookup(HINTERNET raw, InternetHandle::Kind kind) {
    HandleTable& table = Table();
    std::lock_guard lock(table.mutex);
    auto* handle = static_cast<InternetHandle*>(raw);
    if (table.open.count(handle) == 0 || handle->kind != kind) return nullptr;
    return handle;
}

void InitializeCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool StartsWithIgnoringCase(const char* text, const char* prefix) {
    for (; *prefix != '\0'; ++text, ++prefix) {
        if (std::tolower(static_cast<unsigned char>(*text)) != *prefix) return false;
    }
    return true;
}

struct BodySink {
    std::string* body;
    size_t limit;
    bool overflowed = false;
};

size_t WriteBody(char* data, size_t size, size_t count, void* context) {
    auto* sink = static_cast<BodySink*>(context);
    size_t bytes = size * count;
    if (bytes > sink->limit - sink->body->size()) {
        // Abort the transfer: a larger body than any feed needs is not buffered.
        sink->overflowed = true;
        return 0;
    }
    sink->body->append(data, bytes);
    return bytes;
}

DWORD ErrorFor(CURLcode code) {
    switch (code) {
        case CURLE_OPERATION_TIMEDOUT: return ERROR_INTERNET_TIMEOUT;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY: return ERROR_INTERNET_NAME_NOT_RESOLVED;
        case CURLE_COULDNT_CONNECT: return ERROR_INTERNET_CANNOT_CONNECT;
        case CURLE_FILESIZE_EXCEEDED: return ERROR_BUFFER_OVERFLOW;
        case CURLE_UNSUPPORTED_PROTOCOL: return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
        case CURLE_URL_MALFORMAT: return ERROR_INTERNET_INVALID_URL;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH: return ERROR_INTERNET_SEC_CERT_ERRORS;
        case CURLE_GOT_NOTHING:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_PARTIAL_FILE: return ERROR_INTERNET_CONNECTION_ABORTED;
        case CURLE_WEIRD_SERVER_REPLY: return ERROR_HTTP_INVALID_SERVER_RESPONSE;
        case CURLE_OUT_OF_MEMORY: return ERROR_NOT_ENOUGH_MEMORY;
        default: return ERROR_INTERNET_INTERNAL_ERROR;
    }
}

// Hosts for which the environment's proxy is not used: its own no_proxy list plus the
// loopback addresses, which a proxy elsewhere could not reach.
std::string NoProxyList() {
    std::string list = "localhost,127.0.0.1,::1";
    for (const char* name : {"no_proxy", "NO_PROXY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && value[0] != '\0') {
            list += ',';
            list += value;
            break;
        }
    }
    return list;
}

// Request headers given as "Name: value" lines separated by CR LF.
curl_slist* HeaderList(LPCSTR headers, DWORD length) {
    if (headers == nullptr) return nullptr;
    size_t size = (length == 0 || length == static_cast<DWORD>(-1)) ? std::strlen(headers)
                                                                     : std::min<size_t>(length, std::strlen(headers));
    std::string text(headers, size);
    curl_slist* list = nullptr;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        if (end > start) list = curl_slist_append(list, text.substr(start, end - start).c_str());
        start = end + 1;
    }
    return list;
}

}  // namespace

InternetLimits SetInternetLimits(const InternetLimits& limits) {
    HandleTable& table = Table();
    std::lock_guard lock(table.mutex);
    InternetLimits previous = table.limits;
    table.limits = limits;
    return previous;
}

InternetLimits GetInternetLimits() {
    HandleTable& table = Table();
    std::lock_guard lock(table.mutex);
    return table.limits;
}

}  // namespace qv

HINTERNET InternetOpenA(LPCSTR lpszAgent, DWORD dwAccessType, LPCSTR lpszProxy,
                        LPCSTR lpszProxyBypass, DWORD /*dwFlags*/) {
    if (dwAccessType != INTERNET_OPEN_TYPE_PRECONFIG && dwAccessType != INTERNET_OPEN_TYPE_DIRECT &&
        dwAccessType != INTERNET_OPEN_TYPE_PROXY) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    qv::InitializeCurlOnce();
    auto* handle = new qv::InternetHandle;
    handle->kind = qv::InternetHandle::Kind::Session;
    handle->agent = lpszAgent ? lpszAgent : "";
    handle->accessType = dwAccessType;
    if (dwAccessType == INTERNET_OPEN_TYPE_PROXY) {
        handle->proxy = lpszProxy ? lpszProxy : "";
        handle->proxyBypass = lpszProxyBypass ? lpszProxyBypass : "";
        // Windows separates bypass entries with semicolons or blanks, curl with commas.
        std::replace_if(handle->proxyBypass.begin(), handle->proxyBypass.end(),
                        [](char c) { return c == ';' || c == ' '; }, ',');
    }
    SetLastError(ERROR_SUCCESS);
    return qv::Register(handle);
}

HINTERNET InternetOpenUrlA(HINTERNET hInternet, LPCSTR lpszUrl, LPCSTR lpszHeaders,
                           DWORD dwHeadersLength, DWORD /*dwFlags*/, DWORD_PTR /*dwContext*/) {
    qv::InternetHandle* session = qv::Lookup(hInternet, qv::InternetHandle::Kind::Session);
    if (session == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (lpszUrl == nullptr || lpszUrl[0] == '\0') {
        SetLastError(ERROR_INTERNET_INVALID_URL);
        return nullptr;
    }
    if (!qv::StartsWithIgnoringCase(lpszUrl, "http://") && !qv::StartsWithIgnoringCase(lpszUrl, "https://")) {
        SetLastError(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
        return nullptr;
    }
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        SetLastError(ERROR_INTERNET_OUT_OF_HANDLES);
        return nullptr;
    }

    const qv::InternetLimits limits = qv::GetInternetLimits();
    std::string body;
    qv::BodySink sink{&body, limits.maxBodyBytes};
    std::string noProxy;
    curl_slist* headers = qv::HeaderList(lpszHeaders, dwHeadersLength);

    curl_easy_setopt(curl, CURLOPT_URL, lpszUrl);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    // No signals: timeouts must not rely on SIGALRM, which is unsafe beside other threads.
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, limits.connectTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, limits.totalTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBodyBytes));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, qv::WriteBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    if (!session->agent.empty()) curl_easy_setopt(curl, CURLOPT_USERAGENT, session->agent.c_str());
    if (headers != nullptr) curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    switch (session->accessType) {
        case INTERNET_OPEN_TYPE_DIRECT:
            curl_easy_setopt(curl, CURLOPT_PROXY, "");
            break;
        case INTERNET_OPEN_TYPE_PROXY:
            curl_easy_setopt(curl, CURLOPT_PROXY, session->proxy.c_str());
            curl_easy_setopt(curl, CURLOPT_NOPROXY, session->proxyBypass.c_str());
            break;
        default:
            noProxy = qv::NoProxyList();
            curl_easy_setopt(curl, CURLOPT_NOPROXY, noProxy.c_str());
            break;
    }

    CURLcode code = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);
    if (sink.overflowed) {
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return nullptr;
    }
    if (code != CURLE_OK) {
        SetLastError(qv::ErrorFor(code));
        return nullptr;
    }
    auto* request = new qv::InternetHandle;
    request->kind = qv::InternetHandle::Kind::Request;
    request->body = std::move(body);
    SetLastError(ERROR_SUCCESS);
    return qv::Register(request);
}

BOOL InternetReadFile(HINTERNET hFile, LPVOID lpBuffer, DWORD dwNumberOfBytesToRead,
                      LPDWORD lpdwNumberOfBytesRead) {
    if (lpdwNumberOfBytesRead != nullptr) *lpdwNumberOfBytesRead = 0;
    qv::InternetHandle* request = qv::Lookup(hFile, qv::InternetHandle::Kind::Request);
    if (request == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (lpdwNumberOfBytesRead == nullptr || (lpBuffer == nullptr && dwNumberOfBytesToRead > 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    size_t count = std::min<size_t>(dwNumberOfBytesToRead, request->body.size() - request->readPosition);
    if (count > 0) std::memcpy(lpBuffer, request->body.data() + request->readPosition, count);
    request->readPosition += count;
    *lpdwNumberOfBytesRead = static_cast<DWORD>(count);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL InternetCloseHandle(HINTERNET hInternet) {
    qv::HandleTable& table = qv::Table();
    qv::InternetHandle* handle = static_cast<qv::InternetHandle*>(hInternet);
    {
        std::lock_guard lock(table.mutex);
        if (table.open.erase(handle) == 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
    }
    delete handle;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
