#include "platform/prefix/wineserver_guard.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/text/shell_word.h"

namespace qv {

namespace fs = std::filesystem;

namespace {

std::string ServerFolderName(const fs::path& prefix) {
    std::string p = prefix.string();
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0) return {};
    char buf[64];
    std::snprintf(buf, sizeof buf, "server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    return buf;
}

std::vector<fs::path> CandidateServerFolders(const fs::path& prefix) {
    std::vector<fs::path> out;
    std::string name = ServerFolderName(prefix);
    if (name.empty()) return out;
    std::string uid = std::to_string(::getuid());
    out.push_back(fs::path("/run/user") / uid / "wine" / name);
    std::ifstream tag(prefix / "wineserver");
    std::string tmpName;
    if (tag && std::getline(tag, tmpName) && !tmpName.empty() && tmpName.find('/') == std::string::npos) {
        const char* tmpdir = std::getenv("TMPDIR");
        if (tmpdir && *tmpdir) out.push_back(fs::path(tmpdir) / tmpName / name);
        out.push_back(fs::path("/tmp") / tmpName / name);
    }
    out.push_back(fs::path("/tmp") / (".wine-" + uid) / name);
    return out;
}

// A wineserver process whose open files include the prefix folder.
WineServerStatus FindServerProcess(const fs::path& prefix) {
    WineServerStatus s;
    struct stat pst {};
    if (::stat(prefix.c_str(), &pst) != 0) return s;
    DIR* proc = ::opendir("/proc");
    if (!proc) return s;
    while (dirent* e = ::readdir(proc)) {
        char* end;
        long pid = std::strtol(e->d_name, &end, 10);
        if (*end || pid <= 0) continue;
        std::string base = std::string("/proc/") + e->d_name;
        char exe[4096];
        ssize_t n = ::readlink((base + "/exe").c_str(), exe, sizeof exe - 1);
        if (n <= 0) continue;
        exe[n] = 0;
        const char* slash = std::strrchr(exe, '/');
        if (std::strncmp(slash ? slash + 1 : exe, "wineserver", 10) != 0) continue;
        DIR* fds = ::opendir((base + "/fd").c_str());
        if (!fds) continue;
        while (dirent* f = ::readdir(fds)) {
            struct stat fst {};
            if (f->d_name[0] == '.') continue;
            if (::stat((base + "/fd/" + f->d_name).c_str(), &fst) == 0 && S_ISDIR(fst.st_mode) &&
                fst.st_dev == pst.st_dev && fst.st_ino == pst.st_ino) {
                s.running = true;
                s.pid = pid;
                s.where = exe;
                break;
            }
        }
        ::closedir(fds);
        if (s.running) break;
    }
    ::closedir(proc);
    return s;
}

bool LockHeld(int fd, long* pid) {
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 1;
    if (::fcntl(fd, F_GETLK, &fl) != 0) return false;
    if (fl.l_type == F_UNLCK) return false;
    *pid = fl.l_pid > 0 ? fl.l_pid : 0;
    return true;
}

}  // namespace

std::vector<fs::path> WineServerLockFiles(const fs::path& prefix) {
    std::vector<fs::path> out;
    for (const fs::path& dir : CandidateServerFolders(prefix)) {
        std::error_code ec;
        if (fs::is_regular_file(dir / "lock", ec)) out.push_back(dir / "lock");
    }
    return out;
}

WineServerStatus FindWineServer(const fs::path& prefix) {
    for (const fs::path& lock : WineServerLockFiles(prefix)) {
        int fd = ::open(lock.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        long pid = 0;
        bool held = LockHeld(fd, &pid);
        ::close(fd);
        if (held) return WineServerStatus{true, pid, lock.string()};
    }
    return FindServerProcess(prefix);
}

WineServerGuard::WineServerGuard(const fs::path& prefix) {
    for (const fs::path& lock : WineServerLockFiles(prefix)) {
        int fd = ::open(lock.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            // Not ours to lock (another user's folder): we can still see whether it is held.
            fd = ::open(lock.c_str(), O_RDONLY | O_CLOEXEC);
            long pid = 0;
            if (fd >= 0 && LockHeld(fd, &pid)) status_ = WineServerStatus{true, pid, lock.string()};
            if (fd >= 0) ::close(fd);
            if (status_.running) return;
            continue;
        }
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = 0;
        fl.l_len = 1;
        if (::fcntl(fd, F_OFD_SETLK, &fl) != 0) {
            long pid = 0;
            LockHeld(fd, &pid);
            ::close(fd);
            status_ = WineServerStatus{true, pid, lock.string()};
            return;
        }
        fds_.push_back(fd);
    }
    WineServerStatus proc = FindServerProcess(prefix);
    if (proc.running) {
        status_ = proc;
        return;
    }
    acquired_ = true;
}

WineServerGuard::~WineServerGuard() {
    for (int fd : fds_) ::close(fd);
}

std::string WineRunningMessage(const fs::path& prefix, const WineServerStatus& status) {
    std::ostringstream m;
    m << "Wine is running in the prefix " << prefix.string();
    if (status.pid) m << " (wineserver process " << status.pid << ")";
    m << ". While it runs, Wine keeps its own copy of the registry and would overwrite any "
         "change. Nothing was changed. Close the prefix's Windows programs, or stop Wine with: "
      << StopWineCommand(prefix) << "  -- then try again.";
    return m.str();
}

std::string StopWineCommand(const fs::path& prefix) {
    return "WINEPREFIX=" + ShellWord(prefix.string()) + " wineserver -k";
}

}  // namespace qv
