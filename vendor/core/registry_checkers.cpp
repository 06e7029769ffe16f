#include "vendor/core/registry_checkers.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>
#include <unordered_set>

#include "platform/win32/file_system_view.h"

namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// The default value of parent\path as text; empty when missing or not text.
std::string DefaultText(HKEY parent, const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return {};
    DWORD type = 0, size = 0;
    std::string text;
    if (RegQueryValueExA(key, nullptr, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ) && size > 0) {
        std::string buf(size, '\0');
        if (RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size) ==
            ERROR_SUCCESS)
            text = buf.c_str();
    }
    RegCloseKey(key);
    return text;
}

std::vector<std::string> Subkeys(HKEY parent, const std::string& path) {
    std::vector<std::string> out;
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, &key) != ERROR_SUCCESS) return out;
    char name[1024];
    for (DWORD i = 0; i < 100000; ++i) {
        DWORD n = sizeof name;
        LONG r = RegEnumKeyExA(key, i, name, &n, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_MORE_DATA) continue;  // longer than any real key name
        if (r != ERROR_SUCCESS) break;
        out.emplace_back(name, n);
    }
    RegCloseKey(key);
    return out;
}

// How a type library's file for one platform subkey is found: "win32" by 32-bit programs,
// "win64" by 64-bit ones; anything else as the caller's view says.
qv::FileSystemView PlatformView(const std::string& platform) {
    if (!qv::ActivePrefixIs64Bit()) return qv::CurrentFileSystemView();
    if (Lower(platform) == "win32") return qv::FileSystemView::Bits32;
    if (Lower(platform) == "win64") return qv::FileSystemView::Bits64;
    return qv::CurrentFileSystemView();
}

// A path as a type library registration gives it may end in "\<resource number>".
bool TypeLibFileExists(const std::string& path, qv::FileSystemView view) {
    if (path.empty()) return false;
    qv::ScopedFileSystemView scope(view);
    if (CRegistryObject::FileVerified(path)) return true;
    size_t slash = path.find_last_of('\\');
    if (slash != std::string::npos && slash + 1 < path.size() &&
        std::all_of(path.begin() + static_cast<std::ptrdiff_t>(slash) + 1, path.end(),
                    [](unsigned char c) { return std::isdigit(c); }))
        return CRegistryObject::FileVerified(path.substr(0, slash));
    return false;
}

// Whether a store holds a record with the id `id` (field 0, compared without case). The
// store only grows during a scan, so the index of each store is extended, not rebuilt.
template <class Record>
bool StoreHolds(const std::vector<Record>& store, const std::string& id) {
    struct Index {
        size_t indexed = 0;
        std::string first;
        std::unordered_set<std::string> ids;
    };
    thread_local std::unordered_map<const void*, Index> indexes;
    Index& index = indexes[&store];
    if (store.size() < index.indexed || (index.indexed > 0 && store.front().fields[0] != index.first)) index = Index{};
    for (; index.indexed < store.size(); ++index.indexed) index.ids.insert(Lower(store[index.indexed].fields[0]));
    if (!store.empty()) index.first = store.front().fields[0];
    return index.ids.count(Lower(id)) != 0;
}

}  // namespace

void CRegistryClassID::Initialize(HKEY parent, const std::string& name) {
    m_record = {};
    m_record.fields[0] = name;
    m_record.fields[1] = DefaultText(parent, name);
    // The 32-bit servers only: the 16-bit ones (InprocServer, ...) that old registrations
    // still carry beside them are never loaded here, so a missing one breaks nothing.
    static const char* const kServers[] = {"InprocServer32", "LocalServer32", "InprocHandler32"};
    for (int i = 0; i < 3; ++i) {
        std::string server = DefaultText(parent, name + "\\" + kServers[i]);
        m_record.fields[2 + i] = server;
        if (!server.empty() && m_record.fields[10].empty() && !FileVerified(server)) m_record.fields[10] = server;
    }
    m_record.fields[8] = DefaultText(parent, name + "\\ProgID");
    m_record.fields[9] = DefaultText(parent, name + "\\TypeLib");
}

void CRegistryProgID::Initialize(HKEY parent, const std::string& name) {
    m_record = {};
    m_record.fields[0] = name;
    m_record.fields[1] = DefaultText(parent, name + "\\CLSID");
    if (!m_record.fields[1].empty() && !StoreHolds(m_classIds, m_record.fields[1]) &&
        !(m_classIds32 && StoreHolds(*m_classIds32, m_record.fields[1])))
        m_record.fields[2] = "CLSID " + m_record.fields[1] + " is not registered";
}

void CRegistryTypeLib::Initialize(HKEY parent, const std::string& name) {
    m_record = {};
    m_record.fields[0] = name;
    m_ok = false;
    std::string files;
    for (const std::string& version : Subkeys(parent, name)) {
        const std::string versionPath = name + "\\" + version;
        for (const std::string& locale : Subkeys(parent, versionPath)) {
            if (Lower(locale) == "flags" || Lower(locale) == "helpdir") continue;
            for (const std::string& platform : Subkeys(parent, versionPath + "\\" + locale)) {
                std::string file = DefaultText(parent, versionPath + "\\" + locale + "\\" + platform);
                if (file.empty()) continue;
                if (!files.empty()) files += "|";
                files += file;
                if (TypeLibFileExists(file, PlatformView(platform))) m_ok = true;
            }
        }
    }
    m_record.fields[1] = files;
}

void CRegistryInterface::Initialize(HKEY parent, const std::string& name) {
    m_record = {};
    m_record.fields[0] = name;
    m_record.fields[1] = DefaultText(parent, name + "\\TypeLib");
    m_ok = m_record.fields[1].empty() || StoreHolds(m_typeLibs, m_record.fields[1]) ||
           (m_typeLibs32 && StoreHolds(*m_typeLibs32, m_record.fields[1]));
}

std::string InvalidReason(const _REG_CLSID& r) { return "missing server file: " + r.fields[10]; }
std::string InvalidReason(const _REG_PROGID& r) { return r.fields[2]; }
std::string InvalidReason(const _REG_TYPELIB& r) {
    return r.fields[1].empty() ? "names no file" : "none of its files exists: " + r.fields[1];
}
std::string InvalidReason(const _REG_INTERFACE& r) { return "TypeLib " + r.fields[1] + " is not registered"; }
