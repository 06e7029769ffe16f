// The help file scanner: registered help files that are gone.
#include "app/string_table.h"
#include "scan/registry_enum.h"
#include "scan/scan_engine.h"
#include "vendor/core/registry_object.h"

int CScanEngine::ScanHelpFiles() {
    const std::string prefix(StringText(177));
    const std::string keyPath = "SOFTWARE\\Microsoft\\Windows\\Help";
    scanreg::OpenKey help(HKEY_LOCAL_MACHINE, keyPath);
    if (!help) return 0;
    scanreg::ValueEntry value;
    for (DWORD index = 0; !m_bStop && scanreg::EnumValue(help.Get(), index, value); ++index) {
        PostStatus(prefix + "HKEY_LOCAL_MACHINE\\" + keyPath + "\\" + value.name);
        if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) continue;  // no folder to test
        // Its row names the value by the part of the path after the last backslash; with a
        // backslash in the name that would be another value (perhaps a working one), which
        // the repair would then delete.
        if (value.name.find('\\') != std::string::npos) continue;
        std::string folder = scanreg::TextOf(value);
        if (folder.empty() || folder.back() != '\\') folder += '\\';
        std::string path = folder + value.name;
        if (!path.empty() && !CRegistryObject::FileVerified(path)) m_stores.m_aMissingHelpFiles.push_back(path);
    }
    return 1;
}
