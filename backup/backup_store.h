// The backup store: .reg files in the backup folder of the user's application data, named
// by kind and time ("PartialBackup[Jun-26-2009 3-45 PM].reg").
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "backup/reg_export_writer.h"

// What the backup page shows while the store works (the page implements it; the command
// line passes none).
class IBackupPageHooks {
public:
    virtual ~IBackupPageHooks() = default;
    virtual void SetLastBackupLabel(const std::string& text) = 0;
    virtual void EnableControls(bool enabled) = 0;
    virtual void RefillList(const std::vector<std::string>& listingTexts) = 0;
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

    // The partial backup file of a repair: created with its header when this minute has no
    // such file yet; an existing one is appended to. Empty when it cannot be created.
    std::string CreatePartialBackup();

    // Listing texts of every backup file, in the folder's order; with their paths.
    std::vector<std::string> ListBackups();
    std::vector<std::pair<std::string, std::string>> ListBackupFiles();
    // The path of the first backup whose listing text is `text`; empty when none.
    std::string FindBackupByTime(const std::string& text);

    // Exports with the registry editor ("" root = the whole registry). An existing file is
    // never overwritten. Returns the editor's exit status (0 = written), 1 when the file
    // already existed.
    int ExportWithRegedit(const std::string& rootName, const std::string& keyPath, const std::string& filePath);
    // Restores a file with the registry editor (silent import); its exit status, -1 when the
    // file does not exist.
    int ImportWithRegedit(const std::string& filePath);

    // A whole-registry backup of a kind ("FullBackup", "SystemBackup"). "Last Backup" is
    // stored only when the file was written completely. Returns the file's path, empty on
    // failure (with the reason in `error`).
    std::string MakeRegistryBackup(const std::string& prefix, IBackupPageHooks* page, std::string& error);
    // The full backup of the page's "Backup Now" and the system backup of the first start.
    void DoFullBackup(IBackupPageHooks* page);
    void DoSystemBackup();

    // Asks for confirmation, then restores the backup with that listing text. True when it
    // was restored.
    bool RestoreBackup(const std::string& listingText);

    // A System Restore point "Quorvane before Scan"; prints its sequence or the failure.
    void CreateRestorePoint();

    // The writer of partial backups, shared by every export into the file.
    CRegExportWriter m_writer;
};
