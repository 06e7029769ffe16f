// The shared DLL scanner: reference counts of DLLs that no longer exist.
#include "app/string_table.h"
#include "scan/machine_key_views.h"
#include "scan/registry_enum.h"
#include "scan/scan_engine.h"
#include "scan/scanned_keys.h"
#include "vendor/core/registry_object.h"

int CScanEngine::ScanSharedDlls() {
    const std::string prefix(StringText(172));
    int opened = 0;
    for (const MachineKeyView& view : MachineKeyViews(scankeys::kSharedDlls)) {
        scanreg::OpenKey dlls(HKEY_LOCAL_MACHINE, view.path);
        if (!dlls) continue;
        opened = 1;
        qv::ScopedFileSystemView files(view.files);
        scanreg::ValueEntry value;
        for (DWORD index = 0; !m_bStop && scanreg::EnumValue(dlls.Get(), index, value, false); ++index) {
            // The value names are the DLLs' paths; the data (the counts) is not read.
            EntryStatus([&] { return prefix + value.name; });
            if (value.name.empty() || CRegistryObject::FileVerified(value.name)) continue;
            if (view.bits32)
                m_stores.m_aMissingSharedDlls32.push_back({view.path, value.name, value.name});
            else
                m_stores.m_aMissingSharedDlls.push_back(value.name);
        }
    }
    return opened;
}
