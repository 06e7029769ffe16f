// What the Win32 file functions report about a file: attributes, size and times in
// Windows' terms.
#pragma once

#include <windows.h>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>

#include "platform/prefix/path_status.h"

namespace qv {

struct FileInformation {
    DWORD attributes = 0;
    uint64_t size = 0;
    FILETIME creationTime{};
    FILETIME lastAccessTime{};
    FILETIME lastWriteTime{};
};

// The information of the file at `path`, empty when nothing is there. A symbolic link
// reports its target (Windows sees Wine's links to folders as folders) and carries
// FILE_ATTRIBUTE_REPARSE_POINT, so that walkers can tell it from a real folder; a link
// whose target is missing still exists, as a bare reparse point.
// Answered from the thread's file lookup cache when a scan has one (file_lookup_cache.h).
std::optional<FileInformation> QueryFileInformation(const std::filesystem::path& path);

// The same from a status already read; empty when nothing is there.
std::optional<FileInformation> FileInformationOf(const PathStatus& status);

// A Unix time as a FILETIME: 100-nanosecond intervals since 1601-01-01 UTC.
FILETIME UnixTimeToFileTime(const timespec& time);

}  // namespace qv
