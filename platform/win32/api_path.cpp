#include "platform/win32/api_path.h"

#include <sys/stat.h>

#include "platform/prefix/drive_map.h"
#include "platform/prefix/prefix.h"
#include "platform/win32/file_system_view.h"

namespace qv {

std::optional<ApiPath> MapApiPath(LPCSTR path, DWORD& error) {
    if (path == nullptr) {
        error = ERROR_INVALID_PARAMETER;
        return std::nullopt;
    }
    std::shared_ptr<Prefix> prefix = ActivePrefix();
    std::optional<WindowsPath> full = ResolveWindowsPath(path);
    if (!prefix || !full) {
        error = ERROR_PATH_NOT_FOUND;
        return std::nullopt;
    }
    full = PathInCurrentView(*full);
    std::optional<std::filesystem::path> unix = WindowsToUnixPath(*prefix, *full);
    if (!unix) {
        error = ERROR_PATH_NOT_FOUND;
        return std::nullopt;
    }
    error = ERROR_SUCCESS;
    return ApiPath{std::move(*full), std::move(*unix)};
}

DWORD MissingPathError(const std::filesystem::path& unixPath) {
    struct stat info;
    if (::stat(unixPath.parent_path().c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return ERROR_FILE_NOT_FOUND;
    return ERROR_PATH_NOT_FOUND;
}

}  // namespace qv
