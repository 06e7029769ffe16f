// WinINet subset of the Win32 stand-in, on libcurl. Only http and https addresses are
// fetched; the connection and the whole transfer have time limits, the body has a size
// limit, and server certificates are checked. The body of a request is fetched in full by
// InternetOpenUrlA (within those limits) and handed out by InternetReadFile.
#pragma once

#include <windows.h>

typedef LPVOID HINTERNET;
typedef ULONG_PTR DWORD_PTR;

#define INTERNET_OPEN_TYPE_PRECONFIG 0
#define INTERNET_OPEN_TYPE_DIRECT 1
#define INTERNET_OPEN_TYPE_PROXY 3

#define INTERNET_FLAG_RELOAD 0x80000000u
#define INTERNET_FLAG_NO_CACHE_WRITE 0x04000000u

#define ERROR_INTERNET_OUT_OF_HANDLES 12001L
#define ERROR_INTERNET_TIMEOUT 12002L
#define ERROR_INTERNET_INTERNAL_ERROR 12004L
#define ERROR_INTERNET_INVALID_URL 12005L
#define ERROR_INTERNET_UNRECOGNIZED_SCHEME 12006L
#define ERROR_INTERNET_NAME_NOT_RESOLVED 12007L
#define ERROR_INTERNET_INCORRECT_HANDLE_TYPE 12018L
#define ERROR_INTERNET_CANNOT_CONNECT 12029L
#define ERROR_INTERNET_CONNECTION_ABORTED 12030L
#define ERROR_INTERNET_CONNECTION_RESET 12031L
#define ERROR_INTERNET_SEC_CERT_ERRORS 12055L
#define ERROR_HTTP_INVALID_SERVER_RESPONSE 12152L

// Opens a session. lpszAgent is sent as the User-Agent. INTERNET_OPEN_TYPE_PRECONFIG uses
// the proxy of the environment (http_proxy, https_proxy, no_proxy); INTERNET_OPEN_TYPE_DIRECT
// uses none; INTERNET_OPEN_TYPE_PROXY uses lpszProxy. Null on failure.
HINTERNET InternetOpenA(LPCSTR lpszAgent, DWORD dwAccessType, LPCSTR lpszProxy,
                        LPCSTR lpszProxyBypass, DWORD dwFlags);

// Fetches an http or https address (redirects followed, to http and https only). Null with
// GetLastError set when the address is refused, the server cannot be reached or does not
// answer in time, its certificate does not verify, or the body exceeds the size limit
// (ERROR_BUFFER_OVERFLOW). The HTTP status is not judged: an error page is a body too.
// lpszHeaders adds request headers ("Name: value" lines separated by CR LF).
HINTERNET InternetOpenUrlA(HINTERNET hInternet, LPCSTR lpszUrl, LPCSTR lpszHeaders,
                           DWORD dwHeadersLength, DWORD dwFlags, DWORD_PTR dwContext);

// Copies up to dwNumberOfBytesToRead bytes of the body; TRUE with 0 bytes at its end.
BOOL InternetReadFile(HINTERNET hFile, LPVOID lpBuffer, DWORD dwNumberOfBytesToRead,
                      LPDWORD lpdwNumberOfBytesRead);

// Closes a session or a request handle; FALSE for a handle that is not open.
BOOL InternetCloseHandle(HINTERNET hInternet);

namespace qv {

// The limits every request of the stand-in runs under.
struct InternetLimits {
    long connectTimeoutMs = 5000;   // to establish the connection (and TLS handshake)
    long totalTimeoutMs = 10000;    // for the whole request, body included
    size_t maxBodyBytes = 1 << 20;  // a larger body fails the request
};

// Replaces the limits for requests opened afterwards and returns the previous ones. Tests
// shorten them; the defaults keep a silent server from holding the program for long.
InternetLimits SetInternetLimits(const InternetLimits& limits);
InternetLimits GetInternetLimits();

}  // namespace qv
