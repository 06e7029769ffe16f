// ExpandEnvironmentStringsA over the active prefix's Windows environment.
#include <cstring>
#include <string>

#include <windows.h>

#include "platform/win32/environment_expansion.h"
#include "platform/win32/windows_environment.h"

DWORD ExpandEnvironmentStringsA(LPCSTR lpSrc, LPSTR lpDst, DWORD nSize) {
    if (lpSrc == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string expanded = qv::ExpandEnvironmentText(lpSrc, qv::ReadWindowsEnvironment());
    // Windows returns the size with the NUL, whether or not the text fit; a buffer that is
    // too small is left alone.
    DWORD needed = static_cast<DWORD>(expanded.size() + 1);
    if (lpDst != nullptr && nSize >= needed) std::memcpy(lpDst, expanded.c_str(), needed);
    return needed;
}
