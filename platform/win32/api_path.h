// The path argument of a Win32 file function: made full and mapped into the active prefix,
// with the error code Windows would give when that fails.
#pragma once

#include <windows.h>

#include <filesystem>
#include <optional>
#include <string_view>

#include "platform/prefix/drive_map.h"
#include "platform/prefix/path_status.h"
#include "platform/prefix/windows_path.h"

namespace qv {

struct ApiPath {
    WindowsPath windows;
    std::filesystem::path unix;
    // How its names were matched (drive_map.h): a miss below a folder that could not be
    // read proves nothing; a name surely absent needs no look at the disk.
    UnixPathMatch match;
};

// The mapped path, or empty with `error` set (ERROR_INVALID_PARAMETER for a null pointer,
// ERROR_PATH_NOT_FOUND when no prefix is active, the text names no drive or the drive is
// not mapped).
std::optional<ApiPath> MapApiPath(LPCSTR path, DWORD& error);

// In a scan: how MapApiPath would match `path`, from the scan's cached folder listings
// alone (see ProbeListedPath); empty when that is not enough, or on any error, which
// MapApiPath then reports. With `name`, the path is that name in the folder `path` (which
// is made full and redirected on its own, as the folder of a search is).
std::optional<UnixPathMatch> ProbeApiPath(LPCSTR path, std::string_view name = {});

// The error for a path that names nothing: ERROR_FILE_NOT_FOUND when its folder exists,
// ERROR_PATH_NOT_FOUND when the folder is missing too.
DWORD MissingPathError(const std::filesystem::path& unixPath);

// The error for a path whose status could not be read: ERROR_ACCESS_DENIED when the path
// may exist all the same (a folder that cannot be read or entered, a loop of links, an I/O
// error), else as MissingPathError.
DWORD UnreachedPathError(const ApiPath& path, const PathStatus& status);

}  // namespace qv
