#include "scan/registry_enum.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace scanreg {

bool EnumSubkey(HKEY key, DWORD index, std::string& name) {
    for (DWORD size = 256;; size *= 2) {
        std::vector<char> buf(size);
        DWORD n = size;
        LONG r = RegEnumKeyExA(key, index, buf.data(), &n, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_SUCCESS) {
            name.assign(buf.data(), n);
            return true;
        }
        if (r != ERROR_MORE_DATA || size > (1u << 20)) {
            // ERROR_NO_MORE_ITEMS ends the list; any other error means the key went away
            // (ending there keeps a failing call from looping forever).
            name.clear();
            return false;
        }
    }
}

bool EnumValue(HKEY key, DWORD index, ValueEntry& value, bool withData) {
    // Most names and data are short: try small buffers first and ask for the key's longest
    // name and data only when they do not fit.
    DWORD maxName = 256, maxData = 1024;
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::vector<char> name(maxName + 1);
        std::vector<BYTE> data(withData ? maxData + 1 : 0);
        DWORD nameSize = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        LONG r = RegEnumValueA(key, index, name.data(), &nameSize, nullptr, &value.type,
                               withData ? data.data() : nullptr, withData ? &dataSize : nullptr);
        if (r == ERROR_SUCCESS) {
            value.name.assign(name.data(), nameSize);
            value.data.assign(reinterpret_cast<const char*>(data.data()), withData ? dataSize : 0);
            return true;
        }
        if (r != ERROR_MORE_DATA) return false;
        DWORD longestName = 0, longestData = 0;
        if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longestName,
                             &longestData, nullptr, nullptr) != ERROR_SUCCESS)
            return false;
        // The value may also have grown between the calls: leave room for that.
        maxName = std::max(longestName, maxName * 2);
        maxData = std::max(longestData, maxData * 2);
    }
    return false;
}

std::string TextOf(const ValueEntry& value) {
    if (value.type != REG_SZ && value.type != REG_EXPAND_SZ && value.type != REG_MULTI_SZ) return {};
    return std::string(value.data.c_str());
}

OpenKey::OpenKey(HKEY root, const std::string& path) {
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key_) != ERROR_SUCCESS) key_ = nullptr;
}

OpenKey::~OpenKey() {
    if (key_) RegCloseKey(key_);
}

}  // namespace scanreg
