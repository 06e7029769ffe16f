// The shell's special folders (CSIDL values of <shlobj.h>) in the active prefix, as its
// registry defines them for the user.
#pragma once

#include <optional>
#include <string>

namespace qv {

// The folder's full Windows path without a trailing backslash (except at a drive root),
// whether or not it exists; empty for a CSIDL that is not supported. Per-user and common
// folders come from "User Shell Folders" (expanded) of HKCU or HKLM under
// Software\Microsoft\Windows\CurrentVersion\Explorer, then from "Shell Folders", then from
// Wine's default place under the profile; the Windows, system and program folders come from
// the environment (CSIDL_PROFILE is USERPROFILE). CSIDL_FLAG_CREATE is ignored here.
std::optional<std::string> SpecialFolderPath(int csidl);

}  // namespace qv
