// The process's current Windows directory ("C:\windows\system32" until changed). It is
// process-wide, as on Windows, and safe to use from any thread. Relative Windows paths
// resolve against it.
#pragma once

#include <string>

namespace qv {

// The current directory as a full Windows path without a trailing backslash ("C:\" for a
// drive root).
std::string CurrentWindowsDirectory();

// Replaces the current directory. The caller passes a full, normalised Windows path and has
// checked that the folder exists.
void StoreCurrentWindowsDirectory(std::string fullPath);

}  // namespace qv
