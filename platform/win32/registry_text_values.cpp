#include "platform/win32/registry_text_values.h"

namespace qv {
namespace {

class OpenKey {
public:
    OpenKey(HKEY root, const char* subkey) {
        if (RegOpenKeyExA(root, subkey, 0, KEY_READ, &key_) != ERROR_SUCCESS) key_ = nullptr;
    }
    ~OpenKey() {
        if (key_ != nullptr) RegCloseKey(key_);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

std::string TextOf(const std::vector<BYTE>& data, DWORD size) {
    std::string text(reinterpret_cast<const char*>(data.data()), size);
    size_t end = text.find('\0');
    if (end != std::string::npos) text.resize(end);
    return text;
}

}  // namespace

std::optional<RegistryText> ReadRegistryText(HKEY root, const char* subkey, const char* name) {
    OpenKey key(root, subkey);
    if (key.get() == nullptr) return std::nullopt;
    std::vector<BYTE> data(256);
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(data.size());
        LONG status = RegQueryValueExA(key.get(), name, nullptr, &type, data.data(), &size);
        if (status == ERROR_MORE_DATA) {
            data.resize(static_cast<size_t>(size) + 2);
            continue;
        }
        if (status != ERROR_SUCCESS || !IsText(type)) return std::nullopt;
        return RegistryText{name ? name : "", TextOf(data, size), type};
    }
    return std::nullopt;
}

std::vector<RegistryText> ReadRegistryTexts(HKEY root, const char* subkey) {
    std::vector<RegistryText> values;
    OpenKey key(root, subkey);
    if (key.get() == nullptr) return values;
    std::vector<char> name(256);
    std::vector<BYTE> data(1024);
    int attempts = 0;
    for (DWORD index = 0;;) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        LONG status = RegEnumValueA(key.get(), index, name.data(), &nameSize, nullptr, &type,
                                    data.data(), &dataSize);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status == ERROR_MORE_DATA && ++attempts <= 8) {
            // One of the buffers was short: grow both and ask for the same value again.
            if (name.size() < (1u << 17)) name.resize(name.size() * 2);
            if (dataSize > data.size()) data.resize(static_cast<size_t>(dataSize) + 2);
            continue;
        }
        attempts = 0;
        if (status == ERROR_SUCCESS && IsText(type))
            values.push_back({std::string(name.data(), nameSize), TextOf(data, dataSize), type});
        else if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA)
            break;
        ++index;
    }
    return values;
}

}  // namespace qv
