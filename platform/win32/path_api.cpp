// The path tests of the shell's light-weight utility library.
#include <shlwapi.h>

BOOL PathIsDirectoryA(LPCSTR pszPath) {
    if (pszPath == nullptr) return FALSE;
    DWORD attributes = GetFileAttributesA(pszPath);
    if (attributes == INVALID_FILE_ATTRIBUTES) return FALSE;
    // Windows returns the directory attribute itself, not TRUE.
    return static_cast<BOOL>(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

BOOL PathFileExistsA(LPCSTR pszPath) {
    if (pszPath == nullptr) return FALSE;
    return GetFileAttributesA(pszPath) != INVALID_FILE_ATTRIBUTES;
}
