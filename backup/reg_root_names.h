// The full root names that .reg files and registry editor command lines use.
#pragma once

#include <string>

#include "platform/registry/registry_store.h"

namespace qv {

// Splits "HKEY_CURRENT_USER\Software\X" into its root and the path below it. The root name
// is matched without regard to case and must be followed by a backslash or the end.
// False for abbreviations (HKCU), unknown names, and roots no registry file can hold
// (HKEY_DYN_DATA, HKEY_PERFORMANCE_DATA).
bool SplitRootName(const std::string& fullKey, RegRoot* root, std::string* rest);

}  // namespace qv
