// The names of one folder, read once, for finding an entry as Wine finds it: by its exact
// spelling, else without regard to case, else by its made-up short (8.3) name. Look-ups
// fold case on the fly and allocate nothing.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/prefix/case_insensitive_name.h"

namespace qv {

class FolderListing {
public:
    // Reads `folder` (following links). Null with `error` set to the errno of the failure
    // when it cannot be listed: ENOENT / ENOTDIR when there is no such folder, anything
    // else (EACCES, ELOOP, EIO, ...) when it may exist but cannot be read.
    static std::shared_ptr<const FolderListing> Read(const std::filesystem::path& folder, int& error);

    // The entry `name` stands for; null when there is none.
    const std::string* Find(std::string_view name) const;

    // True when an entry is spelled exactly `name`.
    bool HasExactName(std::string_view name) const;

    // The folder's identity and times when it was read.
    const struct stat& Status() const { return status_; }

    // Every entry in the order the folder listed them.
    const std::vector<std::string>& Entries() const { return entries_; }

    // The type the folder's listing gave `entry` (one of Entries()): DT_REG, DT_DIR,
    // DT_LNK, ..., or DT_UNKNOWN where the file system does not say.
    unsigned char TypeOf(const std::string* entry) const {
        return types_[static_cast<size_t>(entry - entries_.data())];
    }

private:
    struct stat status_ {};
    std::vector<std::string> entries_;
    std::vector<unsigned char> types_;  // d_type of each entry
    // The entry index a name takes without regard to case (of several spellings of one
    // name, which a Unix disk allows, always the same: the smallest), in an open-addressed
    // table of entry indexes plus one (0: free), each with the top half of its entry's
    // hash: a look-up reads slots only, and compares names only when the hashes agree.
    uint32_t Slot(std::string_view name, size_t hash) const;
    struct Taken {
        uint32_t index = 0;
        uint32_t tag = 0;
    };
    static uint32_t Tag(uint64_t hash) { return static_cast<uint32_t>(hash >> 32); }
    std::vector<Taken> slots_;
    // Exact spellings, kept only when some name has several spellings (rare).
    std::unordered_map<std::string_view, uint32_t> exact_;
    // Wine's made-up short name (upper case) -> entry index. Made on the first short-name
    // look-up, since most folders never see one.
    mutable std::once_flag shortNamesMade_;
    mutable std::unordered_map<std::string, uint32_t> shortNames_;
};

}  // namespace qv
