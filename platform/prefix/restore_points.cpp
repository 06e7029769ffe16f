#include "platform/prefix/restore_points.h"

#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <fstream>
#include <sstream>

#include "platform/prefix/prefix_lock.h"
#include "platform/prefix/wineserver_guard.h"
#include "platform/registry/atomic_file.h"
#include "platform/registry/file_set_commit.h"
#include "platform/registry/hive_file_reader.h"

namespace qv {

namespace fs = std::filesystem;

namespace {

const char* const kFiles[] = {"system.reg", "user.reg", "userdef.reg"};

std::string ReadAll(const fs::path& p, bool* ok) {
    std::ifstream in(p, std::ios::binary);
    *ok = static_cast<bool>(in);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Writes the snapshot under the lock already held.
bool Snapshot(const fs::path& prefix, const std::string& description, RestorePoint& created, std::string& error) {
    std::vector<RestorePoint> existing = ListRestorePoints(prefix);
    int64_t sequence = existing.empty() ? 1 : existing.back().sequence + 1;
    fs::path folder = RestorePointFolder(prefix) / std::to_string(sequence);
    fs::path partial = RestorePointFolder(prefix) / ("." + std::to_string(sequence) + ".partial");
    std::error_code ec;
    fs::remove_all(partial, ec);
    fs::create_directories(partial, ec);
    if (ec) {
        error = "Cannot create " + partial.string() + ": " + ec.message();
        return false;
    }
    try {
        for (const char* f : kFiles) {
            // Only regular files of a sane size (a link to /dev/zero must not fill memory).
            HiveFileContent file = ReadHiveFile(prefix / f, f);
            if (file.state == HiveFileContent::State::Missing) continue;
            // An empty file is no registry, but the snapshot keeps it as it is.
            bool empty = S_ISREG(file.info.st_mode) && file.info.st_size == 0;
            if (file.state == HiveFileContent::State::Refused && !empty) throw FileWriteError(file.problem);
            WriteFileAtomically(partial / f, file.text);
        }
        std::ostringstream info;
        int64_t now = static_cast<int64_t>(std::time(nullptr));
        info << "sequence=" << sequence << "\ntime=" << now << "\ndescription=" << description << "\n";
        WriteFileAtomically(partial / "info.txt", info.str());
        created = RestorePoint{sequence, description, now, folder};
    } catch (const FileWriteError& e) {
        fs::remove_all(partial, ec);
        error = e.what();
        return false;
    }
    // The numbered folder appears only once it is complete.
    fs::rename(partial, folder, ec);
    if (ec) {
        fs::remove_all(partial, ec);
        error = "Cannot finish the restore point in " + folder.string();
        return false;
    }
    return true;
}

}  // namespace

fs::path RestorePointFolder(const fs::path& prefix) { return prefix / "quorvane-restore-points"; }

std::vector<RestorePoint> ListRestorePoints(const fs::path& prefix) {
    std::vector<RestorePoint> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(RestorePointFolder(prefix), ec)) {
        std::string name = e.path().filename().string();
        if (name.empty() || !std::all_of(name.begin(), name.end(), ::isdigit) || name.size() > 18) continue;
        RestorePoint p;
        p.sequence = std::stoll(name);
        p.folder = e.path();
        std::ifstream info(e.path() / "info.txt");
        std::string line;
        while (std::getline(info, line)) {
            if (line.rfind("time=", 0) == 0) p.time = std::atoll(line.c_str() + 5);
            if (line.rfind("description=", 0) == 0) p.description = line.substr(12);
        }
        out.push_back(p);
    }
    std::sort(out.begin(), out.end(), [](const RestorePoint& a, const RestorePoint& b) { return a.sequence < b.sequence; });
    return out;
}

bool CreatePrefixRestorePoint(const fs::path& prefix, const std::string& description, RestorePoint& created,
                              std::string& error) {
    PrefixLock lock(prefix);  // no Quorvane process is halfway through saving meanwhile
    if (!lock.Acquired()) {
        error = lock.Error();
        return false;
    }
    WineServerGuard guard(prefix);
    if (!guard.Acquired()) {
        error = WineRunningMessage(prefix, guard.Status());
        return false;
    }
    return Snapshot(prefix, description, created, error);
}

bool RollBackToRestorePoint(const fs::path& prefix, int64_t sequence, RestorePoint& saved, std::string& error) {
    std::vector<RestorePoint> points = ListRestorePoints(prefix);
    auto it = std::find_if(points.begin(), points.end(), [&](const RestorePoint& p) { return p.sequence == sequence; });
    if (it == points.end()) {
        error = "There is no restore point " + std::to_string(sequence) + " in " + RestorePointFolder(prefix).string();
        return false;
    }
    PrefixLock lock(prefix);
    if (!lock.Acquired()) {
        error = lock.Error();
        return false;
    }
    WineServerGuard guard(prefix);
    if (!guard.Acquired()) {
        error = WineRunningMessage(prefix, guard.Status());
        return false;
    }
    // Read the whole snapshot before touching anything.
    std::vector<FileReplacement> files;
    for (const char* f : kFiles) {
        if (!fs::exists(it->folder / f)) continue;
        bool ok = false;
        std::string text = ReadAll(it->folder / f, &ok);
        if (!ok) {
            error = "Cannot read " + (it->folder / f).string();
            return false;
        }
        files.push_back({prefix / f, std::move(text), {}});
    }
    if (!Snapshot(prefix, "Before rolling back to restore point " + std::to_string(sequence), saved, error))
        return false;
    try {
        CommitFileSet(prefix, files);  // all files or none
    } catch (const FileWriteError& e) {
        error = std::string(e.what()) + ". The state before the rollback is kept as restore point " +
                std::to_string(saved.sequence) + ".";
        return false;
    }
    return true;
}

}  // namespace qv
