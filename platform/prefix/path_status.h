// What the disk says about one path, in the few fields the file functions report: whether
// something is there (and if not, why not), whether it is a link, and the type, size and
// times of what it shows (a link's target when that exists, else the link itself).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <filesystem>

namespace qv {

struct PathStatus {
    int error = 0;          // errno of looking the path up without following it; 0: it exists
    bool link = false;      // a symbolic link
    bool followed = false;  // a link whose target exists: the fields below describe the target
    mode_t mode = 0;
    uint64_t size = 0;
    timespec accessed{};
    timespec written{};
    timespec changed{};
    bool hasBirth = false;  // the file system records a birth time
    timespec born{};

    bool Exists() const { return error == 0; }
    // A folder, or a link to one (what stat() would call a folder).
    bool IsFolder() const;
    // Nothing there for certain: no such name, or a folder on the way that is no folder.
    // Other failures (no permission, a loop of links, an I/O error) leave it open.
    bool SurelyMissing() const;
};

// Reads the status of `path` from the disk.
PathStatus ReadPathStatus(const std::filesystem::path& path);

// True when `error` (an errno) means a path names nothing: ENOENT, ENOTDIR, ENAMETOOLONG.
bool IsNotFoundError(int error);

}  // namespace qv
