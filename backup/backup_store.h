// The backup store: .reg files in the backup folder of the user's application data, named
// by kind and time ("PartialBackup[Jun-26-2009 3-45 PM].reg").
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "backup/backup_list_rows.h"
#include "backup/reg_export_writer.h"

// What the backup page shows while the store works (the page implements it; the command
// line passes none).
class IBackupPageHooks {
public:
    virtual ~IBackupPageHooks() = default;
    virtual void SetLastBackupLabel(const std::string& text) = 0;
    virtual void EnableControls(bool enabled) = 0;
    // Each backup file with its listing text, time and size, in the folder's order.
    virtual void RefillList(const std::vector<qv::BackupFileEntry>& backups) = 0;
};

class CBackupStore {
public:
    // Creates the product folder and the backup folder when they are missing.
    void EnsureBackupFolder();

    // The path for a new backup of a kind ("PartialBackup", "FullBackup", "SystemBackup") at
    // the current time; makes sure the folder exists. Backups of one kind taken in the same
    // minute share the name.
    std::string MakeBackupFileName(const std::string& prefix);

    // The listing text ("Jun,26 2009 3:45 PM") of the creation time of the last file that a
    // pattern matches; empty when nothing matches. With a full name it tells whether that
    // file exists.
    std::string GetFileCreationText(const std::string& pattern);

    // Starts the partial backup of a repair: a new temporary file in the backup folder that
    // holds the header line. The repair's exports append to it; PublishBackup then gives it
    // its final name. A backup is never appended to an existing file. Empty when the file
    // cannot be created.
    std::string CreatePartialBackup();

    // Flushes a backup written under the temporary name `tempPath` and gives it the name of
    // a new backup of that kind ("PartialBackup[Jun-26-2009 3-45 PM].reg"), or a numbered
    // variant of it when a backup of the same minute holds that name. Returns the final
    // path; empty (the temporary file removed, `error` set) on failure.
    std::string PublishBackup(const std::string& tempPath, const std::string& prefix, std::string& error);

    // Removes a backup file this process made and that is of no use (its repair was refused).
    void DiscardBackup(const std::string& path);

    // The file of the backup folder that `name` names: a Windows path or any Unix path to
    // it (through drive_c, dosdevices or links, relative to the working folder). Empty when
    // `name` is not one of the backups.
    std::string FindBackupFile(const std::string& name);

    // Listing texts of every backup file, in the folder's order; with their paths; with their
    // paths, creation times and sizes.
    std::vector<std::string> ListBackups();
    std::vector<std::pair<std::string, std::string>> ListBackupFiles();
    std::vector<qv::BackupFileEntry> ListBackupEntries();
    // The path of the first backup whose listing text is `text`; empty when none.
    std::string FindBackupByTime(const std::string& text);

    // Exports with the registry editor ("" root = the whole registry). An existing file is
    // never overwritten. Returns the editor's exit status (0 = written), 1 when the file
    // already existed.
    int ExportWithRegedit(const std::string& rootName, const std::string& keyPath, const std::string& filePath);
    // Restores a file with the registry editor (silent import); its exit status, -1 when the
    // file does not exist.
    int ImportWithRegedit(const std::string& filePath);

    // A whole-registry backup of a kind ("FullBackup", "SystemBackup"), always a new file
    // with the registry as it is now. "Last Backup" is stored only when the file was written
    // completely. Returns the file's path, empty on
    // failure (with the reason in `error`).
    std::string MakeRegistryBackup(const std::string& prefix, IBackupPageHooks* page, std::string& error);
    // The full backup of the page's "Backup Now" (its file, empty on failure with the reason
    // in `error`) and the system backup of the first start.
    std::string DoFullBackup(IBackupPageHooks* page, std::string& error);
    void DoSystemBackup();

    // Asks for confirmation, then restores the backup with that listing text. True when it
    // was restored.
    bool RestoreBackup(const std::string& listingText);
    // Asks for confirmation, then restores exactly this backup file.
    bool RestoreBackupFile(const std::string& path);
    // The same, saying how it ended. A file that is gone and a failed import have been
    // reported to the user in a message box by then.
    enum class RestoreResult { Restored, Declined, NotFound, Failed };
    RestoreResult RestoreBackupFileResult(const std::string& path);

    // A System Restore point "Quorvane before Scan"; prints its sequence or the failure.
    void CreateRestorePoint();

    // The writer of partial backups, shared by every export into the file.
    CRegExportWriter m_writer;
};
