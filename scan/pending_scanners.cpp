// Scanners whose categories are not examined yet: they find nothing, so the scan runs its
// fixed order of steps and these categories add no rows.
#include "scan/scan_engine.h"

void CScanEngine::ScanComRegistrations(bool) {}
int CScanEngine::ScanFonts() { return 0; }
int CScanEngine::ScanHelpFiles() { return 0; }
int CScanEngine::ScanUninstallEntries() { return 0; }
int CScanEngine::ScanStartupPrograms() { return 0; }
int CScanEngine::ScanFileExtensions() { return 0; }
int CScanEngine::ScanShortcutsFirstGroup() { return 0; }
int CScanEngine::ScanShortcutsSecondGroup() { return 0; }
int CScanEngine::ScanTempInternetFiles() {
    m_stores.m_aTempInternetFiles.clear();
    return 0;
}
int CScanEngine::ScanCookies() {
    m_stores.m_aCookieFiles.clear();
    return 0;
}
void CScanEngine::TransferStartupEntries() {}
void CScanEngine::TransferFileExtensions() {}
