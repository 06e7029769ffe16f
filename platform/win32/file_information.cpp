#include "platform/win32/file_information.h"

#include <sys/stat.h>

#include "platform/prefix/file_lookup_cache.h"

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
    return FileInformationOf(StatPath(path));
}

std::optional<FileInformation> FileInformationOf(const PathStatus& status) {
    if (!status.Exists()) return std::nullopt;
    FileInformation info;
    // What the entry shows: a link's target when that exists, else the entry itself.
    const bool showsItself = !status.link || status.followed;
    DWORD attributes = 0;
    if (status.link) attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    if (S_ISDIR(status.mode) && showsItself) {
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    } else if (showsItself) {
        info.size = status.size;
        if ((status.mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
    }
    if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
    info.attributes = attributes;

    // The creation time is the file's birth time where the file system records one (statx);
    // elsewhere the earlier of the change and modification times comes closest.
    const timespec& written = status.written;
    info.lastAccessTime = UnixTimeToFileTime(status.accessed);
    info.lastWriteTime = UnixTimeToFileTime(written);
    if (status.hasBirth) {
        info.creationTime = UnixTimeToFileTime(status.born);
        return info;
    }
    const timespec& changed = status.changed;
    bool changedFirst = changed.tv_sec < written.tv_sec ||
                        (changed.tv_sec == written.tv_sec && changed.tv_nsec < written.tv_nsec);
    info.creationTime = UnixTimeToFileTime(changedFirst ? changed : written);
    return info;
}

}  // namespace qv
