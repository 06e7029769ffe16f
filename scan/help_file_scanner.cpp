// The help file scanner: registered help files that are gone.
#include "app/string_table.h"
#include "scan/machine_key_views.h"
#include "scan/registry_enum.h"
#include "scan/scan_engine.h"
#include "scan/scanned_keys.h"
#include "vendor/core/registry_object.h"

int CScanEngine::ScanHelpFiles() {
    const std::string prefix(StringText(177));
    int opened = 0;
    for (const MachineKeyView& view : MachineKeyViews(scankeys::kHelp)) {
        scanreg::OpenKey help(HKEY_LOCAL_MACHINE, view.path);
        if (!help) continue;
        opened = 1;
        qv::ScopedFileSystemView files(view.files);
        scanreg::ValueEntry value;
        for (DWORD index = 0; !m_bStop && scanreg::EnumValue(help.Get(), index, value); ++index) {
            EntryStatus([&] { return prefix + "HKEY_LOCAL_MACHINE\\" + view.path + "\\" + value.name; });
            if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) continue;  // no folder to test
            // Its row names the value by the part of the path after the last backslash; with a
            // backslash in the name that would be another value (perhaps a working one), which
            // the repair would then delete.
            if (value.name.find('\\') != std::string::npos) continue;
            std::string folder = scanreg::TextOf(value);
            if (folder.empty() || folder.back() != '\\') folder += '\\';
            std::string path = folder + value.name;
            if (path.empty() || CRegistryObject::FileVerified(path)) continue;
            if (view.bits32)
                m_stores.m_aMissingHelpFiles32.push_back({view.path, value.name, path});
            else
                m_stores.m_aMissingHelpFiles.push_back(path);
        }
    }
    return opened;
}
