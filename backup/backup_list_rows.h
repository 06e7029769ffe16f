// The rows of the restore list: each backup file as people read it (when it was taken, what
// kind of backup it is, how big it is), newest first. A row keeps the file and the listing
// text it stands for: a restore takes those, never the words shown.
#pragma once

#include <cstdint>
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

enum class BackupKind { Full, System, Fix, Other };

// The kind that a backup's file name gives ("FullBackup[Jun-26-2009 3-45 PM].reg"; a fix's
// backup is a "PartialBackup"); Other for any other .reg file in the folder. Takes a file
// name or a Windows or Unix path.
BackupKind BackupKindOfFile(const std::string& path);

// "full backup", "system backup", "fix backup", or "backup" for another file.
std::string BackupKindName(BackupKind kind);

// A file size as people read it: "300 bytes", "2.7 KB", "48 KB", "5.1 MB" (1 KB = 1024 bytes).
std::string BackupSizeText(uint64_t bytes);

struct BackupListRow {
    std::string text;       // what the list shows: "Jun 06 2025 7:05 PM — full backup, 5.1 MB"
    BackupKind kind = BackupKind::Other;
    std::string when;       // the time part of `text`
    BackupFileEntry entry;  // what the row restores
};

// The rows for the backups, newest first; backups of the same creation time keep the
// folder's order.
std::vector<BackupListRow> MakeBackupListRows(std::vector<BackupFileEntry> entries);

// What the list shows while the folder holds no backup.
inline constexpr char kNoBackupsText[] = "No backups yet";

}  // namespace qv
