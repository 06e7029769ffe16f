// The application path scanner: registered application paths whose program is gone.
#include <algorithm>

#include "app/string_table.h"
#include "scan/machine_key_views.h"
#include "scan/registry_enum.h"
#include "scan/scan_engine.h"
#include "scan/scanned_keys.h"
#include "vendor/core/registry_object.h"
#include "vendor/core/system32.h"


int CScanEngine::ScanApplicationPaths() {
    const std::string prefix(StringText(171));
    const std::string problem(StringText(170));
    int opened = 0;
    for (const MachineKeyView& view : MachineKeyViews(scankeys::kAppPaths)) {
        scanreg::OpenKey appPaths(HKEY_LOCAL_MACHINE, view.path);
        if (!appPaths) continue;
        opened = 1;
        qv::ScopedFileSystemView files(view.files);
        std::string name;
        for (DWORD index = 0; !m_bStop && scanreg::EnumSubkey(appPaths.Get(), index, name); ++index) {
            if (name.empty()) continue;
            auto sub = [&] { return view.path + "\\" + name; };
            EntryStatus([&] { return prefix + "HKLM\\" + sub(); });
            // The entry's own key, opened through the list it was found in.
            scanreg::OpenKey app(appPaths.Get(), name);
            if (!app) continue;
            scanreg::ValueEntry value;
            for (DWORD v = 0; !m_bStop && scanreg::EnumValue(app.Get(), v, value); ++v) {
                std::string text = scanreg::TextOf(value);
                text.erase(std::remove(text.begin(), text.end(), ';'), text.end());
                if (text.find('%') != std::string::npos) continue;  // paths with variables are not tested
                if (!value.name.empty()) continue;                  // only the default value names the program
                if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) continue;  // no text, no path
                // The program is the default value's text as stored (semicolons included), up
                // to its first NUL: what reading the value again would give.
                text = scanreg::TextOf(value);
                text.erase(std::remove(text.begin(), text.end(), '"'), text.end());
                // A default value may carry arguments ("C:\App\app.exe /x"): the entry is only
                // dead when the file it names is missing too, so a working entry is never listed.
                // The full check goes first: its answer is usually remembered from another
                // entry naming the same file, and the plain look-up is then needed only for
                // the texts it calls missing.
                if (CRegistryObject::FileVerified(text) || FileExists(text)) continue;
                AddFinding({problem, name + text, sub(), "HKEY_LOCAL_MACHINE", "KEY"});
            }
        }
    }
    return opened;
}
