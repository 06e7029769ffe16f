// Quorvane processes take turns at a prefix's registry files.
//
// A writer holds this lock from the moment it checks whether the files changed until its
// renames are done, and a reader holds it while it reads the files, so that two Quorvane
// processes never lose each other's changes and a reader never sees half of a change that
// spans several files. The lock is an flock(2) lock on the file ".quorvane-lock" in the
// prefix (made with mode 0600 when missing); not on the registry files themselves, since
// each save replaces them by rename. The kernel drops it when its holder ends in any way.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

namespace qv {

inline constexpr const char* kPrefixLockFileName = ".quorvane-lock";

// How long a process waits for another one to finish its save (30 s unless changed).
std::chrono::milliseconds PrefixLockWait();
void SetPrefixLockWait(std::chrono::milliseconds wait);

// Called (from the waiting thread) once each time a process starts waiting for the lock,
// with a message for the user. By default the message goes to standard error; an empty
// function silences it.
void SetPrefixLockWaitNotice(std::function<void(const std::string& message)> notice);

class PrefixLock {
public:
    // Waits up to `wait` for the lock of `prefix`.
    PrefixLock(const std::filesystem::path& prefix, std::chrono::milliseconds wait);
    explicit PrefixLock(const std::filesystem::path& prefix) : PrefixLock(prefix, PrefixLockWait()) {}
    ~PrefixLock();
    PrefixLock(const PrefixLock&) = delete;
    PrefixLock& operator=(const PrefixLock&) = delete;

    bool Acquired() const { return acquired_; }
    // True when another process held the lock for the whole wait.
    bool TimedOut() const { return timedOut_; }
    // Why the lock was not taken (empty when it was), as a sentence for the user.
    const std::string& Error() const { return error_; }

private:
    int fd_ = -1;
    bool acquired_ = false;
    bool timedOut_ = false;
    std::string error_;
};

}  // namespace qv
