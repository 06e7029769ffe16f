// The uninstall entry scanner: Add or Remove Programs entries without any uninstall data.
#include "app/string_table.h"
#include "scan/registry_enum.h"
#include "scan/scan_engine.h"

bool CScanEngine::HasUninstallValue(HKEY key) {
    static const char* const kMarkers[] = {"SystemComponent", "NoModify",         "NoRepair",    "UninstallString",
                                           "QuietUninstallString", "WindowsInstaller", "FinishedFlag"};
    for (const char* name : kMarkers) {
        DWORD type = 0, size = 0;
        if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && size != 0) return true;
    }
    return false;
}

int CScanEngine::ScanUninstallEntries() {
    const std::string prefix(StringText(176));
    const std::string keyPath = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    scanreg::OpenKey uninstall(HKEY_LOCAL_MACHINE, keyPath);
    if (!uninstall) return 0;
    std::string name;
    for (DWORD index = 0; !m_bStop && scanreg::EnumSubkey(uninstall.Get(), index, name); ++index) {
        if (name.empty()) continue;
        PostStatus(prefix + "HKEY_LOCAL_MACHINE\\" + keyPath + "\\" + name);
        HKEY entry = nullptr;
        if (RegOpenKeyExA(uninstall.Get(), name.c_str(), 0, KEY_ALL_ACCESS, &entry) != ERROR_SUCCESS) {
            m_stores.m_aUninstallEntries.push_back(name);
            continue;
        }
        if (!HasUninstallValue(entry)) m_stores.m_aUninstallEntries.push_back(name);
        RegCloseKey(entry);
    }
    return 1;
}
