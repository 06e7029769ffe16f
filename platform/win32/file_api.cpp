// File attributes, folder creation, the current directory and the system folders of the
// Win32 stand-in, over the active prefix.
#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>

#include <windows.h>

#include "platform/prefix/current_directory.h"
#include "platform/prefix/file_lookup_cache.h"
#include "platform/win32/api_path.h"
#include "platform/win32/file_information.h"
#include "platform/win32/path_presence.h"

namespace {

constexpr const char* kWindowsDirectory = "C:\\windows";
constexpr const char* kSystemDirectory = "C:\\windows\\system32";

// Windows' rule for functions that return a folder: the length without the NUL when the
// text fits, else the size needed with the NUL (and the buffer left alone).
DWORD CopyFolderText(const std::string& text, LPSTR buffer, DWORD size) {
    if (buffer == nullptr || size <= text.size()) return static_cast<DWORD>(text.size() + 1);
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}

// Characters Windows refuses in a file or folder name.
bool IsValidName(const std::string& name) {
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 32 || std::strchr("<>:\"|?*", c) != nullptr) return false;
    }
    return true;
}

// GetFileAttributesA; with `presenceOnly`, a name that a cached listing shows as a plain
// file or a real folder is answered with just the folder bit.
// A listing's answer for a name: surely missing (with its error), a plain file, a real
// folder, or nothing known (links and entries of unknown type are read as usual).
std::optional<DWORD> ListedAttributes(const qv::UnixPathMatch& match) {
    if (match.absent) {
        SetLastError(match.folderExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (match.listedType == DT_REG) return FILE_ATTRIBUTE_NORMAL;
    if (match.listedType == DT_DIR) return FILE_ATTRIBUTE_DIRECTORY;
    return std::nullopt;
}

DWORD FileAttributes(LPCSTR lpFileName, bool presenceOnly) {
    if (presenceOnly)
        if (std::optional<qv::UnixPathMatch> probe = qv::ProbeApiPath(lpFileName))
            if (std::optional<DWORD> listed = ListedAttributes(*probe)) return *listed;
    DWORD error = ERROR_SUCCESS;
    std::optional<qv::ApiPath> path = qv::MapApiPath(lpFileName, error);
    if (!path) {
        SetLastError(error);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (path->match.absent) {
        // Matched against folder listings that show the name is not there.
        SetLastError(path->match.folderExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (presenceOnly)
        if (std::optional<DWORD> listed = ListedAttributes(path->match)) return *listed;
    const qv::PathStatus status = qv::StatPath(path->unix);
    std::optional<qv::FileInformation> info = qv::FileInformationOf(status);
    if (!info) {
        SetLastError(qv::UnreachedPathError(*path, status));
        return INVALID_FILE_ATTRIBUTES;
    }
    return info->attributes;
}

}  // namespace

DWORD GetFileAttributesA(LPCSTR lpFileName) { return FileAttributes(lpFileName, false); }

namespace qv {

DWORD PresenceAttributes(LPCSTR path) { return FileAttributes(path, true); }

}  // namespace qv

BOOL CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/) {
    DWORD error = ERROR_SUCCESS;
    std::optional<qv::ApiPath> path = qv::MapApiPath(lpPathName, error);
    if (!path) {
        SetLastError(error);
        return FALSE;
    }
    for (const std::string& name : path->windows.components) {
        if (!IsValidName(name)) {
            SetLastError(ERROR_INVALID_NAME);
            return FALSE;
        }
    }
    struct stat info;
    if (path->windows.components.empty() || ::lstat(path->unix.c_str(), &info) == 0) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    if (::mkdir(path->unix.c_str(), 0777) != 0) {
        switch (errno) {
            case EEXIST: error = ERROR_ALREADY_EXISTS; break;
            case ENOENT:
            case ENOTDIR: error = ERROR_PATH_NOT_FOUND; break;
            case ENAMETOOLONG: error = ERROR_FILENAME_EXCED_RANGE; break;
            case EROFS: error = ERROR_WRITE_PROTECT; break;
            default: error = ERROR_ACCESS_DENIED; break;
        }
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

BOOL SetCurrentDirectoryA(LPCSTR lpPathName) {
    DWORD error = ERROR_SUCCESS;
    std::optional<qv::ApiPath> path = qv::MapApiPath(lpPathName, error);
    if (!path) {
        SetLastError(error);
        return FALSE;
    }
    struct stat info;
    if (::stat(path->unix.c_str(), &info) != 0) {
        SetLastError(qv::MissingPathError(path->unix));
        return FALSE;
    }
    if (!S_ISDIR(info.st_mode)) {
        SetLastError(ERROR_DIRECTORY);
        return FALSE;
    }
    qv::StoreCurrentWindowsDirectory(path->windows.ToString());
    return TRUE;
}

DWORD GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer) {
    return CopyFolderText(qv::CurrentWindowsDirectory(), lpBuffer, nBufferLength);
}

UINT GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
    return CopyFolderText(kSystemDirectory, lpBuffer, uSize);
}

UINT GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
    return CopyFolderText(kWindowsDirectory, lpBuffer, uSize);
}
