#include "backup/backup_file_publish.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace qv {

namespace fs = std::filesystem;

namespace {

const char kTempTag[] = ".quorvane-backup-";
std::atomic<unsigned> g_counter{0};

bool FlushPath(const fs::path& p, int flags) {
    int fd = ::open(p.c_str(), flags | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

// rename() that fails with EEXIST instead of replacing; link()+unlink() on file systems
// without the flag.
int RenameNoReplace(const fs::path& from, const fs::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    if (::link(from.c_str(), to.c_str()) != 0) return -1;
    ::unlink(from.c_str());
    return 0;
}

bool ProcessGone(long pid) { return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH; }

}  // namespace

fs::path BackupTempPath(const fs::path& folder, const std::string& finalName) {
    return folder / ("." + finalName + kTempTag + std::to_string(::getpid()) + "-" + std::to_string(g_counter++) +
                     ".tmp");
}

bool PublishBackupFile(const fs::path& temp, const fs::path& wanted, fs::path& published, std::string& error) {
    if (!FlushPath(temp, O_RDONLY)) {
        error = "the backup file " + temp.string() + " could not be written to disk: " + std::strerror(errno);
        ::unlink(temp.c_str());
        return false;
    }
    std::string stem = wanted.stem().string();
    std::string ext = wanted.extension().string();
    for (int n = 1; n < 1000; ++n) {
        fs::path candidate = n == 1 ? wanted : wanted.parent_path() / (stem + " (" + std::to_string(n) + ")" + ext);
        if (RenameNoReplace(temp, candidate) == 0) {
            FlushPath(candidate.parent_path(), O_RDONLY | O_DIRECTORY);
            published = candidate;
            return true;
        }
        if (errno != EEXIST) {
            error = "the backup file " + candidate.string() + " could not be made: " + std::strerror(errno);
            ::unlink(temp.c_str());
            return false;
        }
    }
    error = "there are too many backups named " + wanted.string();
    ::unlink(temp.c_str());
    return false;
}

void RemoveStaleBackupTemps(const fs::path& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    int fd = ::dirfd(dir);
    while (dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        size_t tag = name.rfind(kTempTag);
        if (name.empty() || name[0] != '.' || tag == std::string::npos || name.size() < 4 ||
            name.compare(name.size() - 4, 4, ".tmp") != 0)
            continue;
        long pid = std::strtol(name.c_str() + tag + sizeof kTempTag - 1, nullptr, 10);
        if (ProcessGone(pid)) ::unlinkat(fd, name.c_str(), 0);
    }
    ::closedir(dir);
}

}  // namespace qv
