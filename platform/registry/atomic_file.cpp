#include "platform/registry/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace qv {

namespace fs = std::filesystem;

namespace {

std::mutex g_hookMutex;
std::function<bool(const fs::path&, size_t)> g_writeHook;
std::function<int(const fs::path&)> g_renameHook;
std::atomic<unsigned> g_counter{0};

std::string Describe(const std::string& what, const fs::path& p, int err) {
    return what + " " + p.string() + ": " + std::strerror(err);
}

fs::path FolderOf(const fs::path& p) { return p.parent_path().empty() ? fs::path(".") : p.parent_path(); }

}  // namespace

void SetWriteFaultHook(std::function<bool(size_t)> hook) {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    if (hook)
        g_writeHook = [hook = std::move(hook)](const fs::path&, size_t written) { return hook(written); };
    else
        g_writeHook = nullptr;
}

void SetFileWriteFaultHook(std::function<bool(const fs::path&, size_t)> hook) {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_writeHook = std::move(hook);
}

void SetRenameFaultHook(std::function<int(const fs::path&)> hook) {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_renameHook = std::move(hook);
}

fs::path FollowFileLinks(const fs::path& target) {
    fs::path real = target;
    std::error_code ec;
    // Follow symbolic links so that the link stays and the file it names is replaced.
    for (int i = 0; i < 40 && fs::is_symlink(real, ec); ++i) {
        fs::path next = fs::read_symlink(real, ec);
        if (ec) break;
        real = next.is_absolute() ? next : FolderOf(real) / next;
    }
    return real;
}

std::string TemporaryFileName(const std::string& targetName, pid_t pid, unsigned n, const char* suffix) {
    return "." + targetName + ".quorvane-" + std::to_string(pid) + "-" + std::to_string(n) + "." + suffix;
}

bool ParseTemporaryFileName(const std::string& name, std::string* targetName, pid_t* pid, std::string* suffix) {
    // ".<target>.quorvane-<pid>-<n>.<tmp|old>"
    if (name.size() < 2 || name[0] != '.') return false;
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return false;
    std::string sfx = name.substr(dot + 1);
    if (sfx != "tmp" && sfx != "old") return false;
    size_t tag = name.rfind(".quorvane-", dot);
    if (tag == std::string::npos || tag < 2) return false;
    std::string numbers = name.substr(tag + 10, dot - tag - 10);
    size_t dash = numbers.find('-');
    if (dash == std::string::npos || dash == 0 || dash + 1 == numbers.size() || numbers.size() > 40) return false;
    for (size_t i = 0; i < numbers.size(); ++i)
        if (i != dash && (numbers[i] < '0' || numbers[i] > '9')) return false;
    long long p = std::atoll(numbers.substr(0, dash).c_str());
    if (p <= 0 || p > 0x7fffffff) return false;
    *targetName = name.substr(1, tag - 1);
    *pid = static_cast<pid_t>(p);
    *suffix = sfx;
    return true;
}

StagedFileWriter::StagedFileWriter(const fs::path& target) {
    staged_.target = FollowFileLinks(target);
    const fs::path& real = staged_.target;

    struct stat st {};
    staged_.targetExisted = ::stat(real.c_str(), &st) == 0;
    fs::path dir = FolderOf(real);
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        staged_.temporary = dir / TemporaryFileName(real.filename().string(), ::getpid(), g_counter++);
        fd_ = ::open(staged_.temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        // A name left by an earlier process with the same pid: take the next one.
        if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) throw FileWriteError(Describe("Cannot create a file in", dir, errno));
    if (staged_.targetExisted) (void)::fchmod(fd_, st.st_mode & 07777);
    std::lock_guard<std::mutex> lock(g_hookMutex);
    hook_ = g_writeHook;
}

StagedFileWriter::~StagedFileWriter() {
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(staged_.temporary.c_str());
    }
}

void StagedFileWriter::Fail(const std::string& what, int err) {
    ::close(fd_);
    fd_ = -1;
    ::unlink(staged_.temporary.c_str());
    throw FileWriteError(Describe(what, staged_.target, err));
}

void StagedFileWriter::Write(std::string_view bytes) {
    if (fd_ < 0) throw FileWriteError(Describe("Cannot write", staged_.target, EBADF));
    const size_t chunk = 1 << 20;
    size_t done = 0;
    while (done < bytes.size()) {
        if (hook_ && !hook_(staged_.target, written_)) Fail("Cannot write", ENOSPC);
        size_t n = std::min(chunk, bytes.size() - done);
        ssize_t w = ::write(fd_, bytes.data() + done, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            Fail("Cannot write", errno);
        }
        done += static_cast<size_t>(w);
        written_ += static_cast<size_t>(w);
    }
}

StagedFile StagedFileWriter::Finish() {
    if (fd_ < 0) throw FileWriteError(Describe("Cannot write", staged_.target, EBADF));
    if (hook_ && !hook_(staged_.target, written_)) Fail("Cannot write", ENOSPC);
    if (::fsync(fd_) != 0) Fail("Cannot flush", errno);
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(staged_.temporary.c_str());
        throw FileWriteError(Describe("Cannot write", staged_.target, err));
    }
    return staged_;
}

StagedFile StageFile(const fs::path& target, std::string_view content) {
    StagedFileWriter writer(target);
    writer.Write(content);
    return writer.Finish();
}

void ReplaceWithStaged(const StagedFile& staged) {
    std::function<int(const fs::path&)> hook;
    {
        std::lock_guard<std::mutex> lock(g_hookMutex);
        hook = g_renameHook;
    }
    int injected = hook ? hook(staged.target) : 0;
    if (injected != 0) throw FileWriteError(Describe("Cannot replace", staged.target, injected));
    if (::rename(staged.temporary.c_str(), staged.target.c_str()) != 0)
        throw FileWriteError(Describe("Cannot replace", staged.target, errno));
}

void DiscardStaged(const StagedFile& staged) {
    if (!staged.temporary.empty()) ::unlink(staged.temporary.c_str());
}

bool SyncFolder(const fs::path& folder) {
    int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0) return false;
    bool ok = ::fsync(dfd) == 0;
    ::close(dfd);
    return ok;
}

void WriteFileAtomically(const fs::path& target, std::string_view content) {
    WriteFileAtomically(target, [content](StagedFileWriter& w) { w.Write(content); });
}

StagedFile StageFile(const fs::path& target, const ContentProducer& write) {
    StagedFileWriter writer(target);
    write(writer);
    return writer.Finish();
}

void WriteFileAtomically(const fs::path& target, const ContentProducer& write) {
    StagedFile staged = StageFile(target, write);
    try {
        ReplaceWithStaged(staged);
    } catch (...) {
        DiscardStaged(staged);
        throw;
    }
    SyncFolder(FolderOf(staged.target));
}

}  // namespace qv
