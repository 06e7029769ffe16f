// The backup store: .reg files in the backup folder of the user's application data, named
// by kind and time ("PartialBackup[Jun-26-2009 3-45 PM].reg").
#pragma once

#include <string>

#include "backup/reg_export_writer.h"

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

    // The writer of partial backups, shared by every export into the file.
    CRegExportWriter m_writer;
};
