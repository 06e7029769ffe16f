// What the scanners of one scan found, per category, in the order they met it.
#pragma once

#include <string>
#include <vector>

#include "scan/cached_file_set.h"
#include "scan/finding_records.h"
#include "menus/menu_home.h"
#include "menus/stale_menu_files.h"

// The six startup stores: where each Run key's stale entries go.
enum StartupStore {
    kStartupUserRun,
    kStartupUserRunOnce,
    kStartupUserRunServicesOnce,
    kStartupMachineRun,
    kStartupMachineRunOnce,
    kStartupMachineRunServicesOnce,
    kStartupStoreCount
};

struct CFindingStores {
    std::vector<_REG_CLSID> m_aRootClsid, m_aRootClsidInvalid, m_aMachineClsid, m_aMachineClsidInvalid;
    std::vector<_REG_PROGID> m_aRootProgId, m_aRootProgIdInvalid, m_aMachineProgId, m_aMachineProgIdInvalid;
    std::vector<_REG_TYPELIB> m_aRootTypeLib, m_aRootTypeLibInvalid, m_aMachineTypeLib, m_aMachineTypeLibInvalid;
    std::vector<_REG_INTERFACE> m_aRootInterface, m_aRootInterfaceInvalid, m_aMachineInterface,
        m_aMachineInterfaceInvalid;
    // The 32-bit view's classes of a 64-bit prefix (Classes\Wow6432Node\CLSID, TypeLib,
    // Interface) under each class root. ProgIDs have one view only.
    std::vector<_REG_CLSID> m_aRootClsid32, m_aRootClsid32Invalid, m_aMachineClsid32, m_aMachineClsid32Invalid;
    std::vector<_REG_TYPELIB> m_aRootTypeLib32, m_aRootTypeLib32Invalid, m_aMachineTypeLib32,
        m_aMachineTypeLib32Invalid;
    std::vector<_REG_INTERFACE> m_aRootInterface32, m_aRootInterface32Invalid, m_aMachineInterface32,
        m_aMachineInterface32Invalid;

    std::vector<_REG_VALUE> m_aMissingFonts;
    std::vector<std::string> m_aMissingHelpFiles;
    std::vector<std::string> m_aMissingSharedDlls;
    std::vector<std::string> m_aUninstallEntries;
    std::vector<_REG_VALUE> m_aStartupEntries[kStartupStoreCount];
    // The same categories under the 32-bit view's keys of a 64-bit prefix; their rows follow
    // those of the 64-bit view.
    std::vector<_REG_VIEW_ENTRY> m_aMissingFonts32, m_aMissingHelpFiles32, m_aMissingSharedDlls32,
        m_aUninstallEntries32;
    std::vector<_REG_VIEW_ENTRY> m_aStartupEntries32[kStartupStoreCount];
    std::vector<std::string> m_aFileExtEntries;
    std::vector<std::string> m_aMissingShortcuts;
    std::vector<std::string> m_aStartMenuShortcuts;
    // The desktop and Start Menu folders the shortcut scanners did not walk (they lead
    // outside the prefix), with the reason.
    std::vector<std::string> m_aShortcutFolderNotes;
    // Wine's stale menu files in the user's home (not of this prefix: of every prefix), and
    // the folders they were found in.
    std::vector<menus::StaleMenuFile> m_aWineMenuFiles;
    menus::MenuHome m_wineMenuHome;
    std::vector<std::string> m_aCookieFiles;
    std::vector<std::string> m_aTempInternetFiles;
    // Beside the two name stores, one record per name (same order) that finds the very file
    // again: a repair deletes these files and no others. And the folders their scanners
    // skipped, with the reason.
    std::vector<CachedFileRecord> m_aCookieFileRecords;
    std::vector<CachedFileRecord> m_aTempInternetFileRecords;
    std::vector<std::string> m_aCookieFolderNotes;
    std::vector<std::string> m_aTempInternetFolderNotes;

    // Empties every store but the cookie and temporary-file stores (with their records and
    // notes), which their scanners empty themselves when they start.
    void Empty();

    // After a repair has cleared the cached internet files and cookies: they are counted no
    // more, and a second repair has none to delete.
    void ForgetCachedFiles();

    // The cached internet files and cookies a repair clears.
    size_t CachedFileCount() const { return m_aCookieFiles.size() + m_aTempInternetFiles.size(); }
};
