#include "platform/prefix/folder_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/prefix/short_file_name.h"

namespace qv {

std::shared_ptr<const FolderListing> FolderListing::Read(const std::filesystem::path& folder, int& error) {
    auto listing = std::make_shared<FolderListing>();
    // Open first and take the status from the descriptor, so that both describe the same folder.
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    if (::fstat(fd, &listing->status_) != 0) {
        error = errno;
        ::close(fd);
        return nullptr;
    }
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        error = errno;
        ::close(fd);
        return nullptr;
    }
    errno = 0;
    while (dirent* entry = ::readdir(dir)) {
        std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            listing->entries_.emplace_back(name);
            listing->types_.push_back(entry->d_type);
        }
        errno = 0;
    }
    const int readError = errno;
    ::closedir(dir);
    if (readError != 0) {
        // A listing cut short would call present files missing.
        error = readError;
        return nullptr;
    }
    // The table's keys are the entries' strings, which no longer move.
    std::vector<std::string>& entries = listing->entries_;
    size_t capacity = 16;
    while (capacity < entries.size() * 2) capacity *= 2;
    listing->slots_.assign(capacity, Taken{});
    bool variants = false;
    for (uint32_t i = 0; i < entries.size(); ++i) {
        const size_t hash = HashNameIgnoringCase(entries[i]);
        const uint32_t slot = listing->Slot(entries[i], hash);
        Taken& taken = listing->slots_[slot];
        if (taken.index == 0) {
            taken = {i + 1, Tag(hash)};
            continue;
        }
        variants = true;
        if (entries[i] < entries[taken.index - 1]) taken.index = i + 1;
    }
    if (variants)
        for (uint32_t i = 0; i < entries.size(); ++i) listing->exact_.emplace(entries[i], i);
    error = 0;
    return listing;
}

uint32_t FolderListing::Slot(std::string_view name, size_t hash) const {
    const size_t mask = slots_.size() - 1;
    for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const Taken taken = slots_[slot];
        if (taken.index == 0) return static_cast<uint32_t>(slot);
        if (taken.tag == Tag(hash) && NamesEqualIgnoringCase(entries_[taken.index - 1], name))
            return static_cast<uint32_t>(slot);
    }
}

bool FolderListing::HasExactName(std::string_view name) const {
    if (!exact_.empty()) return exact_.count(name) != 0;
    const uint32_t taken = slots_[Slot(name, HashNameIgnoringCase(name))].index;
    return taken != 0 && entries_[taken - 1] == name;
}

const std::string* FolderListing::Find(std::string_view name) const {
    const uint32_t taken = slots_[Slot(name, HashNameIgnoringCase(name))].index;
    if (taken != 0) {
        if (!exact_.empty()) {
            auto exact = exact_.find(name);
            if (exact != exact_.end()) return &entries_[exact->second];
        }
        return &entries_[taken - 1];
    }
    // A short name such as "PROG~FBU": the entry whose made-up short name it is (a real
    // entry of that name has been found above).
    if (!MayBeHashedShortName(name)) return nullptr;
    std::call_once(shortNamesMade_, [this] {
        for (uint32_t i = 0; i < entries_.size(); ++i) {
            std::string shortName = ShortNameOf(entries_[i]);
            // Two names can hash alike; Wine takes the first one the folder lists.
            if (!shortName.empty()) shortNames_.emplace(std::move(shortName), i);
        }
    });
    std::string upper(name);  // at most 12 characters: no allocation
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    auto match = shortNames_.find(upper);
    return match == shortNames_.end() ? nullptr : &entries_[match->second];
}

}  // namespace qv
