#include "platform/prefix/drive_map.h"

#include <dirent.h>
#include <sys/stat.h>

#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <vector>

#include "platform/prefix/case_insensitive_name.h"
#include "platform/prefix/short_file_name.h"

namespace fs = std::filesystem;

namespace qv {
namespace {

bool EntryExists(const fs::path& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

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

// Folded name -> the spelling on disk, per folder. A scan looks up thousands of missing
// names in one folder; reading the folder once per name would make that quadratic. An
// entry stays valid while the folder's modification and change times are unchanged.
struct FolderListing {
    dev_t dev = 0;
    ino_t ino = 0;
    timespec mtime{};
    timespec ctime{};
    std::map<std::u32string, std::string> names;
    // Every entry in the order the folder lists them, which is the order Wine tries them in.
    std::vector<std::string> entries;

    // Wine's made-up short name (upper case) -> the entry it stands for. Made on the first
    // short-name lookup in the folder, since most folders never see one.
    const std::map<std::string, std::string>& ShortNames() const {
        std::call_once(shortNamesMade, [this] {
            for (const std::string& entry : entries) {
                std::string shortName = ShortNameOf(entry);
                // Two names can hash alike; Wine takes the first one the folder lists.
                if (!shortName.empty()) shortNames.emplace(std::move(shortName), entry);
            }
        });
        return shortNames;
    }

private:
    mutable std::once_flag shortNamesMade;
    mutable std::map<std::string, std::string> shortNames;
};

std::mutex g_listingMutex;
std::map<std::string, std::shared_ptr<const FolderListing>> g_listings;

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

std::shared_ptr<const FolderListing> ListFolder(const fs::path& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return nullptr;
    const std::string key = folder.string();
    {
        std::lock_guard<std::mutex> lock(g_listingMutex);
        auto it = g_listings.find(key);
        if (it != g_listings.end() && it->second->dev == st.st_dev && it->second->ino == st.st_ino &&
            SameTime(it->second->mtime, st.st_mtim) && SameTime(it->second->ctime, st.st_ctim))
            return it->second;
    }
    auto listing = std::make_shared<FolderListing>();
    listing->dev = st.st_dev;
    listing->ino = st.st_ino;
    listing->mtime = st.st_mtim;
    listing->ctime = st.st_ctim;
    std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
    if (!dir) return nullptr;
    while (dirent* entry = ::readdir(dir.get())) {
        std::string_view candidate = entry->d_name;
        if (candidate == "." || candidate == "..") continue;
        listing->entries.emplace_back(candidate);
        // Several spellings of one name can exist on a Unix disk; take the same one always.
        auto [it, inserted] = listing->names.emplace(FoldNameCase(candidate), std::string(candidate));
        if (!inserted && std::string(candidate) < it->second) it->second = std::string(candidate);
    }
    std::lock_guard<std::mutex> lock(g_listingMutex);
    if (g_listings.size() > 256) g_listings.clear();
    g_listings[key] = listing;
    return listing;
}

}  // namespace

std::optional<std::string> FindNameIgnoringCase(const fs::path& folder, std::string_view name) {
    if (EntryExists(folder / std::string(name))) return std::string(name);
    std::shared_ptr<const FolderListing> listing = ListFolder(folder);
    if (!listing) return std::nullopt;
    auto it = listing->names.find(FoldNameCase(name));
    if (it != listing->names.end()) return it->second;
    // A short name such as "PROG~FBU": the entry whose made-up short name it is. A real
    // entry of that name has won above.
    if (!MayBeHashedShortName(name)) return std::nullopt;
    std::string upper(name);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    const std::map<std::string, std::string>& shortNames = listing->ShortNames();
    auto match = shortNames.find(upper);
    if (match == shortNames.end()) return std::nullopt;
    return match->second;
}

std::optional<fs::path> WindowsToUnixPath(const Prefix& prefix, const WindowsPath& windowsPath) {
    fs::path path = prefix.DriveFolder(windowsPath.drive);
    if (path.empty()) return std::nullopt;
    bool matching = true;
    for (const std::string& name : windowsPath.components) {
        if (matching) {
            std::optional<std::string> onDisk = FindNameIgnoringCase(path, name);
            if (onDisk) {
                path /= *onDisk;
                continue;
            }
            matching = false;
        }
        path /= name;
    }
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
