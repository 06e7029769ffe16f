#include "platform/prefix/prefix_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <thread>

namespace qv {

namespace {

std::mutex g_settingsMutex;
std::chrono::milliseconds g_wait{30000};
std::function<void(const std::string&)> g_notice = [](const std::string& message) {
    std::cerr << "quorvane: " << message << std::endl;
};

// The pid the holder wrote into the lock file, when that process still runs.
long HolderPid(int fd) {
    char buf[32] = {};
    ssize_t n = ::pread(fd, buf, sizeof buf - 1, 0);
    if (n <= 0) return 0;
    long pid = std::strtol(buf, nullptr, 10);
    if (pid <= 0 || pid == ::getpid()) return 0;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM ? pid : 0;
}

}  // namespace

std::chrono::milliseconds PrefixLockWait() {
    std::lock_guard<std::mutex> lock(g_settingsMutex);
    return g_wait;
}

void SetPrefixLockWait(std::chrono::milliseconds wait) {
    std::lock_guard<std::mutex> lock(g_settingsMutex);
    g_wait = wait;
}

void SetPrefixLockWaitNotice(std::function<void(const std::string&)> notice) {
    std::lock_guard<std::mutex> lock(g_settingsMutex);
    g_notice = std::move(notice);
}

PrefixLock::PrefixLock(const std::filesystem::path& prefix, std::chrono::milliseconds wait) {
    const std::filesystem::path file = prefix / kPrefixLockFileName;
    // Never through a link: the lock file is ours, and a planted link must not make us
    // create or truncate a file elsewhere.
    bool writable = true;
    fd_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd_ < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        writable = false;
        fd_ = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    }
    if (fd_ < 0) {
        error_ = "Cannot create the lock file " + file.string() + " (" + std::strerror(errno) +
                 "), which Quorvane holds while it saves the prefix.";
        return;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        error_ = "The lock file " + file.string() + " is not a regular file.";
        ::close(fd_);
        fd_ = -1;
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + wait;
    bool noticed = false;
    for (;;) {
        if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) break;
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) {
            error_ = "Cannot lock " + file.string() + ": " + std::strerror(errno) + ".";
            return;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            timedOut_ = true;
            long pid = HolderPid(fd_);
            error_ = "Another Quorvane process" + (pid ? " (process " + std::to_string(pid) + ")" : std::string()) +
                     " has been saving the prefix " + prefix.string() + " for more than " +
                     std::to_string(wait.count() / 1000) + " seconds, so Quorvane did not wait any longer.";
            return;
        }
        if (!noticed) {
            noticed = true;
            std::function<void(const std::string&)> notice;
            {
                std::lock_guard<std::mutex> lock(g_settingsMutex);
                notice = g_notice;
            }
            if (notice) notice("Waiting for another Quorvane process that is saving this prefix...");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    acquired_ = true;
    if (writable) {
        // Who holds it, for the message of a process that gives up waiting.
        std::string pid = std::to_string(::getpid()) + "\n";
        if (::ftruncate(fd_, 0) == 0) (void)!::pwrite(fd_, pid.data(), pid.size(), 0);
    }
}

PrefixLock::~PrefixLock() {
    if (fd_ >= 0) ::close(fd_);  // closing drops the flock lock
}

}  // namespace qv
