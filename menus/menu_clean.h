// Removing Wine's stale menu files, and putting them back. A clean first writes every file
// into a new archive in $XDG_DATA_HOME/quorvane/menu-backups (synced and read back before
// anything goes), then removes each file that is still exactly as archived, then refreshes
// the desktop's menu and MIME databases. A restore puts back every file of an archive,
// exactly, and never over a file that is there now with other contents.
#pragma once

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "menus/menu_home.h"
#include "menus/stale_menu_files.h"

namespace menus {

struct MenuCleanResult {
    bool ok = false;                  // the archive was written (files may have been left alone)
    std::filesystem::path archive;
    std::vector<std::filesystem::path> removed;
    std::vector<std::string> notes;   // what was left alone, and why
    std::string error;                // why nothing was removed
};

struct MenuRestoreResult {
    bool ok = false;                  // every file of the archive is in place
    std::vector<std::filesystem::path> restored;
    std::vector<std::string> refused; // files left as they are, and why
    std::string error;                // why the archive could not be used at all
};

std::filesystem::path MenuBackupFolder(const MenuHome& home);

MenuCleanResult CleanMenuFiles(const MenuHome& home, const std::vector<StaleMenuFile>& files,
                               std::time_t now = std::time(nullptr));
MenuRestoreResult RestoreMenuFiles(const MenuHome& home, const std::filesystem::path& archive);

// The archives of earlier cleans, in name order (the Backups page orders them by time).
std::vector<std::filesystem::path> ListMenuArchives(const MenuHome& home);

}  // namespace menus
