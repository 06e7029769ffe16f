#include "platform/win32/file_information.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace qv {

FILETIME UnixTimeToFileTime(const timespec& time) {
    // Seconds from 1601-01-01 to 1970-01-01.
    constexpr int64_t kEpochDifference = 11644473600LL;
    int64_t seconds = static_cast<int64_t>(time.tv_sec) + kEpochDifference;
    uint64_t ticks = 0;
    if (seconds > 0)
        ticks = static_cast<uint64_t>(seconds) * 10000000ULL + static_cast<uint64_t>(time.tv_nsec) / 100;
    FILETIME result;
    result.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    result.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return result;
}

std::optional<FileInformation> QueryFileInformation(const std::filesystem::path& path) {
    struct stat link;
    if (::lstat(path.c_str(), &link) != 0) return std::nullopt;
    FileInformation info;
    bool isLink = S_ISLNK(link.st_mode);
    struct stat target;
    const struct stat* shown = &link;
    if (isLink && ::stat(path.c_str(), &target) == 0) shown = &target;

    DWORD attributes = 0;
    if (isLink) attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    if (S_ISDIR(shown->st_mode)) {
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    } else if (!isLink || shown != &link) {
        info.size = static_cast<uint64_t>(shown->st_size);
        if ((shown->st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
    }
    if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
    info.attributes = attributes;

    // The creation time is the file's birth time where the file system records one (statx);
    // elsewhere the earlier of the change and modification times comes closest.
    const timespec& written = shown->st_mtim;
    struct statx sx {};
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME, &sx) == 0 && (sx.stx_mask & STATX_BTIME)) {
        timespec born{static_cast<time_t>(sx.stx_btime.tv_sec), static_cast<long>(sx.stx_btime.tv_nsec)};
        info.creationTime = UnixTimeToFileTime(born);
        info.lastAccessTime = UnixTimeToFileTime(shown->st_atim);
        info.lastWriteTime = UnixTimeToFileTime(written);
        return info;
    }
    const timespec& changed = shown->st_ctim;
    bool changedFirst = changed.tv_sec < written.tv_sec ||
                        (changed.tv_sec == written.tv_sec && changed.tv_nsec < written.tv_nsec);
    info.creationTime = UnixTimeToFileTime(changedFirst ? changed : written);
    info.lastAccessTime = UnixTimeToFileTime(shown->st_atim);
    info.lastWriteTime = UnixTimeToFileTime(written);
    return info;
}

}  // namespace qv
