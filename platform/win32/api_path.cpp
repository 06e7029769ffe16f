#include "platform/win32/api_path.h"

#include "platform/prefix/drive_map.h"
#include "platform/prefix/file_lookup_cache.h"
#include "platform/prefix/prefix.h"
#include "platform/win32/file_system_view.h"

namespace qv {

namespace {

// The full Windows path a file function works on, in the calling thread's file system view.
std::optional<WindowsPath> FullApiPath(LPCSTR path) {
    std::optional<WindowsPath> full = ResolveWindowsPath(path);
    // As PathInCurrentView, without copying a path that stays as it is.
    if (full && CurrentFileSystemView() == FileSystemView::Bits32 && ActivePrefixIs64Bit())
        if (std::optional<WindowsPath> redirected = RedirectFor32BitProgram(*full)) full = std::move(redirected);
    return full;
}

}  // namespace

std::optional<ApiPath> MapApiPath(LPCSTR path, DWORD& error) {
    if (path == nullptr) {
        error = ERROR_INVALID_PARAMETER;
        return std::nullopt;
    }
    std::shared_ptr<Prefix> prefix = ActivePrefix();
    std::optional<WindowsPath> full = prefix ? FullApiPath(path) : std::nullopt;
    if (!full) {
        error = ERROR_PATH_NOT_FOUND;
        return std::nullopt;
    }
    UnixPathMatch match;
    std::optional<std::filesystem::path> unix = WindowsToUnixPath(*prefix, *full, &match);
    if (!unix) {
        error = ERROR_PATH_NOT_FOUND;
        return std::nullopt;
    }
    error = ERROR_SUCCESS;
    return ApiPath{std::move(*full), std::move(*unix), match};
}

std::optional<UnixPathMatch> ProbeApiPath(LPCSTR path, std::string_view name) {
    if (path == nullptr || !CurrentFileLookupCache()) return std::nullopt;
    std::shared_ptr<Prefix> prefix = ActivePrefix();
    std::optional<WindowsPath> full = prefix ? FullApiPath(path) : std::nullopt;
    if (!full) return std::nullopt;
    if (!name.empty()) full->components.emplace_back(name);
    return ProbeListedPath(*prefix, *full);
}

DWORD MissingPathError(const std::filesystem::path& unixPath) {
    return StatPath(unixPath.parent_path()).IsFolder() ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

DWORD UnreachedPathError(const ApiPath& path, const PathStatus& status) {
    if (path.match.unlisted || (!status.Exists() && !status.SurelyMissing())) return ERROR_ACCESS_DENIED;
    return MissingPathError(path.unix);
}

}  // namespace qv
