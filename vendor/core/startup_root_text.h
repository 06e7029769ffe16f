// The root texts that startup items carry ("HKCU", "HKLM", ...) and the root handles they
// stand for.
#pragma once

#include <windows.h>

#include <string>

// The handle of a root text: "HKCR", "HKLM", "HKCU", "HKCC" or the full root names
// ("HKEY_CURRENT_USER", ...), in any case. Null for any other text.
HKEY StartupRootHandle(const std::string& text);

// True when changes under the two roots land in the same registry file, so that one save
// writes both or neither (HKEY_CLASSES_ROOT and HKEY_CURRENT_CONFIG are views into
// HKEY_LOCAL_MACHINE).
bool StartupRootsShareFile(HKEY a, HKEY b);
