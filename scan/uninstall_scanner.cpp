// The uninstall entry scanner: Add or Remove Programs entries without any uninstall data.
#include "app/string_table.h"
#include "scan/machine_key_views.h"
#include "scan/registry_enum.h"
#include "scan/scan_engine.h"
#include "scan/scanned_keys.h"

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
    int opened = 0;
    for (const MachineKeyView& view : MachineKeyViews(scankeys::kUninstall)) {
        scanreg::OpenKey uninstall(HKEY_LOCAL_MACHINE, view.path);
        if (!uninstall) continue;
        opened = 1;
        auto offending = [&](const std::string& name) {
            if (view.bits32)
                m_stores.m_aUninstallEntries32.push_back({view.path, name, ""});
            else
                m_stores.m_aUninstallEntries.push_back(name);
        };
        std::string name;
        for (DWORD index = 0; !m_bStop && scanreg::EnumSubkey(uninstall.Get(), index, name); ++index) {
            if (name.empty()) continue;
            EntryStatus([&] { return prefix + "HKEY_LOCAL_MACHINE\\" + view.path + "\\" + name; });
            HKEY entry = nullptr;
            if (RegOpenKeyExA(uninstall.Get(), name.c_str(), 0, KEY_ALL_ACCESS, &entry) != ERROR_SUCCESS) {
                offending(name);
                continue;
            }
            if (!HasUninstallValue(entry)) offending(name);
            RegCloseKey(entry);
        }
    }
    return opened;
}
