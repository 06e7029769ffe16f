// The row steps of phase 3: each store becomes rows of the result list, in store order
// (every row goes on top, so the category transferred last comes first).
#include "app/string_table.h"
#include "scan/scan_engine.h"
#include "scan/scanned_keys.h"

void CScanEngine::TransferFindings() {
    const std::string machine = "HKEY_LOCAL_MACHINE";
    {
        const std::string problem(StringText(133));
        for (const _REG_VALUE& v : m_stores.m_aMissingFonts)
            AddFinding({problem, v.name, scankeys::kFonts, machine, "VAL"});
        for (const _REG_VIEW_ENTRY& v : m_stores.m_aMissingFonts32) AddFinding({problem, v.name, v.key, machine, "VAL"});
    }
    {
        const std::string problem(StringText(138));
        for (const std::string& path : m_stores.m_aMissingHelpFiles) {
            size_t slash = path.find_last_of('\\');
            AddFinding({problem, slash == std::string::npos ? path : path.substr(slash + 1),
                        scankeys::kHelp, machine, "VAL"});
        }
        for (const _REG_VIEW_ENTRY& v : m_stores.m_aMissingHelpFiles32)
            AddFinding({problem, v.name, v.key, machine, "VAL"});
    }
    {
        const std::string problem(StringText(131));
        for (const std::string& dll : m_stores.m_aMissingSharedDlls)
            AddFinding({problem, dll, scankeys::kSharedDlls, machine, "VAL"});
        for (const _REG_VIEW_ENTRY& v : m_stores.m_aMissingSharedDlls32)
            AddFinding({problem, v.name, v.key, machine, "VAL"});
    }
    {
        const std::string problem(StringText(136));
        for (const std::string& name : m_stores.m_aUninstallEntries)
            AddFinding({problem, name, std::string(scankeys::kUninstall) + "\\" + name, machine,
                        "KEY"});
        for (const _REG_VIEW_ENTRY& v : m_stores.m_aUninstallEntries32)
            AddFinding({problem, v.name, v.key + "\\" + v.name, machine, "KEY"});
    }
    TransferStartupEntries();
    TransferFileExtensions();
    {
        const std::string problem(StringText(134));
        for (const std::string& file : m_stores.m_aMissingShortcuts) AddFinding({problem, file, "", "NULL", "NULL"});
    }
    {
        const std::string problem(StringText(132));
        for (const std::string& file : m_stores.m_aStartMenuShortcuts) AddFinding({problem, file, "", "NULL", "NULL"});
    }
    {
        // One row per entry: the files that go along with it are the entry's, not rows.
        const std::string problem(StringText(139));
        for (const menus::StaleMenuFile& f : m_stores.m_aWineMenuFiles)
            if (f.path == f.entry)
                AddFinding({problem, (f.name.empty() ? f.path.filename().string() : f.name) + " (" + f.path.string() + ")",
                            f.path.string(), "NULL", "MENU"});
    }
}
