// Folders of a prefix's drive_c reached by descriptor, for code that deletes files.
//
// A path inside a prefix may pass through symbolic links (Wine links the profile's
// Documents and Desktop to the user's home; anyone can plant more). Code that deletes
// first resolves a folder's path completely and accepts it only when its real path lies
// inside the real drive_c; it then opens the folder again one name at a time from the
// drive_c folder, never following a link, so that a link swapped in afterwards cannot
// lead it anywhere else, and checks each entry's device and inode number before it
// unlinks it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/prefix/prefix.h"

namespace qv {

// The real path (every link resolved) of <prefix>/drive_c; empty when it is not a folder.
std::filesystem::path RealDriveC(const Prefix& prefix);

// Where a folder's path leads once every link on the way is resolved.
struct FolderPlace {
    enum Kind {
        kMissing,       // nothing there, or not a folder
        kInside,        // a folder inside drive_c (drive_c itself included)
        kOutside,       // a folder outside drive_c
        kUnresolvable,  // its links cannot be resolved (a loop of links, no permission)
    };
    Kind kind = kMissing;
    std::filesystem::path real;           // kInside, kOutside: the folder's real path
    std::vector<std::string> components;  // kInside: the real path's names below drive_c
    int error = 0;                        // kUnresolvable: the errno of the resolution
};

// Resolves `unixPath` completely and places it against `driveC`, a real path.
FolderPlace PlaceFolder(const std::filesystem::path& driveC, const std::filesystem::path& unixPath);

// The same for a folder named by a Windows path of `prefix`; kMissing when the path names
// no mapped drive.
FolderPlace PlaceWindowsFolder(const Prefix& prefix, const std::filesystem::path& driveC, const std::string& windows);

// One entry of a folder as it is itself (a link is a link, not what it points to).
struct FolderEntry {
    std::string name;
    mode_t mode = 0;
    uint64_t dev = 0;
    uint64_t ino = 0;
    int64_t ctimeNs = 0;  // status change time in nanoseconds
};

// An open folder inside drive_c. Move-only; closes its descriptor when destroyed.
class ConfinedFolder {
public:
    ConfinedFolder() = default;
    ~ConfinedFolder();
    ConfinedFolder(ConfinedFolder&& other) noexcept;
    ConfinedFolder& operator=(ConfinedFolder&& other) noexcept;
    ConfinedFolder(const ConfinedFolder&) = delete;
    ConfinedFolder& operator=(const ConfinedFolder&) = delete;

    // Opens the real folder `driveC`, then each of `names` below it in turn with
    // O_NOFOLLOW | O_DIRECTORY. Not open (errno set) when a name is empty, "." or ".." or
    // holds a slash, is missing, is not a folder, is a link, or lies on another file system
    // than drive_c (EXDEV).
    static ConfinedFolder Open(const std::filesystem::path& driveC, const std::vector<std::string>& names);

    // The folder `name` directly inside this one, by the same rules.
    ConfinedFolder Child(const std::string& name) const;

    bool IsOpen() const { return fd_ >= 0; }
    // The open descriptor, for *at calls on entries of this folder; owned by this object.
    int Descriptor() const { return fd_; }
    uint64_t Device() const { return dev_; }
    uint64_t Inode() const { return ino_; }

    // Every entry but "." and "..", in the order the folder lists them.
    std::vector<FolderEntry> Entries() const;

    // Unlinks `name` when it is, at that moment, a regular file with this device and inode
    // number and status change time (a file made later under a freed inode number has
    // another). True when it was unlinked.
    bool DeleteFileIfSame(const std::string& name, uint64_t dev, uint64_t ino, int64_t ctimeNs) const;

    // Removes the folder `name` when it is the open folder `child` and is empty. True when
    // it was removed.
    bool RemoveEmptyChild(const std::string& name, const ConfinedFolder& child) const;

private:
    int fd_ = -1;
    uint64_t dev_ = 0;
    uint64_t ino_ = 0;
};

}  // namespace qv
