#include "platform/prefix/confined_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <utility>

#include "platform/prefix/drive_map.h"

namespace fs = std::filesystem;

namespace qv {
namespace {

int64_t ChangeTime(const struct stat& info) {
    return static_cast<int64_t>(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
}

bool IsPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// The real path of `path`, or empty with errno set.
fs::path RealPath(const fs::path& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr) return {};
    fs::path result(real);
    std::free(real);
    return result;
}

}  // namespace

fs::path RealDriveC(const Prefix& prefix) {
    fs::path real = RealPath(prefix.Root() / "drive_c");
    struct stat info;
    if (real.empty() || ::stat(real.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return {};
    return real;
}

FolderPlace PlaceFolder(const fs::path& driveC, const fs::path& unixPath) {
    FolderPlace place;
    if (driveC.empty() || unixPath.empty()) return place;
    errno = 0;
    fs::path real = RealPath(unixPath);
    if (real.empty()) {
        if (errno != ENOENT && errno != ENOTDIR) {
            place.kind = FolderPlace::kUnresolvable;
            place.error = errno;
        }
        return place;
    }
    struct stat info;
    if (::stat(real.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return place;
    place.real = real;
    // Both paths are real, so comparing them name by name decides containment.
    auto r = real.begin();
    for (auto d = driveC.begin(); d != driveC.end(); ++d, ++r) {
        if (r == real.end() || *r != *d) {
            place.kind = FolderPlace::kOutside;
            return place;
        }
    }
    for (; r != real.end(); ++r)
        if (!r->empty()) place.components.push_back(r->string());
    place.kind = FolderPlace::kInside;
    return place;
}

FolderPlace PlaceWindowsFolder(const Prefix& prefix, const fs::path& driveC, const std::string& windows) {
    std::optional<fs::path> unix = WindowsToUnixPath(prefix, windows);
    return unix ? PlaceFolder(driveC, *unix) : FolderPlace();
}

ConfinedFolder::~ConfinedFolder() {
    if (fd_ >= 0) ::close(fd_);
}

ConfinedFolder::ConfinedFolder(ConfinedFolder&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), dev_(other.dev_), ino_(other.ino_) {}

ConfinedFolder& ConfinedFolder::operator=(ConfinedFolder&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        dev_ = other.dev_;
        ino_ = other.ino_;
    }
    return *this;
}

ConfinedFolder ConfinedFolder::Open(const fs::path& driveC, const std::vector<std::string>& names) {
    ConfinedFolder folder;
    if (driveC.empty() || !driveC.is_absolute()) {
        errno = EINVAL;
        return folder;
    }
    int fd = ::open(driveC.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return folder;
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        int saved = errno;
        ::close(fd);
        errno = saved;
        return folder;
    }
    folder.fd_ = fd;
    folder.dev_ = info.st_dev;
    folder.ino_ = info.st_ino;
    for (const std::string& name : names) {
        folder = folder.Child(name);
        if (!folder.IsOpen()) break;
    }
    return folder;
}

ConfinedFolder ConfinedFolder::Child(const std::string& name) const {
    ConfinedFolder child;
    if (fd_ < 0 || !IsPlainName(name)) {
        errno = fd_ < 0 ? EBADF : EINVAL;
        return child;
    }
    int fd = ::openat(fd_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return child;
    struct stat info;
    int error = 0;
    if (::fstat(fd, &info) != 0)
        error = errno;
    else if (info.st_dev != dev_)
        error = EXDEV;  // another file system mounted inside: not the prefix's own files
    if (error != 0) {
        ::close(fd);
        errno = error;
        return child;
    }
    child.fd_ = fd;
    child.dev_ = info.st_dev;
    child.ino_ = info.st_ino;
    return child;
}

std::vector<FolderEntry> ConfinedFolder::Entries() const {
    std::vector<FolderEntry> entries;
    if (fd_ < 0) return entries;
    // A descriptor of its own, so that listing does not move this one's position.
    int listing = ::openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0) return entries;
    DIR* dir = ::fdopendir(listing);
    if (dir == nullptr) {
        ::close(listing);
        return entries;
    }
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat info;
        if (::fstatat(fd_, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
        entries.push_back({std::move(name), info.st_mode, static_cast<uint64_t>(info.st_dev),
                           static_cast<uint64_t>(info.st_ino), ChangeTime(info)});
    }
    ::closedir(dir);
    return entries;
}

bool ConfinedFolder::DeleteFileIfSame(const std::string& name, uint64_t dev, uint64_t ino, int64_t ctimeNs) const {
    if (fd_ < 0 || !IsPlainName(name)) return false;
    struct stat info;
    if (::fstatat(fd_, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (!S_ISREG(info.st_mode) || info.st_dev != dev || info.st_ino != ino || ChangeTime(info) != ctimeNs)
        return false;
    // Should the entry be swapped between the check and here, what goes is still only a
    // name in this folder: unlinkat never follows a link.
    return ::unlinkat(fd_, name.c_str(), 0) == 0;
}

bool ConfinedFolder::RemoveEmptyChild(const std::string& name, const ConfinedFolder& child) const {
    if (fd_ < 0 || !child.IsOpen() || !IsPlainName(name)) return false;
    struct stat info;
    if (::fstatat(fd_, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (!S_ISDIR(info.st_mode) || info.st_dev != child.dev_ || info.st_ino != child.ino_) return false;
    return ::unlinkat(fd_, name.c_str(), AT_REMOVEDIR) == 0;  // fails while anything is left inside
}

}  // namespace qv
