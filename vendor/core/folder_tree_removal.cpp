#include "vendor/core/folder_tree_removal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

namespace qv {
namespace {

// Deeper trees are left partly in place rather than using one descriptor per level without
// bound.
constexpr int kMaxDepth = 200;

// Lets the owner list and change a folder it is about to empty.
void MakeFolderWritable(int fd) {
    struct stat info;
    if (::fstat(fd, &info) == 0 && info.st_uid == ::geteuid() && (info.st_mode & S_IRWXU) != S_IRWXU)
        ::fchmod(fd, (info.st_mode & 07777) | S_IRWXU);
}

// Empties the open folder `dir` (which is closed by the caller).
bool RemoveEntries(DIR* dir, dev_t device, int depth) {
    int fd = ::dirfd(dir);
    MakeFolderWritable(fd);
    std::vector<std::string> names;
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(std::move(name));
    }
    bool complete = true;
    for (const std::string& name : names) {
        struct stat info;
        if (::fstatat(fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) complete = false;
            continue;
        }
        if (!S_ISDIR(info.st_mode)) {
            // Files, and links whatever they point to.
            if (::unlinkat(fd, name.c_str(), 0) != 0 && errno != ENOENT) complete = false;
            continue;
        }
        if (info.st_dev != device || depth >= kMaxDepth) {
            complete = false;
            continue;
        }
        int child = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (child < 0) {
            complete = false;
            continue;
        }
        // The entry must still be the folder examined above, not something swapped in.
        struct stat opened;
        if (::fstat(child, &opened) != 0 || opened.st_dev != info.st_dev || opened.st_ino != info.st_ino) {
            ::close(child);
            complete = false;
            continue;
        }
        DIR* sub = ::fdopendir(child);
        if (sub == nullptr) {
            ::close(child);
            complete = false;
            continue;
        }
        if (!RemoveEntries(sub, device, depth + 1)) complete = false;
        ::closedir(sub);
        if (::unlinkat(fd, name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT) complete = false;
    }
    return complete;
}

}  // namespace

bool RemoveFolderTreeAt(int parentFd, const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) return false;
    struct stat info;
    if (::fstatat(parentFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (S_ISLNK(info.st_mode)) return ::unlinkat(parentFd, name.c_str(), 0) == 0;
    if (!S_ISDIR(info.st_mode)) return false;
    int fd = ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat opened;
    if (::fstat(fd, &opened) != 0 || opened.st_dev != info.st_dev || opened.st_ino != info.st_ino) {
        ::close(fd);
        return false;
    }
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return false;
    }
    bool complete = RemoveEntries(dir, info.st_dev, 0);
    ::closedir(dir);
    return ::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) == 0 && complete;
}

}  // namespace qv
