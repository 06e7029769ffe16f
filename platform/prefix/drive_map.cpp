#include "platform/prefix/drive_map.h"

#include <sys/stat.h>

#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <vector>

#include "platform/prefix/case_insensitive_name.h"
#include "platform/prefix/file_lookup_cache.h"
#include "platform/prefix/folder_listing.h"

namespace fs = std::filesystem;

namespace qv {
namespace {

bool EntryExists(const fs::path& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

// True when `prefix` is `path` or one of its ancestors, compared name by name.
bool IsWithin(const fs::path& path, const fs::path& prefix, fs::path& remainder) {
    auto p = path.begin();
    for (auto q = prefix.begin(); q != prefix.end(); ++q) {
        if (q->empty()) continue;  // a trailing separator of the prefix
        if (p == path.end() || *p != *q) return false;
        ++p;
    }
    remainder.clear();
    for (; p != path.end(); ++p)
        if (!p->empty()) remainder /= *p;
    return true;
}

size_t ComponentCount(const fs::path& path) {
    size_t count = 0;
    for (const auto& part : path)
        if (!part.empty()) ++count;
    return count;
}

struct DriveRoot {
    char letter;
    fs::path folder;  // absolute, normalised
};

// Every mapped drive with the forms of its folder that a path may start with: the folder
// the link names (lexically) and the folder it really is (all links resolved).
std::vector<DriveRoot> DriveRoots(const Prefix& prefix) {
    std::vector<DriveRoot> roots;
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        fs::path folder = prefix.DriveFolder(letter);
        if (folder.empty()) continue;
        std::error_code error;
        fs::path absolute = fs::absolute(folder, error);
        if (error) continue;
        fs::path lexical = absolute;
        if (fs::is_symlink(absolute, error)) {
            fs::path target = fs::read_symlink(absolute, error);
            if (!error) lexical = target.is_absolute() ? target : absolute.parent_path() / target;
        }
        roots.push_back({static_cast<char>(letter - 'a' + 'A'), lexical.lexically_normal()});
        fs::path real = fs::canonical(absolute, error);
        if (!error && real != roots.back().folder) roots.push_back({roots.back().letter, real});
        roots.push_back({roots.back().letter, absolute.lexically_normal()});
    }
    return roots;
}

std::optional<std::string> MapThroughDrives(const std::vector<DriveRoot>& roots,
                                            const fs::path& path) {
    const DriveRoot* best = nullptr;
    size_t bestDepth = 0;
    fs::path bestRemainder;
    for (const DriveRoot& root : roots) {
        fs::path remainder;
        if (!IsWithin(path, root.folder, remainder)) continue;
        size_t depth = ComponentCount(root.folder);
        if (best == nullptr || depth > bestDepth ||
            (depth == bestDepth && root.letter < best->letter)) {
            best = &root;
            bestDepth = depth;
            bestRemainder = remainder;
        }
    }
    if (best == nullptr) return std::nullopt;
    std::string text{best->letter, ':', '\\'};
    bool first = true;
    for (const auto& part : bestRemainder) {
        if (!first) text += '\\';
        text += part.string();
        first = false;
    }
    return text;
}

}  // namespace

namespace {

// Listings of folders outside a scan, kept while the folder's identity and modification
// and change times are unchanged: a repair or a dialog looks up many names in one folder,
// and reading the folder once per name would make that quadratic.
std::mutex g_listingMutex;
std::map<std::string, std::shared_ptr<const FolderListing>> g_listings;

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

std::shared_ptr<const FolderListing> ListFolder(const fs::path& folder, int& error) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) {
        error = errno;
        return nullptr;
    }
    if (!S_ISDIR(st.st_mode)) {
        error = ENOTDIR;
        return nullptr;
    }
    const std::string& key = folder.native();
    {
        std::lock_guard<std::mutex> lock(g_listingMutex);
        auto it = g_listings.find(key);
        if (it != g_listings.end()) {
            const struct stat& was = it->second->Status();
            if (was.st_dev == st.st_dev && was.st_ino == st.st_ino && SameTime(was.st_mtim, st.st_mtim) &&
                SameTime(was.st_ctim, st.st_ctim)) {
                error = 0;
                return it->second;
            }
        }
    }
    std::shared_ptr<const FolderListing> listing = FolderListing::Read(folder, error);
    if (!listing) return nullptr;
    std::lock_guard<std::mutex> lock(g_listingMutex);
    if (g_listings.size() > 256) g_listings.clear();
    g_listings[key] = listing;
    return listing;
}

// How a name was looked for in a folder.
struct NameLookup {
    bool unlisted = false;  // not found, and the folder could not be read
    bool absent = false;    // not found, and surely not there (the folder was read, or is no folder)
    bool listed = false;    // the folder was read
    unsigned char type = 0;  // found in a cached listing that gave it this type (else DT_UNKNOWN)
};

// Looks `name` up in a listing of a scan's cache: the entry found, or null with `how` saying
// the name is surely absent.
const std::string* FindListed(const FolderListing& listing, std::string_view name, NameLookup& how) {
    if (const std::string* found = listing.Find(name)) {
        how.type = listing.TypeOf(found);
        return found;
    }
    how.absent = true;
    how.listed = true;
    return nullptr;
}

// A name in a folder of a scan's cache that could not be listed (with the errno `error`):
// a folder one may enter but not read still finds the exact spelling.
std::optional<std::string> FindUnlisted(FileLookupCache& cache, const fs::path& folder, std::string_view name,
                                        int error, NameLookup& how) {
    const PathStatus& status = cache.Status(folder / name);
    if (status.Exists()) return std::string(name);
    how.unlisted = !IsNotFoundError(error);
    how.absent = !how.unlisted && status.SurelyMissing();
    return std::nullopt;
}

// FindNameIgnoringCase, saying how a name that was not found was looked for. `absent` is
// only worked out with a scan's cache, whose listings the scan trusts for its duration.
std::optional<std::string> FindName(const fs::path& folder, std::string_view name, NameLookup& how) {
    how = {};
    int error = 0;
    if (FileLookupCache* cache = CurrentFileLookupCache()) {
        if (const FolderListing* listing = cache->Listing(folder, error)) {
            const std::string* found = FindListed(*listing, name, how);
            if (found) return *found;
            return std::nullopt;
        }
        return FindUnlisted(*cache, folder, name, error, how);
    }
    if (EntryExists(folder / std::string(name))) return std::string(name);
    std::shared_ptr<const FolderListing> listing = ListFolder(folder, error);
    if (!listing) {
        how.unlisted = !IsNotFoundError(error);
        return std::nullopt;
    }
    if (const std::string* found = listing->Find(name)) return *found;
    return std::nullopt;
}

// Matches `names` below `path` one by one, as WindowsToUnixPath describes; `matching` says
// whether names are still being matched (false once one matched nothing).
void MatchNames(fs::path& path, const std::string* names, size_t count, bool& matching, UnixPathMatch& how) {
    for (size_t i = 0; i < count; ++i) {
        const std::string& name = names[i];
        if (matching) {
            NameLookup lookup;
            std::optional<std::string> onDisk = FindName(path, name, lookup);
            if (onDisk) {
                path /= *onDisk;
                continue;
            }
            how.unlisted = how.unlisted || lookup.unlisted;
            if (lookup.absent) {
                how.absent = true;
                how.folderExists = i + 1 == count && lookup.listed;
            }
            matching = false;
        }
        path /= name;
    }
}

// In a scan, the folder part of a path is matched once per spelling (and listed, since
// its last name is looked up next); only the last name is looked up each time. Null when
// the path's drive is not mapped.
const FileLookupCache::ResolvedFolder* ResolveScanFolder(FileLookupCache& cache, const Prefix& prefix,
                                                         const WindowsPath& windowsPath) {
    if (!prefix.HasDriveFolder(windowsPath.drive)) return nullptr;
    const std::vector<std::string>& names = windowsPath.components;
    return &cache.Folder(prefix.Root(), windowsPath.drive, names.data(), names.size() - 1, [&] {
        FileLookupCache::ResolvedFolder resolved;
        resolved.unix = prefix.DriveFolder(windowsPath.drive);
        resolved.matching = true;
        MatchNames(resolved.unix, names.data(), names.size() - 1, resolved.matching, resolved.how);
        if (resolved.matching) resolved.listing = cache.Listing(resolved.unix, resolved.listingError);
        return resolved;
    });
}

// How a path was matched whose folder is `folder` (every name of it matched) and whose last
// name was looked up as `lookup` says.
UnixPathMatch LastNameMatch(const FileLookupCache::ResolvedFolder& folder, const NameLookup& lookup, bool found) {
    UnixPathMatch how = folder.how;
    how.folderExists = false;
    if (!found) {
        how.unlisted = how.unlisted || lookup.unlisted;
        how.absent = lookup.absent;
        how.folderExists = lookup.absent && lookup.listed;
    } else {
        how.listedType = lookup.type;
    }
    return how;
}

}  // namespace

std::optional<UnixPathMatch> ProbeListedPath(const Prefix& prefix, const WindowsPath& windowsPath) {
    FileLookupCache* cache = CurrentFileLookupCache();
    if (!cache || windowsPath.components.empty()) return std::nullopt;
    const FileLookupCache::ResolvedFolder* folder = ResolveScanFolder(*cache, prefix, windowsPath);
    if (!folder) return std::nullopt;
    if (!folder->matching) {
        if (!folder->how.absent) return std::nullopt;
        UnixPathMatch how = folder->how;
        how.folderExists = false;
        return how;
    }
    if (!folder->listing) return std::nullopt;
    NameLookup lookup;
    const bool found = FindListed(*folder->listing, windowsPath.components.back(), lookup) != nullptr;
    return LastNameMatch(*folder, lookup, found);
}

std::optional<std::string> FindNameIgnoringCase(const fs::path& folder, std::string_view name) {
    NameLookup how;
    return FindName(folder, name, how);
}

std::optional<fs::path> WindowsToUnixPath(const Prefix& prefix, const WindowsPath& windowsPath,
                                          UnixPathMatch* match) {
    UnixPathMatch how;
    const std::vector<std::string>& names = windowsPath.components;
    bool matching = true;
    FileLookupCache* cache = CurrentFileLookupCache();
    if (cache && !names.empty()) {
        const FileLookupCache::ResolvedFolder* folder = ResolveScanFolder(*cache, prefix, windowsPath);
        if (!folder) return std::nullopt;
        const std::string& last = names.back();
        if (!folder->matching) {
            how = folder->how;
            how.folderExists = false;
            if (match) *match = how;
            return folder->unix / last;
        }
        NameLookup lookup;
        std::optional<std::string> onDisk;
        if (folder->listing) {
            if (const std::string* found = FindListed(*folder->listing, last, lookup)) onDisk = *found;
        } else {
            onDisk = FindUnlisted(*cache, folder->unix, last, folder->listingError, lookup);
        }
        how = LastNameMatch(*folder, lookup, onDisk.has_value());
        if (match) *match = how;
        return folder->unix / (onDisk ? *onDisk : last);
    }
    fs::path path = prefix.DriveFolder(windowsPath.drive);
    if (path.empty()) return std::nullopt;
    MatchNames(path, names.data(), names.size(), matching, how);
    if (match) *match = how;
    return path;
}

std::optional<fs::path> WindowsToUnixPath(const Prefix& prefix, std::string_view windowsPath) {
    std::optional<WindowsPath> full = ResolveWindowsPath(windowsPath);
    if (!full) return std::nullopt;
    return WindowsToUnixPath(prefix, *full);
}

std::string UnixToWindowsPath(const Prefix& prefix, const fs::path& unixPath) {
    std::error_code error;
    fs::path absolute = fs::absolute(unixPath, error);
    if (error) absolute = unixPath;
    absolute = absolute.lexically_normal();
    std::vector<DriveRoot> roots = DriveRoots(prefix);
    // The path as written first, so that a link inside a drive (a profile folder that
    // points into the home folder) keeps its Windows name; then with links resolved.
    if (auto text = MapThroughDrives(roots, absolute)) return *text;
    fs::path real = fs::weakly_canonical(absolute, error);
    if (!error)
        if (auto text = MapThroughDrives(roots, real)) return *text;
    std::string text = "\\\\?\\unix";
    for (char c : absolute.string()) text += (c == '/') ? '\\' : c;
    return text;
}

}  // namespace qv
