// The startup program scanner: Run values whose program is gone, and their rows.
#include "app/string_table.h"
#include "scan/machine_key_views.h"
#include "scan/registry_enum.h"
#include "scan/scan_engine.h"
#include "scan/scanned_keys.h"
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

using scankeys::kRunBase;

}  // namespace

int CScanEngine::ScanStartupPrograms() {
    const std::string prefix(StringText(173));
    for (int store = 0; store < kStartupStoreCount; ++store) {
        const RunKey& run = kRunKeys[store];
        const std::string keyPath = std::string(kRunBase) + run.leaf;
        // Per-user keys are shared by 32-bit and 64-bit programs; the machine's have a
        // 32-bit view of their own.
        std::vector<MachineKeyView> views{{keyPath, qv::FileSystemView::Unknown, false}};
        if (run.root == HKEY_LOCAL_MACHINE) views = MachineKeyViews(keyPath);
        for (const MachineKeyView& view : views) {
            scanreg::OpenKey key(run.root, view.path);
            if (!key) continue;
            qv::ScopedFileSystemView files(view.files);
            scanreg::ValueEntry value;
            for (DWORD index = 0; !m_bStop && scanreg::EnumValue(key.Get(), index, value); ++index) {
                EntryStatus([&] { return prefix + run.rootName + "\\" + view.path + value.name; });
                // Only text names a program; other data is left alone rather than called missing.
                if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) continue;
                std::string command = scanreg::TextOf(value);
                if (value.name.empty() || CRegistryObject::FileVerified(command)) continue;
                if (view.bits32)
                    m_stores.m_aStartupEntries32[store].push_back({view.path, value.name, command});
                else
                    m_stores.m_aStartupEntries[store].push_back({value.name, command});
            }
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
        for (const _REG_VIEW_ENTRY& v : m_stores.m_aStartupEntries32[store])
            AddFinding({problem, v.name, v.key, run.rootName, "VAL"});
    }
}
