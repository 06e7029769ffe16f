#include "platform/prefix/file_lookup_cache.h"

#include <cerrno>

namespace qv {
namespace {

thread_local FileLookupCache* t_cache = nullptr;

}  // namespace

const FolderListing* FileLookupCache::Listing(const std::filesystem::path& folder, int& error) {
    const std::string& key = folder.native();
    if (lastListings_[0] == nullptr || lastListings_[0]->first != key) {
        if (lastListings_[1] != nullptr && lastListings_[1]->first == key) {
            std::swap(lastListings_[0], lastListings_[1]);
        } else {
            auto it = listings_.find(std::string_view(key));
            if (it == listings_.end()) {
                ListingEntry entry;
                entry.listing = FolderListing::Read(folder, entry.error);
                it = listings_.emplace(key, std::move(entry)).first;
            }
            lastListings_[1] = lastListings_[0];
            lastListings_[0] = &*it;
        }
    }
    error = lastListings_[0]->second.error;
    return lastListings_[0]->second.listing.get();
}

const PathStatus& FileLookupCache::Status(const std::filesystem::path& path) {
    const std::string& key = path.native();
    if (lastStatus_ != nullptr && lastStatus_->first == key) return lastStatus_->second;
    auto it = statuses_.find(std::string_view(key));
    if (it != statuses_.end()) {
        lastStatus_ = &*it;
        return it->second;
    }
    // A name that the listing of its folder (when that has been read) does not hold is not
    // there: no need to ask the disk. A listed name is asked about, for its type and times.
    // "." and "..", which are in every folder, are not in its listing.
    size_t slash = key.find_last_of('/');
    const std::string_view last = std::string_view(key).substr(slash == std::string::npos ? 0 : slash + 1);
    if (slash != std::string::npos && slash > 0 && !last.empty() && last != "." && last != "..") {
        auto folder = listings_.find(std::string_view(key).substr(0, slash));
        if (folder != listings_.end() && folder->second.listing &&
            !folder->second.listing->HasExactName(std::string_view(key).substr(slash + 1))) {
            PathStatus missing;
            missing.error = ENOENT;
            return statuses_.emplace(key, missing).first->second;
        }
    }
    return statuses_.emplace(key, ReadPathStatus(path)).first->second;
}

const std::filesystem::path& FileLookupCache::DriveFolder(const std::filesystem::path& root, char letter,
                                                          const std::function<std::filesystem::path()>& find) {
    DriveFolders* drives = nullptr;
    for (DriveFolders& d : drives_)
        if (d.root == root.native()) drives = &d;
    if (!drives) drives = &drives_.emplace_back(DriveFolders{root.native(), {}});
    std::optional<std::filesystem::path>& folder = drives->folders[static_cast<size_t>(letter - 'a')];
    if (!folder) folder = find();
    return *folder;
}

const FileLookupCache::ResolvedFolder* FileLookupCache::FindFolder(const std::filesystem::path& root, char drive,
                                                                    const std::string* names, size_t count) {
    if (lastRoot_ == nullptr || lastRoot_->root != root.native()) {
        lastRoot_ = nullptr;
        lastFolder_ = nullptr;
        for (RootFolders& f : folders_)
            if (f.root == root.native()) lastRoot_ = &f;
        if (!lastRoot_) lastRoot_ = &folders_.emplace_back(RootFolders{root.native(), {}});
        // The vector may have moved the other roots' tables: only the last one is kept.
    }
    // The names as spelled: two spellings may lead to different folders on a Unix disk.
    key_.assign(1, drive);
    for (size_t i = 0; i < count; ++i) {
        key_ += '\\';
        key_ += names[i];
    }
    if (lastFolder_ != nullptr && lastFolder_->first == key_) return &lastFolder_->second;
    auto it = lastRoot_->folders.find(std::string_view(key_));
    if (it == lastRoot_->folders.end()) return nullptr;
    lastFolder_ = &*it;
    return &it->second;
}

const FileLookupCache::ResolvedFolder& FileLookupCache::AddFolder(ResolvedFolder folder) {
    auto it = lastRoot_->folders.emplace(key_, std::move(folder)).first;
    lastFolder_ = &*it;
    return it->second;
}

FileLookupCache* CurrentFileLookupCache() { return t_cache; }

ScopedFileLookupCache::ScopedFileLookupCache() : previous_(t_cache) { t_cache = &cache_; }

ScopedFileLookupCache::~ScopedFileLookupCache() { t_cache = previous_; }

PathStatus StatPath(const std::filesystem::path& path) {
    if (FileLookupCache* cache = CurrentFileLookupCache()) return cache->Status(path);
    return ReadPathStatus(path);
}

}  // namespace qv
