// Replacing a file so that a crash at any moment leaves either the old or the new content.
//
// A replacement has two steps that callers may also run separately (a change of several
// files writes every temporary before it renames any): StageFile writes the new content to
// a temporary file beside the target and flushes it to disk; ReplaceWithStaged renames it
// over the target. Temporary files are named ".<target name>.quorvane-<pid>-<n>.tmp", so
// that one left by a process that was killed can be recognised and removed later.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qv {

struct FileWriteError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The file a path names once symbolic links are followed (the path itself when it is not a
// link, or when a link in the chain cannot be read). The file itself need not exist.
std::filesystem::path FollowFileLinks(const std::filesystem::path& target);

// A temporary file holding the complete new content of `target`, flushed to disk.
struct StagedFile {
    std::filesystem::path target;     // the real file to replace (links followed)
    std::filesystem::path temporary;  // beside it, in the same folder
    bool targetExisted = false;
};

// Writes `content` to a new temporary file beside the file `target` names (links followed),
// with the target's permission bits, and flushes it to disk. Throws FileWriteError with a
// message for the user; nothing is left behind then.
StagedFile StageFile(const std::filesystem::path& target, std::string_view content);

// Writes a staged file piece by piece, for content that is not held whole in memory: the
// same temporary file, permission bits, fault hooks and flushing as StageFile. Write and
// Finish throw FileWriteError; the temporary is removed unless Finish succeeded.
class StagedFileWriter {
public:
    explicit StagedFileWriter(const std::filesystem::path& target);
    ~StagedFileWriter();
    StagedFileWriter(const StagedFileWriter&) = delete;
    StagedFileWriter& operator=(const StagedFileWriter&) = delete;

    void Write(std::string_view bytes);
    // Flushes the file to disk and closes it.
    StagedFile Finish();

private:
    [[noreturn]] void Fail(const std::string& what, int err);

    StagedFile staged_;
    int fd_ = -1;
    size_t written_ = 0;
    std::function<bool(const std::filesystem::path&, size_t)> hook_;
};

// Content given piece by piece: the producer writes it through the writer it is handed.
using ContentProducer = std::function<void(StagedFileWriter&)>;

// StageFile with the content given piece by piece.
StagedFile StageFile(const std::filesystem::path& target, const ContentProducer& write);

// Renames the staged file over its target. Throws FileWriteError (the temporary stays, for
// the caller to discard). Does not flush the folder: see SyncFolder.
void ReplaceWithStaged(const StagedFile& staged);

// Removes a staged file's temporary (when it still exists).
void DiscardStaged(const StagedFile& staged);

// Flushes a folder's entries (renames, new and removed names) to disk. False on failure.
bool SyncFolder(const std::filesystem::path& folder);

// Stage, rename, flush the folder. A symbolic link is replaced at the file it points to.
// The file keeps its permission bits. Throws FileWriteError with a message for the user.
void WriteFileAtomically(const std::filesystem::path& target, std::string_view content);
// The same with the content given piece by piece by `write`.
void WriteFileAtomically(const std::filesystem::path& target, const ContentProducer& write);

// The temporary-file name for `targetName` written by process `pid`, with sequence `n`, and
// with `suffix` "tmp" (new content) or "old" (a kept link to the previous content).
std::string TemporaryFileName(const std::string& targetName, pid_t pid, unsigned n, const char* suffix = "tmp");

// Recognises a name made by TemporaryFileName; sets the target's name, the pid and the suffix.
bool ParseTemporaryFileName(const std::string& name, std::string* targetName, pid_t* pid, std::string* suffix);

// Test hook: called before each chunk of a file is written, with the number of bytes of that
// file written so far; returning false makes the write fail there, as a full disk would.
void SetWriteFaultHook(std::function<bool(size_t written)> hook);

// Test hook like SetWriteFaultHook that also receives the target being written, so that a
// test can fail the second of several files (a disk with room for one file only).
void SetFileWriteFaultHook(std::function<bool(const std::filesystem::path& target, size_t written)> hook);

// Test hook: called before each rename of a staged file over its target; a nonzero result
// makes that rename fail with that errno value, as an immutable target would.
void SetRenameFaultHook(std::function<int(const std::filesystem::path& target)> hook);

}  // namespace qv
