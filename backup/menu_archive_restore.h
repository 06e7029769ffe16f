// Restoring an archive of Wine menu files from the restore list: asked first, like a
// registry restore; then every file of the archive is put back into the home folder, never
// over a file that is there now with other contents. It writes no registry, so it may run
// while Wine runs in the prefix.
#pragma once

#include <string>

#include "backup/backup_list_rows.h"
#include "menus/menu_clean.h"
#include "menus/menu_home.h"

namespace qv {

struct MenuArchiveRestore {
    // Restored: every file is in place; Partly: some were left as they were; Declined: the
    // user said no; NotFound: the archive is gone; Failed: it could not be read, nothing
    // changed.
    enum class Result { Restored, Partly, Declined, NotFound, Failed };
    Result result = Result::Declined;
    std::string status;   // for the page's status line ("Put back 28 Wine menu files.")
    std::string details;  // the status with the files left as they were, for its tip
};

// How a restore of the archive of `when` ended, in words.
MenuArchiveRestore DescribeMenuRestore(const menus::MenuRestoreResult& result, const std::string& when);

// Asks for confirmation, then restores the archive of an archive row into `home`. A gone or
// unreadable archive is said in a message box, as the registry restore does.
MenuArchiveRestore RestoreMenuArchive(const BackupListRow& row, const menus::MenuHome& home);

}  // namespace qv
