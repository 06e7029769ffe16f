// The fonts scanner: installed fonts whose file is gone.
#include "app/string_table.h"
#include "scan/machine_key_views.h"
#include "scan/registry_enum.h"
#include "scan/scan_engine.h"
#include "scan/scanned_keys.h"
#include "vendor/core/registry_object.h"

int CScanEngine::ScanFonts() {
    const std::string prefix(StringText(175));
    int opened = 0;
    for (const MachineKeyView& view : MachineKeyViews(scankeys::kFonts)) {
        scanreg::OpenKey fonts(HKEY_LOCAL_MACHINE, view.path);
        if (!fonts) continue;
        opened = 1;
        qv::ScopedFileSystemView files(view.files);
        auto missing = [&](const std::string& name, const std::string& data) {
            if (view.bits32)
                m_stores.m_aMissingFonts32.push_back({view.path, name, data});
            else
                m_stores.m_aMissingFonts.push_back({name, data});
        };
        scanreg::ValueEntry value;
        for (DWORD index = 0; !m_bStop && scanreg::EnumValue(fonts.Get(), index, value); ++index) {
            EntryStatus([&] { return prefix + "HKEY_LOCAL_MACHINE\\" + view.path + "\\" + value.name; });
            std::string data = scanreg::TextOf(value);
            if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) continue;  // no file name to test
            if (data.size() >= 3 && data[1] == ':' && data[2] == '\\') {
                if (!CRegistryObject::FileVerified(data) && !value.name.empty()) missing(value.name, data);
            } else {
                // A bare file name in the Windows fonts folder: the system folder without its
                // last 8 characters ("system32") is the Windows folder with its backslash.
                char system[MAX_PATH] = {};
                UINT n = GetSystemDirectoryA(system, MAX_PATH);
                std::string windows = (n >= 8 && n < MAX_PATH) ? std::string(system, n - 8) : std::string();
                if (!CRegistryObject::FileVerified(windows + "Fonts\\" + data)) missing(value.name, data);
            }
        }
    }
    return opened;
}
