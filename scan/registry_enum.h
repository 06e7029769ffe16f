// Enumerating an open registry key for the scanners: names and text data of any length,
// going on past entries that change under the scan and stopping on real errors.
#pragma once

#include <windows.h>

#include <string>

namespace scanreg {

// The subkey name at `index`: true with the name; false at the end of the list or when the
// key can no longer be read. A name that disappeared meanwhile comes back as "" with true.
bool EnumSubkey(HKEY key, DWORD index, std::string& name);

struct ValueEntry {
    std::string name;
    DWORD type = 0;
    std::string data;  // the data as the A functions return it (text for string types)
};

// The value at `index`, as EnumSubkey.
bool EnumValue(HKEY key, DWORD index, ValueEntry& value, bool withData = true);

// The value's data as text: the string up to its first NUL for string types, nothing for
// other types (they hold no path).
std::string TextOf(const ValueEntry& value);

// An opened key, closed when it goes out of scope.
class OpenKey {
public:
    OpenKey(HKEY root, const std::string& path);
    ~OpenKey();
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    explicit operator bool() const { return key_ != nullptr; }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

}  // namespace scanreg
