// What the scanners of one scan found, per category, in the order they met it.
#pragma once

#include <string>
#include <vector>

#include "scan/finding_records.h"

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

    std::vector<_REG_VALUE> m_aMissingFonts;
    std::vector<std::string> m_aMissingHelpFiles;
    std::vector<std::string> m_aMissingSharedDlls;
    std::vector<std::string> m_aUninstallEntries;
    std::vector<_REG_VALUE> m_aStartupEntries[kStartupStoreCount];
    std::vector<std::string> m_aFileExtEntries;
    std::vector<std::string> m_aMissingShortcuts;
    std::vector<std::string> m_aStartMenuShortcuts;
    std::vector<std::string> m_aCookieFiles;
    std::vector<std::string> m_aTempInternetFiles;

    // Empties every store but the cookie and temporary-file stores, which their scanners
    // empty themselves when they start.
    void Empty();

    // The cached internet files and cookies a repair clears.
    size_t CachedFileCount() const { return m_aCookieFiles.size() + m_aTempInternetFiles.size(); }
};
