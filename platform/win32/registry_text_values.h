// Text values read from the registry through the Reg* functions, for the pieces of the
// Win32 stand-in that take their settings from the prefix's registry.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace qv {

struct RegistryText {
    std::string name;
    std::string text;  // without the terminating NUL
    DWORD type = REG_SZ;
};

// A REG_SZ or REG_EXPAND_SZ value (unexpanded); empty when the key or value is missing or
// holds another type.
std::optional<RegistryText> ReadRegistryText(HKEY root, const char* subkey, const char* name);

// Every REG_SZ and REG_EXPAND_SZ value of a key, in the key's order.
std::vector<RegistryText> ReadRegistryTexts(HKEY root, const char* subkey);

}  // namespace qv
