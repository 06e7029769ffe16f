#include "platform/registry/file_set_commit.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <sstream>

#include "platform/registry/hive_file_reader.h"

namespace qv {

namespace fs = std::filesystem;

namespace {

constexpr const char* kRecordHeader = "QUORVANE COMMIT RECORD 1";
constexpr off_t kMaxRecordBytes = 1 << 20;

std::mutex g_hookMutex;
std::function<void(size_t)> g_afterRename;

// The identity of a file, or "none" when it does not exist. Size and modification time
// are part of it: Wine writes a file with more than one name in place instead of replacing
// it, which keeps device and inode.
struct FileId {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    int64_t mtimeNs = 0;
    bool operator==(const FileId&) const = default;
};

FileId IdOf(const fs::path& p, bool followLinks = true) {
    struct stat st {};
    FileId id;
    if ((followLinks ? ::stat(p.c_str(), &st) : ::lstat(p.c_str(), &st)) != 0) return id;
    id.exists = true;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.size = st.st_size;
    id.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return id;
}

std::string IdText(const FileId& id) {
    if (!id.exists) return "none";
    char buf[128];
    std::snprintf(buf, sizeof buf, "%llx:%llx:%llx:%llx", static_cast<unsigned long long>(id.dev),
                  static_cast<unsigned long long>(id.ino), static_cast<unsigned long long>(id.size),
                  static_cast<unsigned long long>(id.mtimeNs));
    return buf;
}

bool ParseId(const std::string& s, FileId* id) {
    *id = {};
    if (s == "none") return true;
    unsigned long long dev = 0, ino = 0, size = 0, mtime = 0;
    char tail = 0;
    if (std::sscanf(s.c_str(), "%llx:%llx:%llx:%llx%c", &dev, &ino, &size, &mtime, &tail) != 4) return false;
    id->exists = true;
    id->dev = static_cast<dev_t>(dev);
    id->ino = static_cast<ino_t>(ino);
    id->size = static_cast<off_t>(size);
    id->mtimeNs = static_cast<int64_t>(mtime);
    return true;
}

// Record fields are separated by blanks: blanks, control characters and '%' are escaped.
std::string Escape(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c <= ' ' || c == '%' || c == 0x7f) {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

bool Unescape(const std::string& s, std::string* out) {
    out->clear();
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            *out += s[i];
            continue;
        }
        if (i + 2 >= s.size() || !std::isxdigit(static_cast<unsigned char>(s[i + 1])) ||
            !std::isxdigit(static_cast<unsigned char>(s[i + 2])))
            return false;
        *out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
        i += 2;
    }
    return true;
}

fs::path FolderOf(const fs::path& p) { return p.parent_path().empty() ? fs::path(".") : p.parent_path(); }

fs::path Absolute(const fs::path& p) {
    std::error_code ec;
    fs::path a = fs::absolute(p, ec);
    return (ec ? p : a).lexically_normal();
}

struct Entry {
    fs::path target;    // the real file (links followed), absolute
    std::string temp;   // name of the temporary, in the target's folder
    std::string kept;   // name of the kept old file, "-" when none could be made
    FileId oldId;       // the target before the change (exists=false: there was none)
    FileId tempId;      // the temporary (after the rename: the target)
    fs::path TempPath() const { return FolderOf(target) / temp; }
    fs::path KeptPath() const { return kept == "-" ? fs::path() : FolderOf(target) / kept; }
};

struct Record {
    bool forward = true;
    std::vector<Entry> entries;
};

std::string RecordText(const Record& r) {
    std::ostringstream out;
    out << kRecordHeader << "\n" << (r.forward ? "forward" : "back") << "\n";
    for (const Entry& e : r.entries) {
        out << "file " << Escape(e.target.string()) << "\n";
        out << "tmp " << Escape(e.temp) << " " << IdText(e.tempId) << "\n";
        out << "old " << Escape(e.kept) << " " << IdText(e.oldId) << "\n";
    }
    out << "end " << r.entries.size() << "\n";
    return out.str();
}

// Reads a record; false when there is none or it is not one we wrote (*present tells).
bool ReadRecord(const fs::path& file, Record* r, bool* present) {
    *present = false;
    int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        struct stat st {};
        *present = ::lstat(file.c_str(), &st) == 0;
        return false;
    }
    *present = true;
    struct stat st {};
    std::string text;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxRecordBytes) {
        text.resize(static_cast<size_t>(st.st_size));
        ssize_t n = ::pread(fd, text.data(), text.size(), 0);
        if (n != static_cast<ssize_t>(text.size())) text.clear();
    }
    ::close(fd);
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kRecordHeader) return false;
    if (!std::getline(in, line) || (line != "forward" && line != "back")) return false;
    r->forward = line == "forward";
    for (;;) {
        if (!std::getline(in, line)) return false;
        std::istringstream words(line);
        std::string word, a, b;
        words >> word;
        if (word == "end") {
            size_t n = 0;
            words >> n;
            return n == r->entries.size();
        }
        if (word != "file" || !(words >> a) || !(words >> b).fail()) return false;
        Entry e;
        std::string target;
        if (!Unescape(a, &target)) return false;
        e.target = target;
        std::string tl, ol;
        if (!std::getline(in, tl) || !std::getline(in, ol)) return false;
        std::istringstream tw(tl), ow(ol);
        std::string tword, tname, tid, oword, oname, oid;
        if (!(tw >> tword >> tname >> tid) || tword != "tmp") return false;
        if (!(ow >> oword >> oname >> oid) || oword != "old") return false;
        if (!Unescape(tname, &e.temp) || !Unescape(oname, &e.kept)) return false;
        if (!ParseId(tid, &e.tempId) || !ParseId(oid, &e.oldId)) return false;
        r->entries.push_back(std::move(e));
    }
}

// Writes the record durably: temporary, flush, rename, flush the folder.
void WriteRecord(const fs::path& folder, const Record& r) {
    StagedFile staged = StageFile(folder / kCommitRecordName, RecordText(r));
    try {
        ReplaceWithStaged(staged);
    } catch (...) {
        DiscardStaged(staged);
        throw;
    }
    if (!SyncFolder(folder)) throw FileWriteError("Cannot flush the folder " + folder.string());
}

void RemoveRecord(const fs::path& folder) {
    ::unlink((folder / kCommitRecordName).c_str());
    SyncFolder(folder);
}

// A name we would have given to a temporary ("tmp") or kept file ("old") of `target`.
bool IsOurName(const std::string& name, const fs::path& target, const char* suffix) {
    std::string targetName, sfx;
    pid_t pid = 0;
    return name.find('/') == std::string::npos &&
           ParseTemporaryFileName(name, &targetName, &pid, &sfx) && targetName == target.filename().string() &&
           sfx == suffix;
}

bool IsRegularFile(const fs::path& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Immutable or append-only files cannot be replaced nor given a second name.
bool IsImmutable(const fs::path& p) {
    int fd = ::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    int flags = 0;
    bool immutable = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL));
    ::close(fd);
    return immutable;
}


}  // namespace

bool ProcessExists(pid_t pid) {
    if (pid <= 0) return false;
    if (pid == ::getpid()) return true;
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

void SetAfterRenameHook(std::function<void(size_t)> hook) {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_afterRename = std::move(hook);
}

bool HasCommitRecord(const fs::path& recordFolder) {
    struct stat st {};
    return ::lstat((recordFolder / kCommitRecordName).c_str(), &st) == 0;
}

void CommitFileSet(const fs::path& recordFolder, const std::vector<FileReplacement>& files) {
    std::vector<StagedFile> staged;
    std::vector<Entry> entries;
    std::vector<const FileReplacement*> sources;  // per entry
    auto discardAll = [&]() {
        for (const StagedFile& s : staged) DiscardStaged(s);
        for (const Entry& e : entries)
            if (e.kept != "-") ::unlink(e.KeptPath().c_str());
    };

    // A record left by an interrupted change must be completed first (RecoverFileSetCommit):
    // writing ours would lose it.
    if (HasCommitRecord(recordFolder))
        throw FileSetCommitError("an earlier save was interrupted and has not been completed yet (" +
                                     (recordFolder / kCommitRecordName).string() + ")",
                                 files.empty() ? recordFolder : files.front().target, {});

    // 1. Stage every file.
    for (const FileReplacement& f : files) {
        fs::path real = Absolute(FollowFileLinks(f.target));
        struct stat st {};
        if (::stat(real.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            discardAll();
            throw FileSetCommitError(real.string() + " is " + FileKindText(st.st_mode) + ", not a regular file", f.target, {});
        }
        for (const Entry& e : entries) {
            FileId id = IdOf(real);
            if (e.target == real || (id.exists && id == e.oldId)) {
                discardAll();
                throw FileSetCommitError(f.target.string() + " is the same file as another registry file of the change",
                                         f.target, {});
            }
        }
        try {
            staged.push_back(f.produce ? StageFile(real, f.produce) : StageFile(real, f.content));
        } catch (const FileWriteError& e) {
            discardAll();
            throw FileSetCommitError(e.what(), f.target, {});
        }
        Entry e;
        e.target = real;
        e.temp = staged.back().temporary.filename().string();
        e.oldId = IdOf(real);
        e.tempId = IdOf(staged.back().temporary, false);
        e.kept = "-";
        entries.push_back(e);
        sources.push_back(&f);
    }

    // 2. Keep a second name of every existing target, so that it can be put back.
    for (size_t i = 0; i < entries.size(); ++i) {
        Entry& e = entries[i];
        if (!e.oldId.exists) continue;
        std::string kept = e.temp.substr(0, e.temp.size() - 3) + "old";
        fs::path keptPath = FolderOf(e.target) / kept;
        int r = ::link(e.target.c_str(), keptPath.c_str());
        if (r != 0 && errno == EEXIST) {
            // A leftover of an earlier process that had our pid.
            ::unlink(keptPath.c_str());
            r = ::link(e.target.c_str(), keptPath.c_str());
        }
        if (r == 0) {
            e.kept = kept;
            continue;
        }
        int err = errno;
        if (IsImmutable(e.target)) {
            discardAll();
            throw FileSetCommitError("Cannot replace " + e.target.string() + ": it is marked immutable or append-only",
                                     sources[i]->target, {});
        }
        (void)err;  // a file system without hard links: this file cannot be put back
    }
    // Files that cannot be put back are renamed last, so that a failure before them
    // changes nothing.
    std::vector<size_t> order(entries.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_partition(order.begin(), order.end(), [&](size_t i) { return entries[i].kept != "-" || !entries[i].oldId.exists; });

    std::set<fs::path> folders;
    for (const Entry& e : entries) folders.insert(FolderOf(e.target));
    for (const fs::path& d : folders) SyncFolder(d);

    // 3. The record: from here on the change counts as made.
    Record record;
    for (size_t i : order) record.entries.push_back(entries[i]);
    try {
        WriteRecord(recordFolder, record);
    } catch (const FileWriteError& e) {
        discardAll();
        ::unlink((recordFolder / kCommitRecordName).c_str());
        throw FileSetCommitError(std::string("Cannot write the commit record: ") + e.what(), recordFolder / kCommitRecordName, {});
    }

    // 4. Rename.
    std::function<void(size_t)> afterRename;
    {
        std::lock_guard<std::mutex> lock(g_hookMutex);
        afterRename = g_afterRename;
    }
    for (size_t k = 0; k < order.size(); ++k) {
        size_t i = order[k];
        try {
            ReplaceWithStaged(staged[i]);
        } catch (const FileWriteError& failure) {
            // Undo: put back the targets renamed so far, remove everything else.
            record.forward = false;
            try {
                WriteRecord(recordFolder, record);
            } catch (const FileWriteError&) {
                // Go on: undoing now matters more than a record for a crash meanwhile.
            }
            std::vector<fs::path> changed;
            for (size_t m = 0; m < k; ++m) {
                Entry& e = entries[order[m]];
                bool undone = e.kept != "-" ? ::rename(e.KeptPath().c_str(), e.target.c_str()) == 0
                              : !e.oldId.exists ? ::unlink(e.target.c_str()) == 0
                                                : false;
                if (undone) continue;
                changed.push_back(sources[order[m]]->target);
                e.kept = "-";  // still needed by the next attempt to undo (the record keeps it)
            }
            for (size_t m = k; m < order.size(); ++m) DiscardStaged(staged[order[m]]);
            for (const Entry& e : entries)
                if (e.kept != "-") ::unlink(e.KeptPath().c_str());
            for (const fs::path& d : folders) SyncFolder(d);
            // When something could not be put back, the record stays, so that the next
            // load tries again.
            if (changed.empty()) RemoveRecord(recordFolder);
            throw FileSetCommitError(failure.what(), sources[i]->target, changed);
        }
        if (afterRename) afterRename(k + 1);
    }
    for (const fs::path& d : folders) SyncFolder(d);

    // 5. Done: remove the kept names and the record.
    for (const Entry& e : entries)
        if (e.kept != "-") ::unlink(e.KeptPath().c_str());
    RemoveRecord(recordFolder);
}

std::vector<std::string> RecoverFileSetCommit(const fs::path& recordFolder, const std::vector<fs::path>& allowedTargets,
                                              bool* pending) {
    std::vector<std::string> notes;
    if (pending) *pending = false;
    const fs::path recordFile = recordFolder / kCommitRecordName;
    Record record;
    bool present = false;
    if (!ReadRecord(recordFile, &record, &present)) {
        if (present) {
            // Not a record we completed writing (we rename it into place only when whole):
            // no change had begun when it was left.
            struct stat st {};
            if (::lstat(recordFile.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
                ::unlink(recordFile.c_str());
                SyncFolder(recordFolder);
                notes.push_back("An unreadable commit record " + recordFile.string() + " was removed.");
            } else {
                notes.push_back(recordFile.string() + " is not a regular file; it was left as it is.");
                if (pending) *pending = true;
            }
        }
        return notes;
    }

    std::set<fs::path> allowed;
    for (const fs::path& t : allowedTargets) allowed.insert(Absolute(FollowFileLinks(t)));
    std::set<fs::path> folders;
    bool keep = false;
    std::vector<std::string> done;
    for (const Entry& e : record.entries) {
        const std::string name = e.target.filename().string();
        if (!allowed.count(Absolute(e.target)) || !IsOurName(e.temp, e.target, "tmp") ||
            (e.kept != "-" && !IsOurName(e.kept, e.target, "old"))) {
            notes.push_back("The commit record names " + e.target.string() +
                            ", which is not a registry file of this prefix; that entry was ignored.");
            continue;
        }
        folders.insert(FolderOf(e.target));
        const fs::path temp = e.TempPath();
        const bool tempThere = IsRegularFile(temp) && IdOf(temp, false) == e.tempId;
        const FileId now = IdOf(e.target);
        if (record.forward) {
            if (tempThere) {
                if (now == e.oldId) {
                    if (::rename(temp.c_str(), e.target.c_str()) == 0) {
                        done.push_back(name);
                    } else {
                        notes.push_back("Cannot complete the interrupted save of " + e.target.string() + ": " +
                                        std::strerror(errno) + ".");
                        keep = true;
                        continue;
                    }
                } else {
                    ::unlink(temp.c_str());
                    notes.push_back("An interrupted save of " + e.target.string() +
                                    " was not completed: another program changed that file since, and its "
                                    "version is kept.");
                }
            }
        } else {
            if (tempThere) {
                ::unlink(temp.c_str());
            } else if (now.exists && now == e.tempId) {
                bool undone = e.kept != "-" ? IsRegularFile(e.KeptPath()) &&
                                                  ::rename(e.KeptPath().c_str(), e.target.c_str()) == 0
                              : !e.oldId.exists ? ::unlink(e.target.c_str()) == 0
                                                : false;
                if (undone)
                    done.push_back(name);
                else
                    notes.push_back("Cannot put back the previous content of " + e.target.string() + ".");
            }
        }
        if (e.kept != "-" && IsRegularFile(e.KeptPath())) ::unlink(e.KeptPath().c_str());
    }
    for (const fs::path& d : folders) SyncFolder(d);
    if (keep) {
        if (pending) *pending = true;
        return notes;
    }
    ::unlink(recordFile.c_str());
    SyncFolder(recordFolder);
    std::string list;
    for (size_t i = 0; i < done.size(); ++i) list += (i ? (i + 1 == done.size() ? " and " : ", ") : "") + done[i];
    if (!done.empty())
        notes.insert(notes.begin(), record.forward ? "A save that was interrupted has been completed (" + list +
                                                         " replaced by the saved version)."
                                                   : "A save that was interrupted has been undone (" + list +
                                                         " put back as it was).");
    return notes;
}

int RemoveLeftoverTemporaries(const std::vector<fs::path>& targets, const fs::path& recordFolder) {
    // Which names to look for, in which folders.
    std::set<std::pair<fs::path, std::string>> wanted;  // folder, target name
    for (const fs::path& t : targets) {
        wanted.insert({Absolute(FolderOf(t)), t.filename().string()});
        fs::path real = Absolute(FollowFileLinks(t));
        wanted.insert({FolderOf(real), real.filename().string()});
    }
    wanted.insert({Absolute(recordFolder), kCommitRecordName});
    std::set<fs::path> folders;
    for (const auto& w : wanted) folders.insert(w.first);

    int removed = 0;
    for (const fs::path& folder : folders) {
        int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dfd < 0) continue;
        DIR* d = ::fdopendir(dfd);
        if (!d) {
            ::close(dfd);
            continue;
        }
        std::vector<std::string> victims;
        while (dirent* ent = ::readdir(d)) {
            std::string name = ent->d_name, targetName, suffix;
            pid_t pid = 0;
            if (!ParseTemporaryFileName(name, &targetName, &pid, &suffix)) continue;
            if (!wanted.count({folder, targetName}) || ProcessExists(pid)) continue;
            struct stat st {};
            // Only plain files we own; never follow a link.
            if (::fstatat(dfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
                st.st_uid != ::geteuid())
                continue;
            victims.push_back(name);
        }
        for (const std::string& name : victims)
            if (::unlinkat(dfd, name.c_str(), 0) == 0) ++removed;
        ::closedir(d);  // closes dfd
    }
    return removed;
}

}  // namespace qv
