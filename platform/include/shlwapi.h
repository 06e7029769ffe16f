// Path helpers of the shell's light-weight utility library.
#pragma once

#include <windows.h>

BOOL PathIsDirectoryA(LPCSTR pszPath);
BOOL PathFileExistsA(LPCSTR pszPath);
