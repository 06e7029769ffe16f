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

private:
    struct stat status_ {};
    std::vector<std::string> entries_;
    // The entry index a name takes without regard to case (of several spellings of one
    // name, which a Unix disk allows, always the same: the smallest), in an open-addressed
    // table of entry indexes plus one (0: free) with the entries' hashes beside them: a
    // look-up reads one slot and one hash, and compares names only when the hashes agree.
    uint32_t Slot(std::string_view name, size_t hash) const;
    std::vector<uint32_t> slots_;
    std::vector<size_t> hashes_;
    // Exact spellings, kept only when some name has several spellings (rare).
    std::unordered_map<std::string_view, uint32_t> exact_;
    // Wine's made-up short name (upper case) -> entry index. Made on the first short-name
    // look-up, since most folders never see one.
    mutable std::once_flag shortNamesMade_;
    mutable std::unordered_map<std::string, uint32_t> shortNames_;
};

}  // namespace qv
