#include "menus/menu_clean.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "menus/menu_archive.h"
#include "platform/registry/atomic_file.h"

extern char** environ;

namespace fs = std::filesystem;

namespace menus {

namespace {

bool SameFile(const ArchivedFile& a, const ArchivedFile& b) {
    return a.content == b.content && a.mode == b.mode && a.mtime.tv_sec == b.mtime.tv_sec &&
           a.mtime.tv_nsec == b.mtime.tv_nsec;
}

// Runs a database tool of the desktop on `folder` when it is installed; quietly nothing
// otherwise (the desktop then rereads the folder itself).
void RunTool(const char* tool, const fs::path& folder) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return;
    std::string program = tool, arg = folder.string();
    char* argv[] = {program.data(), arg.data(), nullptr};
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) return;
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int error = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) return;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

void UpdateDatabases(const MenuHome& home, const std::vector<fs::path>& changed) {
    bool desktop = false, mime = false;
    for (const fs::path& p : changed) {
        const std::string name = p.filename().string();
        if (name.size() > 8 && name.compare(name.size() - 8, 8, ".desktop") == 0) desktop = true;
        if (p.parent_path() == home.MimePackages()) mime = true;
    }
    if (desktop) RunTool("update-desktop-database", home.Applications());
    if (mime) RunTool("update-mime-database", home.MimePackages().parent_path());
}

std::string TimeTag(std::time_t now) {
    char text[32] = {};
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

// True when no folder on the way from `home` to `target` is a link (a restore never writes
// through one) and each that exists is a folder.
bool PlainWay(const fs::path& home, const fs::path& target) {
    fs::path at = home;
    const fs::path rel = target.lexically_relative(home);
    auto last = std::prev(rel.end());
    for (auto it = rel.begin(); it != last; ++it) {
        at /= *it;
        std::error_code ec;
        const fs::file_status st = fs::symlink_status(at, ec);
        if (st.type() == fs::file_type::not_found) return true;
        if (st.type() != fs::file_type::directory) return false;
    }
    return true;
}

bool WriteExactly(const fs::path& target, const ArchivedFile& f, std::string& why) {
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    size_t done = 0;
    bool ok = true;
    while (ok && done < f.content.size()) {
        const ssize_t n = ::write(fd, f.content.data() + done, f.content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<size_t>(n);
    }
    const timespec times[2] = {f.mtime, f.mtime};
    ok = ok && ::fchmod(fd, f.mode) == 0 && ::futimens(fd, times) == 0 && ::fsync(fd) == 0;
    if (!ok) why = std::strerror(errno);
    ::close(fd);
    if (!ok) ::unlink(target.c_str());
    return ok;
}

}  // namespace

fs::path MenuBackupFolder(const MenuHome& home) { return home.dataHome / "quorvane" / "menu-backups"; }

MenuCleanResult CleanMenuFiles(const MenuHome& home, const std::vector<StaleMenuFile>& files, std::time_t now) {
    MenuCleanResult result;
    std::vector<ArchivedFile> taken;
    std::vector<fs::path> paths;
    for (const StaleMenuFile& s : files) {
        if (std::find(paths.begin(), paths.end(), s.path) != paths.end()) continue;
        std::optional<ArchivedFile> f = home.Holds(s.path) ? TakeFile(home.home, s.path) : std::nullopt;
        if (!f) {
            result.notes.push_back(s.path.string() + " was left alone: it is not a readable file of the home folder.");
            continue;
        }
        taken.push_back(std::move(*f));
        paths.push_back(s.path);
    }
    if (taken.empty()) {
        result.error = "There is nothing to remove.";
        return result;
    }
    const fs::path folder = MenuBackupFolder(home);
    fs::path archive = folder / ("menu-entries-" + TimeTag(now) + ".tar");
    for (int n = 2; fs::exists(fs::symlink_status(archive)); ++n)
        archive = folder / ("menu-entries-" + TimeTag(now) + "-" + std::to_string(n) + ".tar");
    if (!WriteMenuArchive(archive, taken, result.error)) return result;
    result.ok = true;
    result.archive = archive;
    for (size_t i = 0; i < taken.size(); ++i) {
        // A file that changed since it was archived is not the one the archive holds.
        std::optional<ArchivedFile> now = TakeFile(home.home, paths[i]);
        if (!now || !SameFile(*now, taken[i])) {
            result.notes.push_back(paths[i].string() + " was left alone: it changed while the clean ran.");
            continue;
        }
        if (::unlink(paths[i].c_str()) != 0) {
            result.notes.push_back(paths[i].string() + " could not be removed: " + std::strerror(errno) + ".");
            continue;
        }
        result.removed.push_back(paths[i]);
    }
    UpdateDatabases(home, result.removed);
    return result;
}

MenuRestoreResult RestoreMenuFiles(const MenuHome& home, const fs::path& archive) {
    MenuRestoreResult result;
    std::string why;
    std::optional<std::vector<ArchivedFile>> files = ReadMenuArchive(archive, why);
    if (!files) {
        result.error = "The archive " + archive.string() + " cannot be restored: " + why;
        return result;
    }
    result.ok = true;
    for (const ArchivedFile& f : *files) {
        const fs::path target = (home.home / f.name).lexically_normal();
        if (!home.Holds(target) || !PlainWay(home.home, target)) {
            result.refused.push_back(target.string() + ": not a place Quorvane restores to (outside the menu folders, or reached through a link).");
            result.ok = false;
            continue;
        }
        std::error_code ec;
        const fs::file_status st = fs::symlink_status(target, ec);
        if (st.type() != fs::file_type::not_found) {
            std::optional<ArchivedFile> there = TakeFile(home.home, target);
            if (there && there->content == f.content) continue;  // back already
            result.refused.push_back(target.string() + ": a different file is there now; it was left as it is.");
            result.ok = false;
            continue;
        }
        if (!WriteExactly(target, f, why)) {
            result.refused.push_back(target.string() + ": could not be written (" + why + ").");
            result.ok = false;
            continue;
        }
        result.restored.push_back(target);
    }
    if (!result.restored.empty()) qv::SyncFolder(home.home);
    UpdateDatabases(home, result.restored);
    return result;
}

std::vector<fs::path> ListMenuArchives(const MenuHome& home) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (fs::directory_iterator it(MenuBackupFolder(home), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind("menu-entries-", 0) == 0 && it->path().extension() == ".tar" &&
            it->symlink_status(ec).type() == fs::file_type::regular)
            out.push_back(it->path());
    }
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace menus
