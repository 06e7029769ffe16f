// ShellExecuteA "open" of the Win32 stand-in. An http or https address, or an existing
// file of the active prefix, is handed to the desktop's opener (xdg-open, run detached and
// without a shell); every other scheme, a missing file and a program file are refused.
// The opener is one replaceable handler, so tests record what would be opened.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#ifndef SW_HIDE
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOWMAXIMIZED 3
#define SW_MAXIMIZE 3
#define SW_SHOWNOACTIVATE 4
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_RESTORE 9
#define SW_SHOWDEFAULT 10
#endif

// Results of ShellExecuteA: a value above 32 is success, the others are these errors.
#define SE_ERR_FNF 2
#define SE_ERR_PNF 3
#define SE_ERR_ACCESSDENIED 5
#define SE_ERR_OOM 8
#define SE_ERR_NOASSOC 31

// Opens lpFile with verb "open" (or a null verb, which means the same). Returns a value
// above 32 when the opener was started; SE_ERR_NOASSOC for another verb, a refused scheme
// or a program file; SE_ERR_FNF for a file that does not exist; SE_ERR_OOM when the opener
// could not be started. lpParameters, lpDirectory and nShowCmd are accepted and not used.
HINSTANCE ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters,
                        LPCSTR lpDirectory, int nShowCmd);

namespace qv {

// What ShellExecuteA hands to the opener: a checked web address, or the Unix path of an
// existing file.
struct ShellOpenRequest {
    enum class Kind { WebAddress, File };
    Kind kind = Kind::WebAddress;
    std::string target;
};

// Opens the target; true when the opener was started.
using ShellOpenHandler = std::function<bool(const ShellOpenRequest& request)>;

// Installs a handler and returns the one it replaces. An empty handler restores the default,
// which starts xdg-open with the target as its one argument.
ShellOpenHandler SetShellOpenHandler(ShellOpenHandler handler);

// The default handler: runs `xdg-open TARGET` in a session of its own, detached, with
// standard input from /dev/null, and does not wait for it.
bool OpenWithDesktopOpener(const ShellOpenRequest& request);

// True for an address that begins with "http://" or "https://" (either case), names a host,
// and holds no blank, control character or backslash. Addresses that come from the network
// must pass this before they reach ShellExecuteA, so that they can never name a file.
bool IsWebAddress(const std::string& address);

// ShellExecuteA "open" for an address that must be a web address: anything else is refused
// before the shell sees it. True when the opener was started.
bool OpenWebAddress(const std::string& address);

}  // namespace qv
