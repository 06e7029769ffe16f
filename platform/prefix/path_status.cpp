#include "platform/prefix/path_status.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

namespace qv {
namespace {

timespec TimeOf(const struct statx_timestamp& t) {
    return timespec{static_cast<time_t>(t.tv_sec), static_cast<long>(t.tv_nsec)};
}

void TakeStatx(const struct statx& sx, PathStatus& status) {
    status.mode = sx.stx_mode;
    status.size = sx.stx_size;
    status.accessed = TimeOf(sx.stx_atime);
    status.written = TimeOf(sx.stx_mtime);
    status.changed = TimeOf(sx.stx_ctime);
    status.hasBirth = (sx.stx_mask & STATX_BTIME) != 0;
    status.born = status.hasBirth ? TimeOf(sx.stx_btime) : timespec{};
}

void TakeStat(const struct stat& st, PathStatus& status) {
    status.mode = st.st_mode;
    status.size = static_cast<uint64_t>(st.st_size);
    status.accessed = st.st_atim;
    status.written = st.st_mtim;
    status.changed = st.st_ctim;
}

constexpr unsigned kStatxMask = STATX_BASIC_STATS | STATX_BTIME;

// Where statx is not available (old kernels, some sandboxes): lstat and stat.
PathStatus ReadWithStat(const std::filesystem::path& path) {
    PathStatus status;
    struct stat link;
    if (::lstat(path.c_str(), &link) != 0) {
        status.error = errno;
        return status;
    }
    TakeStat(link, status);
    status.link = S_ISLNK(link.st_mode);
    struct stat target;
    if (status.link && ::stat(path.c_str(), &target) == 0) {
        TakeStat(target, status);
        status.followed = true;
    }
    return status;
}

}  // namespace

bool PathStatus::IsFolder() const { return error == 0 && (!link || followed) && S_ISDIR(mode); }

bool IsNotFoundError(int error) { return error == ENOENT || error == ENOTDIR || error == ENAMETOOLONG; }

bool PathStatus::SurelyMissing() const { return error != 0 && IsNotFoundError(error); }

PathStatus ReadPathStatus(const std::filesystem::path& path) {
    // One call for what is not a link: its type, size, times and birth time.
    struct statx sx {};
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, kStatxMask, &sx) != 0) {
        if (errno == ENOSYS || errno == EPERM) return ReadWithStat(path);
        PathStatus status;
        status.error = errno;
        return status;
    }
    PathStatus status;
    TakeStatx(sx, status);
    if (!S_ISLNK(sx.stx_mode)) return status;
    status.link = true;
    // A link shows its target when that exists; a dangling one shows itself, without a
    // birth time (that of a target is asked for, and there is none).
    status.hasBirth = false;
    status.born = {};
    struct statx target {};
    if (::statx(AT_FDCWD, path.c_str(), 0, kStatxMask, &target) == 0) {
        TakeStatx(target, status);
        status.followed = true;
    }
    return status;
}

}  // namespace qv
