// The registry of one Wine prefix, in memory, with durable saving.
//
// HKLM is system.reg, HKCU user.reg, HKU\.Default userdef.reg. HKCR, HKCC and HKU are views
// onto them as Wine maps them, and link keys (#link) are followed to their targets.
//
// Every change is recorded in a journal and saved before the operation that made it is
// reported done (or at the end of a batch). A save writes every changed file or none
// (file_set_commit.h), holds the prefix lock (prefix_lock.h) from its check of the files to
// its last rename and Wine's server lock meanwhile, refuses while a wineserver runs for the
// prefix, never writes a file that was loaded with unreadable parts, and, when another
// process changed a file after we loaded it, loads that file again and reapplies our changes
// instead of overwriting theirs. A failed save puts memory back to what is on disk.
//
// Loading holds the prefix lock too: it completes a save that was interrupted (a commit
// record left in the prefix), removes temporary files of processes that are gone, and reads
// the files only when no other Quorvane process is halfway through saving them. Only regular
// files are read (hive_file_reader.h).
//
// Locking: callers take ReadLock() or WriteLock() around every use of keys they obtained.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <span>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "platform/registry/reg_key.h"
#include "platform/registry/wine_hive_format.h"

namespace qv {

enum class RegRoot { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig };

class RegistryStore {
public:
    // Loads the three files of `prefixDir` (missing files count as empty branches).
    explicit RegistryStore(std::filesystem::path prefixDir);
    ~RegistryStore();

    std::shared_lock<std::shared_mutex> ReadLock() const { return std::shared_lock(mutex_); }
    std::unique_lock<std::shared_mutex> WriteLock() { return std::unique_lock(mutex_); }

    // Changes whenever trees are replaced (reload, rollback): key pointers obtained before
    // must then be looked up again by path.
    uint64_t Generation() const { return generation_; }

    // Finds a key below a root; `path` holds elements separated by backslashes (empty
    // elements are ignored). Links are followed, the last one too unless `openLink`.
    // Returns null when a key on the way is missing.
    reg::Key* Find(RegRoot root, std::u16string_view path, bool openLink = false) const;

    // Like Find, but creates missing keys. Fails (null, *error set) on a name that is too
    // long, below HKEY_USERS\<unknown SID>, or where a link cannot be followed.
    reg::Key* Create(RegRoot root, std::u16string_view path, bool* created, long* error);

    // Like Create, with `path` relative to `parent`, a key of this store that is not deleted
    // (one that Create or CreateBelow gave).
    reg::Key* CreateBelow(reg::Key* parent, std::u16string_view path, bool* created, long* error);

    // The key a link key points at (null when it cannot be resolved).
    reg::Key* ResolveLink(const reg::Key* link) const { return FollowLink(link, false, nullptr); }

    // Drops every change not yet saved: memory goes back to what the files hold.
    void DiscardChanges();
    // True when some change is not saved yet (in an open batch).
    bool HasUnsavedChanges() const;

    // The synthetic HKEY_USERS key: its subkeys are ".Default" and the user's SID.
    const reg::Key& UsersView() const { return *usersView_; }

    // Changes (caller holds the write lock). They take effect in memory at once and are
    // saved by Commit(). Each returns a Windows error code (0 = success).
    long SetValue(reg::Key* key, std::u16string_view name, uint32_t type, std::vector<uint8_t> data);
    long DeleteValue(reg::Key* key, std::u16string_view name);
    long DeleteSubkey(reg::Key* parent, std::u16string_view name, bool recursive);

    // Saves every changed branch unless a batch is open. On failure memory goes back to the
    // files' content, the error text is kept (LastError) and a Windows error code returned.
    long Commit();
    void BeginBatch();
    long EndBatch();  // commits when the outermost batch ends

    // Loads files that another process changed since we read them (when we hold no unsaved
    // changes for them). Returns true when something was reloaded.
    bool ReloadChangedFiles();

    std::string LastError() const;
    // True when the last failed Commit left some files changed all the same (it could not
    // put them back); false when it changed nothing.
    bool LastCommitLeftChanges() const { return lastCommitLeftChanges_; }

    // With false, a Commit whose files another program changed since they were read fails
    // (nothing written) instead of putting our changes on top of theirs: for changes whose
    // backup was taken from what was read, such as a repair's deletions.
    void SetRebaseAllowed(bool allowed) { rebaseAllowed_ = allowed; }
    // What the loader reported about the files (Wine's messages, refusals, a completed
    // interrupted save).
    std::vector<std::string> LoadMessages() const;
    // Why present files could not be loaded at all (not a regular file, too large, unreadable,
    // empty, not a registry file, wrong architecture), one sentence each. Such a branch reads
    // as empty and is never written. Empty when every file that exists was loaded; a missing
    // file is not unreadable.
    std::vector<std::string> UnreadableHives() const;
    // Empty when the branch can be written; otherwise why not.
    std::string WriteRefusal(RegRoot root) const;
    // The files that are never written because they could not be read (or read safely).
    std::vector<std::filesystem::path> UnwritableFiles() const;

    const std::filesystem::path& PrefixDir() const { return prefixDir_; }
    std::string Arch() const { return arch_; }

    // For tests and tools: the serialized form of a branch as it would be saved now.
    std::string Serialize(reg::Branch branch) const;
    reg::Key& BranchRoot(reg::Branch branch);

private:
    struct FileIdentity {
        bool exists = false;
        dev_t dev = 0;
        ino_t ino = 0;
        off_t size = 0;
        int64_t mtimeNs = 0;
        int64_t ctimeNs = 0;
        bool operator==(const FileIdentity&) const = default;
    };
    enum class OpKind { SetValue, DeleteValue, CreateKey, DeleteKey };
    // One change. The key and name live in a tree that the journal keeps alive
    // (Hive::journalTrees), so an entry copies nothing: the key's path from its branch root
    // is told when the change is replayed (a deleted key still knows its parent), and a set
    // value is replayed with the type and data that key holds for it by then, which are what
    // the changes as a whole leave it with.
    struct Op {
        OpKind kind;
        const reg::Key* key = nullptr;
        std::u16string_view name;
    };
    struct Hive {
        reg::Branch branch;
        std::filesystem::path file;
        std::shared_ptr<reg::Key> root;
        std::string fileArch;
        reg::HiveLoadReport report;
        FileIdentity identity;
        std::deque<Op> journal;  // a deque: a long journal grows without being copied
        // Trees that entries of the journal point into, besides the current one.
        std::vector<std::shared_ptr<reg::Key>> journalTrees;
        bool dirty = false;
    };

    void LoadAll();
    void LoadHive(Hive& h, std::shared_ptr<reg::Key>* outRoot, reg::HiveLoadReport* outReport,
                  std::string* outArch, FileIdentity* outId) const;
    std::vector<std::filesystem::path> HiveFiles() const;
    // Under the prefix lock: completes an interrupted save and removes leftover temporaries.
    // False when a save could not be completed (*notes say why).
    bool RecoverAndTidy(std::vector<std::string>* notes, bool holdingWineLock = false);
    // Under the prefix lock: reloads files that changed on disk and replays the journals of
    // the changed branches on them. False (with *error) when a changed file cannot be used.
    bool ReloadAndReplay(std::string* error);
    void SetError(std::string message);
    void DecideArch();
    Hive* HiveOf(const reg::Key* key);
    reg::Key* Walk(reg::Key* start, std::u16string_view path, bool create, bool openLink, bool* created,
                   long* error) const;
    reg::Key* FollowLink(const reg::Key* link, bool create, long* error) const;
    // Create's walk from `start`, recording a created key (`anyCreated`: one was made already).
    reg::Key* CreateFrom(reg::Key* start, std::u16string_view path, bool anyCreated, bool* created, long* error);
    reg::Key* StartKey(RegRoot root, std::u16string_view& path, bool create, long* error) const;
    void Record(reg::Key* key, Op op);
    static void ClearJournal(Hive& h);
    void Replay(Hive& h, const std::deque<Op>& ops);
    void Rollback();
    static FileIdentity Identify(const std::filesystem::path& p);
    static FileIdentity IdentityOf(const struct stat& st);

    std::filesystem::path prefixDir_;
    Hive hives_[3];  // Machine, User, UserDefault
    std::shared_ptr<reg::Key> usersView_;
    std::string arch_;
    mutable std::shared_mutex mutex_;
    uint64_t generation_ = 1;
    int batchDepth_ = 0;
    std::vector<std::string> loadNotes_;  // about the prefix as a whole (interrupted saves)
    mutable std::mutex errorMutex_;
    std::string lastError_;
    bool lastCommitLeftChanges_ = false;
    bool rebaseAllowed_ = true;
};

}  // namespace qv
