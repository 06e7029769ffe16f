#include "scan/startup_item_readers.h"

#include "scan/registry_enum.h"
#include "vendor/core/system32.h"

int ReadEnabledStartupItems(IStartupRowSink& sink) {
    const std::string runKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    const struct {
        HKEY root;
        const char* name;
    } roots[] = {{HKEY_CURRENT_USER, "HKCU"}, {HKEY_LOCAL_MACHINE, "HKLM"}};
    for (const auto& r : roots) {
        scanreg::OpenKey key(r.root, runKey);
        if (!key) continue;
        scanreg::ValueEntry value;
        for (DWORD index = 0; scanreg::EnumValue(key.Get(), index, value); ++index)
            sink.AddStartupRow(value.name, scanreg::TextOf(value), r.name, runKey, "");
    }
    return 1;
}

int ReadDisabledStartupItems(IStartupRowSink& sink) {
    const std::string store = "SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg";
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
