// The startup program scanner: Run values whose program is gone, and their rows.
#include "app/string_table.h"
#include "scan/registry_enum.h"
#include "scan/scan_engine.h"
#include "vendor/core/registry_object.h"

namespace {

struct RunKey {
    HKEY root;
    const char* rootName;
    const char* leaf;
};

const RunKey kRunKeys[kStartupStoreCount] = {
    {HKEY_CURRENT_USER, "HKEY_CURRENT_USER", "Run"},           {HKEY_CURRENT_USER, "HKEY_CURRENT_USER", "RunOnce"},
    {HKEY_CURRENT_USER, "HKEY_CURRENT_USER", "RunServicesOnce"}, {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "Run"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "RunOnce"},     {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "RunServicesOnce"},
};

const char kRunBase[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";

}  // namespace

int CScanEngine::ScanStartupPrograms() {
    const std::string prefix(StringText(173));
    for (int store = 0; store < kStartupStoreCount; ++store) {
        const RunKey& run = kRunKeys[store];
        const std::string keyPath = std::string(kRunBase) + run.leaf;
        scanreg::OpenKey key(run.root, keyPath);
        if (!key) continue;
        scanreg::ValueEntry value;
        for (DWORD index = 0; !m_bStop && scanreg::EnumValue(key.Get(), index, value); ++index) {
            PostStatus(prefix + run.rootName + "\\" + keyPath + value.name);
            // Only text names a program; other data is left alone rather than called missing.
            if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) continue;
            std::string command = scanreg::TextOf(value);
            if (CRegistryObject::FileVerified(command)) continue;
            if (!value.name.empty()) m_stores.m_aStartupEntries[store].push_back({value.name, command});
        }
    }
    return 1;
}

void CScanEngine::TransferStartupEntries() {
    const std::string problem(StringText(137));
    for (int store = 0; store < kStartupStoreCount; ++store) {
        const RunKey& run = kRunKeys[store];
        for (const _REG_VALUE& v : m_stores.m_aStartupEntries[store])
            AddFinding({problem, v.name, std::string(kRunBase) + run.leaf, run.rootName, "VAL"});
    }
}
