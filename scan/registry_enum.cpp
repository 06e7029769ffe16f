#include "scan/registry_enum.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace scanreg {

bool EnumSubkey(HKEY key, DWORD index, std::string& name) {
    // Most names fit the first buffer, which lives on the stack; longer ones get a larger
    // buffer each time.
    char small[256];
    std::vector<char> large;
    for (DWORD size = sizeof small;; size *= 2) {
        char* buf = small;
        if (size > sizeof small) {
            large.resize(size);
            buf = large.data();
        }
        DWORD n = size;
        LONG r = RegEnumKeyExA(key, index, buf, &n, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_SUCCESS) {
            name.assign(buf, n);
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
    // Most names and data are short: try buffers on the stack first and ask for the key's
    // longest name and data only when they do not fit.
    char smallName[257];
    BYTE smallData[1025];
    std::vector<char> largeName;
    std::vector<BYTE> largeData;
    DWORD maxName = 256, maxData = 1024;
    for (int attempt = 0; attempt < 4; ++attempt) {
        char* name = smallName;
        BYTE* data = smallData;
        if (maxName + 1 > sizeof smallName) {
            largeName.resize(maxName + 1);
            name = largeName.data();
        }
        if (maxData + 1 > sizeof smallData) {
            largeData.resize(maxData + 1);
            data = largeData.data();
        }
        DWORD nameSize = maxName + 1;
        DWORD dataSize = maxData + 1;
        LONG r = RegEnumValueA(key, index, name, &nameSize, nullptr, &value.type, withData ? data : nullptr,
                               withData ? &dataSize : nullptr);
        if (r == ERROR_SUCCESS) {
            value.name.assign(name, nameSize);
            value.data.assign(reinterpret_cast<const char*>(data), withData ? dataSize : 0);
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
