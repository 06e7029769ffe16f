// Opening a file named by a Windows path (the C runtime's fopen, as the program sees it).
#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

namespace qv {

// The Unix path of a file name as a program in the prefix gives it: a Windows path is
// mapped through the active prefix's drives; an absolute Unix path (as Wine's own tools
// accept) is used as it is. Empty when it cannot be mapped.
std::optional<std::filesystem::path> FileNameToUnix(const std::string& name);

// The Unix path of a file name given on a Linux command line, as Wine's own tools read it: a
// name with a drive letter ("C:\x", "c:/x") or a UNC-style start ("\\") is a Windows path
// of the prefix; anything else is a Linux path, a relative one against the working folder.
std::optional<std::filesystem::path> CommandLineFileToUnix(const std::string& name);

// fopen of such a name; null (errno set) when it cannot be mapped or opened.
FILE* FopenWindows(const std::string& name, const char* mode);

}  // namespace qv
