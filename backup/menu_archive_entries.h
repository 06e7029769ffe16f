// The archives of Wine menu files in the home's menu backup folder, as rows of the restore
// list take them: when each clean wrote its archive, its size and how many files it holds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "backup/backup_list_rows.h"
#include "menus/menu_home.h"

namespace qv {

// The time that an archive's name gives ("menu-entries-20261209-014700.tar", and numbered
// variants "...-014700-2.tar" of the same second), read as local time; empty for any other
// name.
std::optional<int64_t> MenuArchiveNameTime(const std::string& name);

// Every archive of the home, newest first. The time is the one its name gives (what the
// clean recorded; a copy keeps it), else the file's time. Archives are small: each is read
// to count its files.
std::vector<MenuArchiveEntry> ListMenuArchiveEntries(const menus::MenuHome& home);

}  // namespace qv
