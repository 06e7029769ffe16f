#include "platform/registry/hive_file_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/text/byte_size_text.h"

namespace qv {

namespace {

std::atomic<uint64_t> g_ceiling{uint64_t(4) << 30};


// "system.reg" or "system.reg (a link to /dev/zero)".
std::string Named(const std::filesystem::path& file, const std::string& label) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(file, ec)) return label;
    std::filesystem::path to = std::filesystem::read_symlink(file, ec);
    return ec ? label : label + " (a link to " + to.string() + ")";
}

HiveFileContent Refuse(HiveFileContent r, std::string problem) {
    r.state = HiveFileContent::State::Refused;
    r.fd = OwnedFd();
    r.text.clear();
    r.text.shrink_to_fit();
    r.problem = std::move(problem);
    return r;
}

}  // namespace

const char* FileKindText(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISLNK(mode)) return "a symbolic link";
    return "an unusual kind of file";
}

uint64_t HiveSizeCeiling() { return g_ceiling; }
void SetHiveSizeCeiling(uint64_t bytes) { g_ceiling = bytes; }

OwnedFd& OwnedFd::operator=(OwnedFd&& o) noexcept {
    if (this != &o) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = o.fd_;
        o.fd_ = -1;
    }
    return *this;
}

OwnedFd::~OwnedFd() {
    if (fd_ >= 0) ::close(fd_);
}

namespace {
const char kWontTouch[] = "; Quorvane will not read or write it.";
}  // namespace

std::string HiveTooLargeText(const std::filesystem::path& file, const std::string& label, uint64_t size) {
    return Named(file, label) + " is " + ByteSizeText(size) + ", larger than any registry file (the limit is " +
           ByteSizeText(HiveSizeCeiling()) + ")" + kWontTouch;
}

HiveFileContent OpenHiveFile(const std::filesystem::path& file, const std::string& label) {
    HiveFileContent r;
    const std::string wontTouch = kWontTouch;
    if (::stat(file.c_str(), &r.info) != 0) {
        int err = errno;
        if (err == ENOENT) return r;  // no file (or a link to nothing): an empty branch
        return Refuse(std::move(r), Named(file, label) + " cannot be read: " + std::strerror(err) + wontTouch);
    }
    // Decide on the type before opening, so that no device is even opened.
    if (!S_ISREG(r.info.st_mode))
        return Refuse(std::move(r), Named(file, label) + " is not a regular file (it is " + FileKindText(r.info.st_mode) + ")" +
                             wontTouch);
    // Non-blocking, so that a file swapped for a FIFO meanwhile does not hang the open.
    int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return Refuse(std::move(r), Named(file, label) + " cannot be read: " + std::strerror(errno) + wontTouch);
    OwnedFd owned(fd);
    if (::fstat(fd, &r.info) != 0)
        return Refuse(std::move(r), Named(file, label) + " cannot be read: " + std::strerror(errno) + wontTouch);
    if (!S_ISREG(r.info.st_mode))
        return Refuse(std::move(r), Named(file, label) + " is not a regular file (it is " + FileKindText(r.info.st_mode) + ")" +
                             wontTouch);
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);

    if (static_cast<uint64_t>(r.info.st_size) > HiveSizeCeiling())
        return Refuse(std::move(r), HiveTooLargeText(file, label, static_cast<uint64_t>(r.info.st_size)));
    if (r.info.st_size == 0)
        return Refuse(std::move(r), Named(file, label) +
                             " is empty (0 bytes), so it is not a usable registry: Wine does not load it and never "
                             "saves that branch while it runs. Quorvane will not write it either.");
    r.fd = std::move(owned);
    r.state = HiveFileContent::State::Read;
    return r;
}

HiveFileContent ReadHiveFile(const std::filesystem::path& file, const std::string& label) {
    HiveFileContent r = OpenHiveFile(file, label);
    if (r.state != HiveFileContent::State::Read) return r;
    const uint64_t ceiling = HiveSizeCeiling();
    r.text.reserve(static_cast<size_t>(r.info.st_size));
    char buf[1 << 16];
    for (;;) {
        ssize_t n = ::read(r.fd.Get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Refuse(std::move(r), Named(file, label) + " cannot be read: " + std::strerror(errno) + kWontTouch);
        }
        if (n == 0) break;
        // A file that grows while we read it may not outgrow the ceiling either.
        if (r.text.size() + static_cast<size_t>(n) > ceiling)
            return Refuse(std::move(r), HiveTooLargeText(file, label, r.text.size() + static_cast<size_t>(n)));
        r.text.append(buf, static_cast<size_t>(n));
    }
    r.fd = OwnedFd();
    return r;
}

}  // namespace qv
