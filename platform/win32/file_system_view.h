// Which file system a registry entry's paths are read against in a 64-bit prefix.
//
// A 32-bit program of a 64-bit prefix sees C:\windows\system32 as the 32-bit system folder
// (Wine redirects it to C:\windows\syswow64, as Windows does) and %ProgramFiles% as
// "Program Files (x86)"; a 64-bit program sees the folders as they are. An entry of the
// 32-bit registry view (SOFTWARE\Wow6432Node) is checked as the 32-bit program that wrote it
// sees the disk, an entry of the 64-bit view as a 64-bit one does. Where the writer is not
// known (per-user keys, which both kinds share), a path counts as present when either would
// find it.
//
// The view is set per thread for a stretch of code (ScopedFileSystemView); the Win32 file
// functions of this thread then map paths as a program of that kind would.
#pragma once

#include <optional>

#include "platform/prefix/windows_path.h"

namespace qv {

enum class FileSystemView {
    Unknown,  // either kind of program may have written the entry
    Bits64,   // a 64-bit program: no redirection
    Bits32,   // a 32-bit program: system32 is syswow64 in a 64-bit prefix
};

// The view of the calling thread (Unknown unless a ScopedFileSystemView is alive).
FileSystemView CurrentFileSystemView();

class ScopedFileSystemView {
public:
    explicit ScopedFileSystemView(FileSystemView view);
    ~ScopedFileSystemView();
    ScopedFileSystemView(const ScopedFileSystemView&) = delete;
    ScopedFileSystemView& operator=(const ScopedFileSystemView&) = delete;

private:
    FileSystemView previous_;
};

// True when the active prefix is a 64-bit one (32-bit programs there are redirected).
bool ActivePrefixIs64Bit();

// Where a 32-bit program of a 64-bit prefix really reaches a full path, as Wine redirects it:
// C:\windows\system32\... is C:\windows\syswow64\... except catroot, catroot2,
// driversstore, drivers\etc, logfiles and spool below it; C:\windows\sysnative is the real
// system32; C:\windows\regedit.exe is the one in syswow64. Empty when nothing changes.
std::optional<WindowsPath> RedirectFor32BitProgram(const WindowsPath& path);

// The path the calling thread's Win32 file functions reach for `path`: redirected when the
// view is Bits32 and the prefix is a 64-bit one, else as it is.
WindowsPath PathInCurrentView(const WindowsPath& path);

}  // namespace qv
