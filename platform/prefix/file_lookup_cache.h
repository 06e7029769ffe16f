// What one scan has seen of the disk, so that it reads each folder and each path once.
//
// A scan checks hundreds of thousands of registry paths, most of them in a few folders;
// resolving each one afresh (a folder listing per name matched without regard to case,
// several status calls per path) costs far more than the registry walk itself. While a
// ScopedFileLookupCache lives on a thread, the file functions of that thread (drive
// folders, name matching, file status) answer from its memory: a folder is listed the
// first time it is needed, a path's status read the first time it is asked for, and both
// kept until the scope ends. The scan therefore sees the disk as it was when it first
// looked, and every scan starts afresh; other threads never see the cache.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/prefix/drive_map.h"
#include "platform/prefix/folder_listing.h"
#include "platform/prefix/path_status.h"

namespace qv {

class FileLookupCache {
public:
    // The listing of `folder`; null with `error` (an errno) when it cannot be listed.
    const FolderListing* Listing(const std::filesystem::path& folder, int& error);

    // The status of `path`.
    const PathStatus& Status(const std::filesystem::path& path);

    // A folder of a Windows path: where its names led, as WindowsToUnixPath matches them.
    struct ResolvedFolder {
        std::filesystem::path unix;
        bool matching = true;  // every name matched an entry
        UnixPathMatch how;
        // With `matching`: the folder's listing (owned by the cache), or null with the
        // errno of the failure when it cannot be listed.
        const FolderListing* listing = nullptr;
        int listingError = 0;
    };
    // The folder `names[0..count)` of drive `drive` of the prefix at `root`: `resolve()` the
    // first time a spelling is asked for, the same answer after that.
    template <class Resolve>
    const ResolvedFolder& Folder(const std::filesystem::path& root, char drive, const std::string* names,
                                 size_t count, Resolve&& resolve) {
        if (const ResolvedFolder* known = FindFolder(root, drive, names, count)) return *known;
        return AddFolder(resolve());
    }

    // The folder of drive `letter` ('a' to 'z') of the prefix at `root`: `find()` the first
    // time, the same answer after that.
    const std::filesystem::path& DriveFolder(const std::filesystem::path& root, char letter,
                                             const std::function<std::filesystem::path()>& find);

private:
    // The folder Folder() is asked for, when known; either way its key is left in `key_`
    // and its root's table in `lastRoot_` for AddFolder.
    const ResolvedFolder* FindFolder(const std::filesystem::path& root, char drive, const std::string* names,
                                     size_t count);
    const ResolvedFolder& AddFolder(ResolvedFolder folder);

    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
    };
    struct ListingEntry {
        std::shared_ptr<const FolderListing> listing;
        int error = 0;
    };
    std::unordered_map<std::string, ListingEntry, Hash, std::equal_to<>> listings_;
    std::unordered_map<std::string, PathStatus, Hash, std::equal_to<>> statuses_;
    // The entries asked for last: most look-ups in a row are in one folder (or alternate
    // between a folder and its parent), and comparing the path is cheaper than hashing it.
    // (The maps' elements never move.)
    std::array<const std::pair<const std::string, ListingEntry>*, 2> lastListings_{};
    const std::pair<const std::string, PathStatus>* lastStatus_ = nullptr;
    struct DriveFolders {
        std::string root;
        std::array<std::optional<std::filesystem::path>, 26> folders;
    };
    std::vector<DriveFolders> drives_;
    struct RootFolders {
        std::string root;
        std::unordered_map<std::string, ResolvedFolder, Hash, std::equal_to<>> folders;
    };
    std::vector<RootFolders> folders_;
    RootFolders* lastRoot_ = nullptr;
    const std::pair<const std::string, ResolvedFolder>* lastFolder_ = nullptr;
    std::string key_;  // reused for building keys without allocating
};

// The cache of the calling thread; null when no scope is alive.
FileLookupCache* CurrentFileLookupCache();

// A fresh cache for the calling thread while it lives (scopes nest: an inner scope has a
// fresh cache of its own and the outer one returns when it ends).
class ScopedFileLookupCache {
public:
    ScopedFileLookupCache();
    ~ScopedFileLookupCache();
    ScopedFileLookupCache(const ScopedFileLookupCache&) = delete;
    ScopedFileLookupCache& operator=(const ScopedFileLookupCache&) = delete;

private:
    FileLookupCache cache_;
    FileLookupCache* previous_;
};

// The status of `path`: from the thread's cache when there is one, else from the disk.
PathStatus StatPath(const std::filesystem::path& path);

}  // namespace qv
