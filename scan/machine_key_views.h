// The two registry views of a 64-bit prefix, for scanners of HKEY_LOCAL_MACHINE\SOFTWARE.
//
// 32-bit programs of a 64-bit prefix write HKLM\SOFTWARE\X into SOFTWARE\Wow6432Node\X, and
// their COM classes SOFTWARE\Classes\{CLSID,Interface,TypeLib,...} into
// SOFTWARE\Classes\Wow6432Node\... Wine makes some of those 32-bit keys links back to the
// 64-bit key (App Paths, Fonts, ...) and keeps others apart (Run, Uninstall, SharedDlls,
// CLSID); which is which is read from the registry, never assumed. A scanner looks at the
// 64-bit key, then at the 32-bit key when it is a key of its own, so a key reached through
// both views is walked once, and checks each entry's paths as a program of that view sees
// the disk.
#pragma once

#include <string>
#include <vector>

#include "platform/win32/file_system_view.h"

struct MachineKeyView {
    std::string path;           // below HKEY_LOCAL_MACHINE, as rows name it
    qv::FileSystemView files;   // how the entries' paths are read
    bool bits32 = false;        // the 32-bit view's key (SOFTWARE\Wow6432Node\...)
};

// "SOFTWARE\X" -> "SOFTWARE\Wow6432Node\X"; "SOFTWARE\Classes\X" ->
// "SOFTWARE\Classes\Wow6432Node\X"; empty for a path outside SOFTWARE or one that names
// the 32-bit view already.
std::string Wow6432NodePathOf(const std::string& path);

// The keys that hold `path` (a key below HKEY_LOCAL_MACHINE\SOFTWARE) for the active prefix:
// the key itself (the 64-bit view, or the only one of a 32-bit prefix), then its 32-bit
// counterpart when the prefix is 64-bit and that key exists and is not the same key reached
// through a link. A key that does not exist is left out. The 32-bit key is named by its own
// path when it was reached without a link, else by the path of the key the link leads to.
// When the 32-bit key is a link to the 64-bit one, that one key is the only view, and its
// paths are read as either kind of program would (FileSystemView::Unknown).
std::vector<MachineKeyView> MachineKeyViews(const std::string& path);

// The class keys of one COM class root in both views: for HKEY_LOCAL_MACHINE
// (`machine`) as MachineKeyViews; for HKEY_CLASSES_ROOT the key and "Wow6432Node\<path>".
// HKEY_CLASSES_ROOT mixes the user's classes with the machine's, so its 64-bit view's paths
// are read as either kind of program would.
std::vector<MachineKeyView> ClassKeyViews(bool machine, const std::string& path);
