// The fonts scanner: installed fonts whose file is gone.
#include "app/string_table.h"
#include "scan/registry_enum.h"
#include "scan/scan_engine.h"
#include "vendor/core/registry_object.h"

int CScanEngine::ScanFonts() {
    const std::string prefix(StringText(175));
    const std::string keyPath = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
    scanreg::OpenKey fonts(HKEY_LOCAL_MACHINE, keyPath);
    if (!fonts) return 0;
    scanreg::ValueEntry value;
    for (DWORD index = 0; !m_bStop && scanreg::EnumValue(fonts.Get(), index, value); ++index) {
        PostStatus(prefix + "HKEY_LOCAL_MACHINE\\" + keyPath + "\\" + value.name);
        std::string data = scanreg::TextOf(value);
        if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) continue;  // no file name to test
        if (data.size() >= 3 && data[1] == ':' && data[2] == '\\') {
            if (!CRegistryObject::FileVerified(data) && !value.name.empty())
                m_stores.m_aMissingFonts.push_back({value.name, data});
        } else {
            // A bare file name in the Windows fonts folder: the system folder without its
            // last 8 characters ("system32") is the Windows folder with its backslash.
            char system[MAX_PATH] = {};
            UINT n = GetSystemDirectoryA(system, MAX_PATH);
            std::string windows = (n >= 8 && n < MAX_PATH) ? std::string(system, n - 8) : std::string();
            if (!CRegistryObject::FileVerified(windows + "Fonts\\" + data))
                m_stores.m_aMissingFonts.push_back({value.name, data});
        }
    }
    return 1;
}
