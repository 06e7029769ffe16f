#include "platform/registry/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

namespace qv {

namespace {

std::mutex g_hookMutex;
std::function<bool(size_t)> g_hook;
std::atomic<unsigned> g_counter{0};

std::string Describe(const std::string& what, const std::filesystem::path& p, int err) {
    return what + " " + p.string() + ": " + std::strerror(err);
}

}  // namespace

void SetWriteFaultHook(std::function<bool(size_t)> hook) {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_hook = std::move(hook);
}

void WriteFileAtomically(const std::filesystem::path& target, std::string_view content) {
    namespace fs = std::filesystem;
    fs::path real = target;
    std::error_code ec;
    // Follow symbolic links so that the link stays and the file it names is replaced.
    for (int i = 0; i < 40 && fs::is_symlink(real, ec); ++i) {
        fs::path next = fs::read_symlink(real, ec);
        if (ec) break;
        real = next.is_absolute() ? next : real.parent_path() / next;
    }

    struct stat st {};
    bool exists = ::stat(real.c_str(), &st) == 0;
    fs::path dir = real.parent_path().empty() ? fs::path(".") : real.parent_path();
    fs::path tmp = dir / ("." + real.filename().string() + ".quorvane-" + std::to_string(::getpid()) + "-" +
                          std::to_string(g_counter++) + ".tmp");

    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) throw FileWriteError(Describe("Cannot create a file in", dir, errno));
    auto fail = [&](const std::string& what, int err) {
        ::close(fd);
        ::unlink(tmp.c_str());
        throw FileWriteError(Describe(what, real, err));
    };
    if (exists) (void)::fchmod(fd, st.st_mode & 07777);

    std::function<bool(size_t)> hook;
    {
        std::lock_guard<std::mutex> lock(g_hookMutex);
        hook = g_hook;
    }
    size_t done = 0;
    const size_t chunk = 1 << 20;
    while (done < content.size()) {
        if (hook && !hook(done)) fail("Cannot write", ENOSPC);
        size_t n = std::min(chunk, content.size() - done);
        ssize_t w = ::write(fd, content.data() + done, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            fail("Cannot write", errno);
        }
        done += static_cast<size_t>(w);
    }
    if (hook && !hook(done)) fail("Cannot write", ENOSPC);
    if (::fsync(fd) != 0) fail("Cannot flush", errno);
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        throw FileWriteError(Describe("Cannot write", real, err));
    }
    if (::rename(tmp.c_str(), real.c_str()) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        throw FileWriteError(Describe("Cannot replace", real, err));
    }
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        (void)::fsync(dfd);
        ::close(dfd);
    }
}

}  // namespace qv
