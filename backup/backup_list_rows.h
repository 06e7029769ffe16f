// The rows of the restore list: each backup file as people read it (when it was taken, what
// kind of backup it is, how big it is), newest first. The registry backups and the archives
// of Wine menu files that a clean wrote share the list, in one order of time. A row keeps
// the file (and a registry backup's listing text) it stands for: a restore takes those,
// never the words shown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qv {

// One backup file as the backup folder lists it.
struct BackupFileEntry {
    std::string listingText;  // the store's key for the backup ("Jun,26 2009 3:45 PM")
    std::string path;         // the file (Windows path)
    int64_t created = 0;      // creation time, seconds since 1970 (UTC)
    uint32_t createdFraction = 0;  // and its 100-nanosecond ticks within that second
    uint64_t size = 0;        // in bytes
};

// One archive of Wine menu files, written by a clean before it removed them.
struct MenuArchiveEntry {
    std::filesystem::path path;    // the archive (Unix path)
    int64_t created = 0;           // when the clean wrote it, seconds since 1970 (UTC)
    uint32_t createdFraction = 0;  // and its 100-nanosecond ticks within that second
    uint64_t size = 0;             // in bytes
    std::optional<size_t> files;   // how many files it holds; empty when it cannot be read
};

// MenuFiles: an archive of Wine menu files; it restores files of the home folder, not the
// registry.
enum class BackupKind { Full, System, Fix, Other, MenuFiles };

// The kind that a backup's file name gives ("FullBackup[Jun-26-2009 3-45 PM].reg"; a fix's
// backup is a "PartialBackup"); Other for any other .reg file in the folder. Takes a file
// name or a Windows or Unix path.
BackupKind BackupKindOfFile(const std::string& path);

// "full backup", "system backup", "fix backup", "Wine menu files", or "backup" for another
// file.
std::string BackupKindName(BackupKind kind);

// A file size as people read it: "300 bytes", "2.7 KB", "48 KB", "5.1 MB" (1 KB = 1024 bytes).
std::string BackupSizeText(uint64_t bytes);

struct BackupListRow {
    // What the list shows: "Jun 06 2025 7:05 PM — full backup, 5.1 MB", or for an archive
    // "Dec 09 2026 1:47 AM — Wine menu files, 28 files, 310 KB".
    std::string text;
    BackupKind kind = BackupKind::Other;
    std::string when;       // the time part of `text`
    BackupFileEntry entry;  // what a registry backup's row restores (empty for an archive)
    std::filesystem::path menuArchive;  // what an archive's row restores (kind MenuFiles)

    bool IsMenuArchive() const { return kind == BackupKind::MenuFiles; }
    // The file the row restores, to find the row again after the list is refilled: the
    // backup's Windows path or the archive's Unix path.
    std::string File() const { return IsMenuArchive() ? menuArchive.string() : entry.path; }
};

// The rows for the backups and the archives of Wine menu files, newest first; rows of the
// same time keep their order, registry backups (in the folder's order) before archives.
std::vector<BackupListRow> MakeBackupListRows(std::vector<BackupFileEntry> entries,
                                              std::vector<MenuArchiveEntry> archives = {});

// What the list shows while the folder holds no backup.
inline constexpr char kNoBackupsText[] = "No backups yet";

}  // namespace qv
