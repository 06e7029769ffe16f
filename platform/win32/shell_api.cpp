// SHGetSpecialFolderPathA over the active prefix.
#include <cstring>
#include <string>

#include <shlobj.h>

#include "platform/win32/special_folders.h"

namespace {

// Creates a folder and the folders above it that are missing.
bool CreateFolderChain(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    size_t slash = path.find_last_of('\\');
    if (slash != std::string::npos && slash > 2 && !CreateFolderChain(path.substr(0, slash))) return false;
    return CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

}  // namespace

BOOL SHGetSpecialFolderPathA(HWND /*hwndOwner*/, LPSTR lpszPath, int csidl, BOOL fCreate) {
    if (lpszPath == nullptr) return FALSE;
    lpszPath[0] = '\0';
    bool create = fCreate || (csidl & CSIDL_FLAG_CREATE) != 0;
    std::optional<std::string> path = qv::SpecialFolderPath(csidl & 0xFF);
    if (!path || path->size() >= MAX_PATH) return FALSE;
    std::memcpy(lpszPath, path->c_str(), path->size() + 1);
    DWORD attributes = GetFileAttributesA(path->c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return TRUE;
    // A folder that does not exist is created on request; otherwise the shell reports
    // failure, with the path still filled in.
    if (!create) return FALSE;
    return CreateFolderChain(*path) ? TRUE : FALSE;
}
