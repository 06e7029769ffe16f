// Finding a wineserver that serves a prefix, and holding its lock while we write.
//
// A running wineserver keeps the registry in memory and overwrites the files with its next
// save, so the files may only be changed while none runs. Wine's server holds a POSIX
// record lock on byte 0 of the file "lock" in its server folder for its whole life; we
// test that lock, and take it ourselves while writing so that Wine cannot start meanwhile.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace qv {

struct WineServerStatus {
    bool running = false;
    long pid = 0;            // 0 when not known
    std::string where;       // the lock file or process that showed it
};

// Looks for a wineserver of the prefix: its lock in every place Wine may put its server
// folder, and a wineserver process that has the prefix open.
WineServerStatus FindWineServer(const std::filesystem::path& prefix);

// The lock files Wine may use for this prefix (those that exist).
std::vector<std::filesystem::path> WineServerLockFiles(const std::filesystem::path& prefix);

// Holds Wine's server lock(s) of a prefix for its lifetime. Uses open-file-description
// locks, which conflict with Wine's POSIX locks but are not dropped when some other
// descriptor of the same file is closed elsewhere in the process.
class WineServerGuard {
public:
    explicit WineServerGuard(const std::filesystem::path& prefix);
    ~WineServerGuard();
    WineServerGuard(const WineServerGuard&) = delete;
    WineServerGuard& operator=(const WineServerGuard&) = delete;

    // False when a wineserver runs (or holds its lock); `Status()` says which.
    bool Acquired() const { return acquired_; }
    const WineServerStatus& Status() const { return status_; }

private:
    std::vector<int> fds_;
    bool acquired_ = false;
    WineServerStatus status_;
};

// The command that stops Wine for the prefix, quoted for a POSIX shell so that it can be
// pasted as it stands whatever the folder's name holds.
std::string StopWineCommand(const std::filesystem::path& prefix);

// The message shown when a write is refused because Wine runs for the prefix.
std::string WineRunningMessage(const std::filesystem::path& prefix, const WineServerStatus& status);

}  // namespace qv
