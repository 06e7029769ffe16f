// The cached internet files and cookies: which folders hold them, which files in them
// count, and the deletion of exactly the files a scan counted. The scanners and the repair
// both go through here, so that a repair deletes what the results page showed and nothing
// else.
//
// A folder counts only when its path, with every link on the way resolved, leads to a
// folder inside the prefix's drive_c that is not one of the system's or the user's own
// folders (drive roots, Windows, the profile, Documents, ...). Other folders are skipped
// with a note that says why. Inside a folder, links are never followed or counted:
// - cookies: the regular files named *.txt directly in the cookie folder;
// - cached files: the regular files directly inside each real (not linked) subfolder of
//   each cache base folder.
// Cookie folder: the profile's "Cookies" folder when it is usable, else the profile's
// Cookies shell folder. Cache base folders: the profile's "Local Settings\Temporary
// Internet Files\Content.IE5" when it is usable, else "Content.IE5" and "IE" inside the
// profile's Cache shell folder.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One counted file and what it takes to find that very file again: the folder by its real
// names below drive_c, the file by name, and both by device and inode number.
struct CachedFileRecord {
    std::string driveC;             // the real drive_c folder the scan looked in
    std::vector<std::string> base;  // the base folder's real names below drive_c
    std::string subfolder;          // the cache subfolder inside the base; empty for a cookie
    std::string name;               // the file's name, as in the bare-name store
    uint64_t folderDev = 0;         // the folder that holds the file
    uint64_t folderIno = 0;
    uint64_t dev = 0;  // the file
    uint64_t ino = 0;
    int64_t ctimeNs = 0;  // its status change time: a new file under a reused inode number differs
};

struct CachedFileListing {
    bool found = false;                     // a folder to look in could be opened
    std::vector<std::string> names;         // bare file names, in the order found
    std::vector<CachedFileRecord> records;  // one per name, in the same order
    std::vector<std::string> notes;         // the folders skipped, and why
};

// Lists the cached internet files of the active prefix; `onSubfolder` is told the name of
// each cache subfolder before it is listed.
CachedFileListing ListTempInternetFiles(const std::function<void(const std::string&)>& onSubfolder = {});

// Lists the cookie files of the active prefix.
CachedFileListing ListCookieFiles();

struct CachedFileDeletion {
    size_t deleted = 0;
    std::vector<std::string> notes;  // the folders left alone, and why
};

// Deletes, in the active prefix, the files of `records` that are still the files that were
// counted: the same regular file (device, inode and change time) in the same folder, reached again by
// descriptor from drive_c without following any link. Files that came later and files
// that changed stay. Cache subfolders that this empties are removed; empty subfolders that
// held no counted file stay.
CachedFileDeletion DeleteCachedFiles(const std::vector<CachedFileRecord>& records);
