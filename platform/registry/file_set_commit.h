// Replacing several files as one change: after it, all of them hold the new content or all
// hold the old, also when the process is killed or the machine stops at any moment.
//
// The protocol (the caller holds the prefix lock throughout, see prefix_lock.h):
//
//  1. Stage: every new content is written to a temporary file beside its target
//     (".<name>.quorvane-<pid>-<n>.tmp") and flushed to disk. Any failure: the temporaries
//     are removed and nothing else has happened.
//  2. Keep: every existing target gets a second name, a hard link ".<name>.quorvane-<pid>-
//     <n>.old", so that its old content can be put back; then the folders are flushed.
//     An immutable or append-only target stops the change here. On a file system without
//     hard links a target gets no kept name and is renamed after all the others, so that a
//     rename failing before it still leaves nothing changed.
//  3. Record: a commit record (".quorvane-commit" in the record folder, itself written to a
//     temporary, flushed and renamed into place, then the folder flushed) lists for every
//     file its target, its temporary, its kept old name and the identities (device, inode,
//     size, modification time) of the old target and of the temporary. From here on the
//     change counts as made.
//  4. Rename each temporary over its target; flush the folders.
//  5. Remove the kept old names and the record; flush the record folder.
//
//  If a rename fails (an immutable target, a folder where the file should be), the record
//  is rewritten to say "back", the renamed targets get their kept old names back, and the
//  record and every temporary are removed: nothing was changed.
//
//  Whoever next holds the lock (the next load or writer) and finds a record completes it:
//  "forward": every temporary that still exists is renamed over its target, provided the
//  target is still the file that was there when the record was made (when another program,
//  such as Wine, replaced or rewrote it since, its newer file is kept and the temporary
//  removed);
//  "back": every target that is still our renamed temporary gets its kept old name back.
//  Then the kept names, the temporaries and the record are removed.
//
//  Temporaries and kept names that no record lists are leftovers of a process that was
//  killed before it wrote its record (or after it finished, before removing them); they are
//  removed once the process named in them is gone.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/registry/atomic_file.h"

namespace qv {

inline constexpr const char* kCommitRecordName = ".quorvane-commit";

struct FileReplacement {
    std::filesystem::path target;  // links are followed: the file they name is replaced
    std::string content;
    // When set, the content is made in pieces by this instead (and `content` is not used).
    ContentProducer produce = {};
};

// Why a change of several files failed.
struct FileSetCommitError : FileWriteError {
    FileSetCommitError(std::string message, std::filesystem::path failedFile, std::vector<std::filesystem::path> replaced)
        : FileWriteError(std::move(message)), file(std::move(failedFile)), changed(std::move(replaced)) {}
    std::filesystem::path file;  // the target that could not be saved (as given)
    // Targets (as given) that hold their new content all the same; empty unless both a rename
    // and putting back an earlier one failed.
    std::vector<std::filesystem::path> changed;
};

// Replaces every target with its content, or none (throws FileSetCommitError). The commit
// record goes into `recordFolder`.
void CommitFileSet(const std::filesystem::path& recordFolder, const std::vector<FileReplacement>& files);

// Completes or undoes a change that was interrupted, when `recordFolder` holds a record. Only
// the files in `allowedTargets` (links followed) may be touched; entries naming others are
// ignored. Returns sentences saying what was done (empty when there was no record). Sets
// *pending when a record remains (it could not be completed now).
std::vector<std::string> RecoverFileSetCommit(const std::filesystem::path& recordFolder,
                                              const std::vector<std::filesystem::path>& allowedTargets,
                                              bool* pending = nullptr);

// True when `recordFolder` holds a commit record.
bool HasCommitRecord(const std::filesystem::path& recordFolder);

// Removes temporaries and kept old names of the given files (and of the commit record)
// whose process is gone; files of running processes are kept. Call only when no record is
// pending, under the prefix lock. Returns the number of files removed.
int RemoveLeftoverTemporaries(const std::vector<std::filesystem::path>& targets,
                              const std::filesystem::path& recordFolder);

// True while a process with this id exists (also when it belongs to another user).
bool ProcessExists(pid_t pid);

// Test hook: called after each rename of a committed file with the number renamed so far;
// a test can end the process there to leave an interrupted change behind.
void SetAfterRenameHook(std::function<void(size_t renamed)> hook);

}  // namespace qv
