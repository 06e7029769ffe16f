// Windows path names taken apart and made full, as the Win32 path functions do before they
// touch a file: separators, drive letters, relative parts and the long-path prefixes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// A full Windows path on a drive.
struct WindowsPath {
    char drive = 'C';                     // upper-case drive letter
    std::vector<std::string> components;  // folder and file names below the drive root

    // "C:\dir\file"; "C:\" for the root of a drive.
    std::string ToString() const;
};

// Makes a Windows path full. Accepts forward slashes as separators, doubled separators,
// "." and ".." (resolved by name, never above the drive root), a trailing separator, the
// prefixes "\\?\", "\??\" and "\\.\" before a drive, and drive letters of either case.
// "dir\file" and "C:file" resolve against the current directory, "\dir" against the root of
// its drive. Trailing blanks and dots of the last name are dropped, as Windows drops them
// (not after "\\?\", which asks for the name exactly as given). Empty when the text names no
// drive: empty text, an embedded NUL, a UNC path ("\\server\share") or a device name.
std::optional<WindowsPath> ResolveWindowsPath(std::string_view path);

// True when a path ends in a separator ("C:\dir\", "C:/dir/").
bool EndsWithPathSeparator(std::string_view path);

}  // namespace qv
