// Folders that the shell deletion services refuse to remove or empty, as a safety net
// against a wrong path: nothing a registry cleaner deletes is ever one of them.
#pragma once

#include <filesystem>

namespace qv {

// True when removing `folder` (a Unix path; when it is a link, the link itself) would
// remove or sit above a folder the system or the user cannot do without, or a link that
// stands for one: the Unix root and home folder,
// the prefix itself, a drive root, the Windows and system folders, the users, profile,
// public, program and program-data folders, and the user's special folders (Desktop,
// Documents, Start Menu, ...).
bool IsProtectedFromRemoval(const std::filesystem::path& folder);

// True when the files directly inside `folder` must not be deleted in bulk: the same
// folders as above except the user's special folders (whose contents, such as cookies,
// are the cleaner's to delete).
bool IsProtectedFromEmptying(const std::filesystem::path& folder);

}  // namespace qv
