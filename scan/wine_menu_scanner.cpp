// The scanner of Wine's stale menu files: the Start Menu and Desktop entries, file type
// associations and what goes along with them that Wine's menu builder left in the user's
// home for deleted prefixes and removed programs. They are the home's, not the prefix's, so
// the same files are found whichever prefix is scanned.
#include "app/string_table.h"
#include "menus/stale_menu_files.h"
#include "scan/scan_engine.h"

int CScanEngine::ScanWineMenuEntries() {
    if (m_bStop) return 0;
    const menus::MenuHome home = m_menuHome.value_or(menus::MenuHome::FromEnvironment());
    m_stores.m_wineMenuHome = home;
    if (home.home.empty()) return 0;
    PostStatus(std::string(StringText(140)) + home.Applications().string());
    menus::StaleMenuReport report = menus::FindStaleMenuFiles(home);
    m_stores.m_aWineMenuFiles = std::move(report.files);
    for (const std::string& note : report.notes) PostStatus(note);
    return 1;
}
