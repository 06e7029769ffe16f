// Registry operations of CSystem32 over the Reg* functions.
#include <cstring>
#include <vector>

#include "vendor/core/system32.h"

namespace {

// RAII for an opened key.
class KeyHandle {
public:
    KeyHandle() = default;
    ~KeyHandle() {
        if (h_) RegCloseKey(h_);
    }
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;
    HKEY* Out() { return &h_; }
    HKEY Get() const { return h_; }

private:
    HKEY h_ = nullptr;
};

bool Open(const std::string& subkey, HKEY root, KeyHandle& key) {
    return RegOpenKeyExA(root, subkey.c_str(), 0, KEY_ALL_ACCESS, key.Out()) == ERROR_SUCCESS;
}

bool OpenOrCreate(const std::string& subkey, HKEY root, KeyHandle& key) {
    return RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                           key.Out(), nullptr) == ERROR_SUCCESS;
}

}  // namespace

int CSystem32::GetRegistryValue(const std::string& subkey, const std::string& name, std::string& value, HKEY root) {
    KeyHandle key;
    if (!Open(subkey, root, key)) return 0;
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return 0;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return 0;
    std::vector<BYTE> data(size + 1, 0);
    DWORD have = size;
    if (RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type, data.data(), &have) != ERROR_SUCCESS) return 0;
    // The text ends at the first NUL (a terminated string has one at its end).
    value.assign(reinterpret_cast<const char*>(data.data()), strnlen(reinterpret_cast<const char*>(data.data()), have));
    return 1;
}

int CSystem32::GetRegistryValue(const std::string& subkey, const std::string& name, int& value, HKEY root) {
    KeyHandle key;
    if (!Open(subkey, root, key)) return 0;
    DWORD type = 0, data = 0, size = sizeof data;
    if (RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
        ERROR_SUCCESS)
        return 0;
    if (type != REG_DWORD || size != sizeof data) return 0;
    value = static_cast<int>(data);
    return 1;
}

int CSystem32::SetRegistryValue(const std::string& subkey, const std::string& name, const std::string& value,
                                HKEY root) {
    KeyHandle key;
    if (!OpenOrCreate(subkey, root, key)) return 0;
    return RegSetValueExA(key.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

int CSystem32::SetRegistryValue(const std::string& subkey, const std::string& name, int value, HKEY root) {
    KeyHandle key;
    if (!OpenOrCreate(subkey, root, key)) return 0;
    DWORD data = static_cast<DWORD>(value);
    return RegSetValueExA(key.Get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                          sizeof data) == ERROR_SUCCESS;
}

int CSystem32::DeleteRegistryValue(const std::string& subkey, const std::string& name, HKEY root) {
    KeyHandle key;
    if (!Open(subkey, root, key)) return 0;
    return RegDeleteValueA(key.Get(), name.c_str()) == ERROR_SUCCESS;
}

int CSystem32::DeleteRegistryKey(const std::string& subkey, HKEY root) {
    // An empty path would name the root itself, which is never removed.
    if (subkey.find_first_not_of('\\') == std::string::npos) return 0;
    return RegDeleteTreeA(root, subkey.c_str()) == ERROR_SUCCESS;
}

int CSystem32::CreateRegistryKey(const std::string& subkey, HKEY root) {
    KeyHandle key;
    return OpenOrCreate(subkey, root, key) ? 1 : 0;
}
