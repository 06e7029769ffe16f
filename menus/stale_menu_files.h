// The Linux files that Wine's menu builder left for deleted prefixes and removed programs:
// Start Menu and Desktop entries, file type associations, and the menu files, folder files,
// icons and MIME packages that only they used. Every decision is conservative: a file is
// listed only when Wine wrote it (by its Exec line) and what it starts is known to be gone;
// anything that cannot be judged counts as live.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "menus/menu_home.h"

namespace menus {

enum class MenuFileKind { MenuEntry, DesktopEntry, Association, MimePackage, Icon, MenuFile, Directory, Shortcut };

// "menu-entry", "desktop-entry", "association", "mime-package", "icon", "menu-file",
// "directory", "shortcut".
const char* KindName(MenuFileKind kind);

struct StaleMenuFile {
    std::filesystem::path path;    // absolute, in one of the home's folders
    MenuFileKind kind = MenuFileKind::MenuEntry;
    std::optional<std::filesystem::path> prefix;  // the prefix its entry names
    std::string reason;
    std::string name;              // the entry's Name (for the files that go along: their entry's)
    std::filesystem::path entry;   // the entry it goes along with (itself for an entry)
    // Every stale entry that uses it (its entry first): it may go only when all of them go.
    std::vector<std::filesystem::path> owners;
};

// The files that go when the entries `entries` (their paths) are cleaned: those entries,
// and each file going along with them that no other stale entry still uses.
std::vector<StaleMenuFile> FilesOfEntries(const std::vector<StaleMenuFile>& files,
                                          const std::vector<std::filesystem::path>& entries);

struct StaleMenuReport {
    std::vector<StaleMenuFile> files;  // entries first, each followed by what goes along with it
    std::vector<std::string> notes;    // what could not be read, in plain words
};

StaleMenuReport FindStaleMenuFiles(const MenuHome& home);

}  // namespace menus
