#include "scan/startup_item_readers.h"

#include "scan/machine_key_views.h"
#include "scan/registry_enum.h"
#include "scan/scanned_keys.h"
#include "vendor/core/system32.h"

int ReadEnabledStartupItems(IStartupRowSink& sink) {
    const std::string runKey = std::string(scankeys::kRunBase) + "Run";
    // The user's Run key, then the machine's in each registry view: a 32-bit program's
    // machine-wide entry is in SOFTWARE\Wow6432Node\...\Run, and its row names that key, so
    // that switching it off and on again puts it back where it was.
    std::vector<std::pair<HKEY, MachineKeyView>> keys{{HKEY_CURRENT_USER, {runKey, qv::FileSystemView::Unknown}}};
    for (const MachineKeyView& view : MachineKeyViews(runKey)) keys.push_back({HKEY_LOCAL_MACHINE, view});
    for (const auto& [root, view] : keys) {
        scanreg::OpenKey key(root, view.path);
        if (!key) continue;
        scanreg::ValueEntry value;
        for (DWORD index = 0; scanreg::EnumValue(key.Get(), index, value); ++index)
            sink.AddStartupRow(value.name, scanreg::TextOf(value), root == HKEY_CURRENT_USER ? "HKCU" : "HKLM",
                               view.path, "");
    }
    return 1;
}

int ReadDisabledStartupItems(IStartupRowSink& sink) {
    const std::string store = scankeys::kStartupStore;
    scanreg::OpenKey key(HKEY_LOCAL_MACHINE, store);
    if (!key) return 0;
    std::string name;
    for (DWORD index = 0; scanreg::EnumSubkey(key.Get(), index, name); ++index) {
        if (name.empty()) continue;
        const std::string itemKey = store + "\\" + name;
        scanreg::OpenKey item(HKEY_LOCAL_MACHINE, itemKey);
        if (!item) continue;
        std::string texts[4];
        const char* names[4] = {"item", "command", "hkey", "key"};
        for (int i = 0; i < 4; ++i)
            if (!CSystem32::GetRegistryValue(itemKey, names[i], texts[i], HKEY_LOCAL_MACHINE)) texts[i].clear();
        sink.AddStartupRow(texts[0], texts[1], texts[2], texts[3], "");
    }
    return 1;
}
