// Reading values as the registry stores them, for code that must copy them exactly (the
// export writer): string types keep their UTF-16LE bytes instead of the A functions'
// UTF-8 conversion, which cannot carry unpaired surrogates, odd sizes or bytes after a
// missing terminator.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

struct RawValue {
    std::string name;  // UTF-8, as RegEnumValueA gives it
    DWORD type = 0;
    std::vector<uint8_t> data;  // the stored bytes
};

// The value at `index` of an open key: ERROR_SUCCESS, ERROR_NO_MORE_ITEMS, or the error of
// the handle.
LONG RegEnumValueRaw(HKEY key, DWORD index, RawValue& out);

// The value `name` of an open key with its stored bytes: ERROR_SUCCESS or
// ERROR_FILE_NOT_FOUND (or the error of the handle).
LONG RegQueryValueRaw(HKEY key, const std::string& name, RawValue& out);

// Creates or replaces the value `name` with exactly these bytes (string types are taken as
// UTF-16LE, as RegEnumValueRaw gives them). Saved like RegSetValueExA.
LONG RegSetValueRaw(HKEY key, const std::string& name, DWORD type, const std::vector<uint8_t>& data);

}  // namespace qv
