// The Reg* functions over the active prefix's registry store. Names and string data cross
// this boundary in the ANSI code page (UTF-8); the store keeps UTF-16 as Wine does.
#include <windows.h>

#include <cstring>
#include <mutex>
#include <unordered_map>

#include "platform/prefix/prefix.h"
#include "platform/registry/reg_text.h"
#include "platform/registry/registry_batch.h"
#include "platform/registry/registry_store.h"
#include "platform/win32/registry_raw.h"

namespace {

using qv::RegRoot;
using qv::RegistryStore;
namespace reg = qv::reg;

struct Handle {
    std::shared_ptr<qv::Prefix> prefix;
    RegRoot root;
    std::u16string path;  // below the root, as the caller named it
    // The key found for the path in the store's trees of `generation`. A tree is kept until
    // the generation changes, and a deleted key stays readable in it, so the pointer is used
    // only while the generation is the same.
    reg::Key* key = nullptr;
    uint64_t generation = 0;
};

std::mutex g_handleMutex;
std::unordered_map<uintptr_t, Handle> g_handles;
uintptr_t g_nextHandle = 0x1000;

bool PredefinedRoot(HKEY h, RegRoot* root) {
    switch (reinterpret_cast<uintptr_t>(h)) {
        case 0x80000000u: *root = RegRoot::ClassesRoot; return true;
        case 0x80000001u: *root = RegRoot::CurrentUser; return true;
        case 0x80000002u: *root = RegRoot::LocalMachine; return true;
        case 0x80000003u: *root = RegRoot::Users; return true;
        case 0x80000005u: *root = RegRoot::CurrentConfig; return true;
        default: return false;
    }
}

// Where a handle points: the prefix, the root and the path below it.
bool Locate(HKEY h, Handle* out) {
    RegRoot root;
    if (PredefinedRoot(h, &root)) {
        out->prefix = qv::ActivePrefix();
        out->root = root;
        out->path.clear();
        out->key = nullptr;
        return out->prefix != nullptr;
    }
    std::lock_guard<std::mutex> lock(g_handleMutex);
    auto it = g_handles.find(reinterpret_cast<uintptr_t>(h));
    if (it == g_handles.end()) return false;
    *out = it->second;
    return true;
}

std::u16string JoinPath(const std::u16string& base, LPCSTR sub) {
    std::u16string out = base;
    if (sub && *sub) {
        if (!out.empty()) out += u'\\';
        out += reg::ToUtf16(sub);
    }
    return out;
}

// The key a handle names; caller holds a lock of the store. Null when it was deleted.
reg::Key* Resolve(Handle& h, RegistryStore& store) {
    if (h.key && h.generation == store.Generation() && !h.key->Deleted()) return h.key;
    reg::Key* k = store.Find(h.root, h.path);
    if (!k) return nullptr;
    h.key = k;
    h.generation = store.Generation();
    return k;
}

HKEY NewHandle(Handle h) {
    std::lock_guard<std::mutex> lock(g_handleMutex);
    uintptr_t id = g_nextHandle;
    g_nextHandle += 4;
    g_handles.emplace(id, std::move(h));
    return reinterpret_cast<HKEY>(id);
}

// Converts stored data to what the A functions return: string types in UTF-8.
bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

std::vector<uint8_t> ToAnsiData(const reg::Value& v) {
    if (!IsStringType(v.type)) return std::vector<uint8_t>(v.data.begin(), v.data.end());
    std::u16string units(v.data.size() / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(v.data[2 * i] | (v.data[2 * i + 1] << 8));
    std::string s = reg::ToUtf8(units);
    return std::vector<uint8_t>(s.begin(), s.end());
}

std::vector<uint8_t> FromAnsiData(DWORD type, const BYTE* data, DWORD size) {
    if (!data || !size) return {};
    if (!IsStringType(type)) return std::vector<uint8_t>(data, data + size);
    std::u16string u = reg::ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size));
    std::vector<uint8_t> out(u.size() * 2);
    for (size_t i = 0; i < u.size(); ++i) {
        out[2 * i] = static_cast<uint8_t>(u[i] & 0xff);
        out[2 * i + 1] = static_cast<uint8_t>(u[i] >> 8);
    }
    return out;
}

// Copies value data with the Win32 size protocol.
LONG ReturnData(const reg::Value& v, LPDWORD type, LPBYTE data, LPDWORD size) {
    if (type) *type = v.type;
    if (!data && !size) return ERROR_SUCCESS;
    std::vector<uint8_t> bytes = ToAnsiData(v);
    if (!size) return ERROR_INVALID_PARAMETER;
    DWORD have = *size;
    *size = static_cast<DWORD>(bytes.size());
    if (!data) return ERROR_SUCCESS;
    if (bytes.size() > have) return ERROR_MORE_DATA;
    if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
    return ERROR_SUCCESS;
}

// Copies a name into a caller's buffer of *chars characters (NUL included).
LONG ReturnName(std::u16string_view name, LPSTR buf, LPDWORD chars) {
    std::string s = reg::ToUtf8(name);
    if (!buf || !chars) return ERROR_INVALID_PARAMETER;
    if (s.size() + 1 > *chars) return ERROR_MORE_DATA;
    std::memcpy(buf, s.c_str(), s.size() + 1);
    *chars = static_cast<DWORD>(s.size());
    return ERROR_SUCCESS;
}

void ToFileTime(int64_t t, PFILETIME ft) {
    if (!ft) return;
    ft->dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(t) & 0xffffffffu);
    ft->dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(t) >> 32);
}

LONG Commit(RegistryStore& store) { return store.Commit(); }

// Runs `f` on the key a handle names, under the store's read or write lock.
template <bool kWrite, class F>
LONG WithKey(HKEY hKey, F f) {
    Handle h;
    if (!Locate(hKey, &h)) return ERROR_INVALID_HANDLE;
    RegistryStore& store = h.prefix->Registry();
    auto run = [&]() -> LONG {
        reg::Key* k = Resolve(h, store);
        if (!k) return ERROR_KEY_DELETED;
        return f(*k, store);
    };
    if constexpr (kWrite) {
        auto lock = store.WriteLock();
        return run();
    } else {
        auto lock = store.ReadLock();
        return run();
    }
}

}  // namespace

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM, PHKEY phkResult) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    Handle base;
    if (!Locate(hKey, &base)) return ERROR_INVALID_HANDLE;
    RegistryStore& store = base.prefix->Registry();
    Handle h{base.prefix, base.root, JoinPath(base.path, lpSubKey), nullptr, 0};
    auto lock = store.ReadLock();
    reg::Key* k = store.Find(h.root, h.path, (ulOptions & REG_OPTION_OPEN_LINK) != 0);
    if (!k) return ERROR_FILE_NOT_FOUND;
    h.key = k;
    h.generation = store.Generation();
    *phkResult = NewHandle(std::move(h));
    return ERROR_SUCCESS;
}

LONG RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    return RegOpenKeyExA(hKey, lpSubKey, 0, KEY_ALL_ACCESS, phkResult);
}

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD dwOptions, REGSAM, const SECURITY_ATTRIBUTES*,
                     PHKEY phkResult, LPDWORD lpdwDisposition) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    Handle base;
    if (!Locate(hKey, &base)) return ERROR_INVALID_HANDLE;
    RegistryStore& store = base.prefix->Registry();
    Handle h{base.prefix, base.root, JoinPath(base.path, lpSubKey), nullptr, 0};
    auto lock = store.WriteLock();
    bool created = false;
    long err = 0;
    reg::Key* k = store.Create(h.root, h.path, &created, &err);
    if (!k) return static_cast<LONG>(err ? err : ERROR_FILE_NOT_FOUND);
    if (created && (dwOptions & REG_OPTION_VOLATILE)) k->isVolatile = true;
    if (created) {
        LONG r = Commit(store);
        if (r != ERROR_SUCCESS) return r;
        k = store.Find(h.root, h.path);
        if (!k) return ERROR_CANTWRITE;
    }
    h.key = k;
    h.generation = store.Generation();
    if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *phkResult = NewHandle(std::move(h));
    return ERROR_SUCCESS;
}

LONG RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    return RegCreateKeyExA(hKey, lpSubKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, phkResult, nullptr);
}

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD, LPSTR lpClass,
                   LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
    return WithKey<false>(hKey, [&](reg::Key& k, RegistryStore&) -> LONG {
        if (dwIndex >= k.Subkeys().size()) return ERROR_NO_MORE_ITEMS;
        const reg::Key& sub = *k.Subkeys()[dwIndex];
        LONG r = ReturnName(sub.Name(), lpName, lpcchName);
        if (r != ERROR_SUCCESS) return r;
        if (lpClass && lpcchClass) {
            LONG rc = ReturnName(sub.KeyClass().value_or(u""), lpClass, lpcchClass);
            if (rc != ERROR_SUCCESS) return rc;
        }
        ToFileTime(sub.modified, lpftLastWriteTime);
        return ERROR_SUCCESS;
    });
}

LONG RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName) {
    DWORD n = cchName;
    return RegEnumKeyExA(hKey, dwIndex, lpName, &n, nullptr, nullptr, nullptr, nullptr);
}

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD, LPDWORD lpType,
                   LPBYTE lpData, LPDWORD lpcbData) {
    return WithKey<false>(hKey, [&](reg::Key& k, RegistryStore&) -> LONG {
        if (dwIndex >= k.Values().size()) return ERROR_NO_MORE_ITEMS;
        const reg::Value& v = k.Values()[dwIndex];
        LONG r = ReturnName(v.name, lpValueName, lpcchValueName);
        if (r != ERROR_SUCCESS) return r;
        return ReturnData(v, lpType, lpData, lpcbData);
    });
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    return WithKey<false>(hKey, [&](reg::Key& k, RegistryStore&) -> LONG {
        const reg::Value* v = k.FindValue(lpValueName ? reg::ToUtf16(lpValueName) : std::u16string());
        if (!v) return ERROR_FILE_NOT_FOUND;
        return ReturnData(*v, lpType, lpData, lpcbData);
    });
}

LONG RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD, LPDWORD lpcSubKeys,
                      LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                      LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                      PFILETIME lpftLastWriteTime) {
    return WithKey<false>(hKey, [&](reg::Key& k, RegistryStore&) -> LONG {
        if (lpClass && lpcchClass) {
            LONG r = ReturnName(k.KeyClass().value_or(u""), lpClass, lpcchClass);
            if (r != ERROR_SUCCESS) return r;
        }
        // The longest names and data are measured only when asked for: a caller that wants
        // the counts of a key with tens of thousands of values does not pay for them.
        DWORD maxSub = 0, maxClass = 0, maxName = 0, maxData = 0;
        if (lpcbMaxSubKeyLen || lpcbMaxClassLen) {
            for (const auto& s : k.Subkeys()) {
                maxSub = std::max<DWORD>(maxSub, static_cast<DWORD>(reg::ToUtf8(s->Name()).size()));
                if (auto keyClass = s->KeyClass())
                    maxClass = std::max<DWORD>(maxClass, static_cast<DWORD>(reg::ToUtf8(*keyClass).size()));
            }
        }
        if (lpcbMaxValueNameLen || lpcbMaxValueLen) {
            for (const reg::Value& v : k.Values()) {
                maxName = std::max<DWORD>(maxName, static_cast<DWORD>(reg::ToUtf8(v.name).size()));
                maxData = std::max<DWORD>(maxData, static_cast<DWORD>(ToAnsiData(v).size()));
            }
        }
        if (lpcSubKeys) *lpcSubKeys = static_cast<DWORD>(k.Subkeys().size());
        if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = maxSub;
        if (lpcbMaxClassLen) *lpcbMaxClassLen = maxClass;
        if (lpcValues) *lpcValues = static_cast<DWORD>(k.Values().size());
        if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = maxName;
        if (lpcbMaxValueLen) *lpcbMaxValueLen = maxData;
        if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;
        ToFileTime(k.modified, lpftLastWriteTime);
        return ERROR_SUCCESS;
    });
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
    if (cbData && !lpData) return ERROR_INVALID_PARAMETER;
    return WithKey<true>(hKey, [&](reg::Key& k, RegistryStore& store) -> LONG {
        std::u16string name = lpValueName ? reg::ToUtf16(lpValueName) : std::u16string();
        LONG r = store.SetValue(&k, name, dwType, FromAnsiData(dwType, lpData, cbData));
        if (r != ERROR_SUCCESS) return r;
        return Commit(store);
    });
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    return WithKey<true>(hKey, [&](reg::Key& k, RegistryStore& store) -> LONG {
        LONG r = store.DeleteValue(&k, lpValueName ? reg::ToUtf16(lpValueName) : std::u16string());
        if (r != ERROR_SUCCESS) return r;
        return Commit(store);
    });
}

namespace {

LONG DeleteKey(HKEY hKey, LPCSTR lpSubKey, bool tree) {
    Handle h;
    if (!Locate(hKey, &h)) return ERROR_INVALID_HANDLE;
    RegistryStore& store = h.prefix->Registry();
    auto lock = store.WriteLock();
    std::u16string full = JoinPath(h.path, lpSubKey);
    // Split the last element off: that is the key to remove from its parent.
    while (!full.empty() && full.back() == u'\\') full.pop_back();
    size_t cut = full.rfind(u'\\');
    std::u16string parentPath = cut == std::u16string::npos ? u"" : full.substr(0, cut);
    std::u16string name = cut == std::u16string::npos ? full : full.substr(cut + 1);
    if (name.empty()) return tree ? ERROR_ACCESS_DENIED : ERROR_INVALID_PARAMETER;
    reg::Key* parent = store.Find(h.root, parentPath);
    if (!parent) return ERROR_FILE_NOT_FOUND;
    if (parent == &store.UsersView()) return ERROR_ACCESS_DENIED;
    // A link key is removed itself; its target stays.
    LONG r = store.DeleteSubkey(parent, name, tree);
    if (r != ERROR_SUCCESS) return r;
    return Commit(store);
}

}  // namespace

LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    if (!lpSubKey || !*lpSubKey) return ERROR_INVALID_PARAMETER;
    return DeleteKey(hKey, lpSubKey, false);
}

LONG RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey) { return DeleteKey(hKey, lpSubKey, true); }

LONG RegCloseKey(HKEY hKey) {
    RegRoot root;
    if (PredefinedRoot(hKey, &root)) return ERROR_SUCCESS;
    std::lock_guard<std::mutex> lock(g_handleMutex);
    return g_handles.erase(reinterpret_cast<uintptr_t>(hKey)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG RegFlushKey(HKEY hKey) {
    Handle h;
    if (!Locate(hKey, &h)) return ERROR_INVALID_HANDLE;
    RegistryStore& store = h.prefix->Registry();
    auto lock = store.WriteLock();
    return Commit(store);
}

// ---- batches ---------------------------------------------------------------------------------

namespace qv {

RegistryBatch::RegistryBatch() : prefix_(ActivePrefix()) {
    if (!prefix_) return;
    auto lock = prefix_->Registry().WriteLock();
    prefix_->Registry().BeginBatch();
    open_ = true;
}

RegistryBatch::~RegistryBatch() { Commit(); }

long RegistryBatch::Commit() {
    if (!open_) return ERROR_SUCCESS;
    open_ = false;
    auto lock = prefix_->Registry().WriteLock();
    return prefix_->Registry().EndBatch();
}

std::string RegistryBatch::Error() const { return prefix_ ? prefix_->Registry().LastError() : "No prefix is open."; }

}  // namespace qv

// ---- exact values ------------------------------------------------------------------------------

namespace qv {

LONG RegEnumValueRaw(HKEY key, DWORD index, RawValue& out) {
    return WithKey<false>(key, [&](reg::Key& k, RegistryStore&) -> LONG {
        if (index >= k.Values().size()) return ERROR_NO_MORE_ITEMS;
        const reg::Value& v = k.Values()[index];
        out.name = reg::ToUtf8(v.name);
        out.type = v.type;
        out.data.assign(v.data.begin(), v.data.end());
        return ERROR_SUCCESS;
    });
}

LONG RegQueryValueRaw(HKEY key, const std::string& name, RawValue& out) {
    return WithKey<false>(key, [&](reg::Key& k, RegistryStore&) -> LONG {
        const reg::Value* v = k.FindValue(reg::ToUtf16(name));
        if (!v) return ERROR_FILE_NOT_FOUND;
        out.name = reg::ToUtf8(v->name);
        out.type = v->type;
        out.data.assign(v->data.begin(), v->data.end());
        return ERROR_SUCCESS;
    });
}

LONG RegSetValueRaw(HKEY key, const std::string& name, DWORD type, const std::vector<uint8_t>& data) {
    return WithKey<true>(key, [&](reg::Key& k, RegistryStore& store) -> LONG {
        LONG r = store.SetValue(&k, reg::ToUtf16(name), type, data);
        if (r != ERROR_SUCCESS) return r;
        return Commit(store);
    });
}

}  // namespace qv
