#include "scan/scan_work_estimate.h"

#include <windows.h>

#include <string>

#include "scan/machine_key_views.h"
#include "scan/registry_enum.h"
#include "scan/scanned_keys.h"

namespace {

// Entries checked per shortcut and cache folder walk: a guess, they cannot be counted
// without walking them.
constexpr uint64_t kFolderWalkEntries = 50;

uint64_t EntriesOf(HKEY root, const std::string& path) {
    scanreg::OpenKey key(root, path);
    if (!key) return 0;
    DWORD subkeys = 0, values = 0;
    if (RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return 0;
    return uint64_t(subkeys) + values;
}

uint64_t ClassEntries(bool machine) {
    const HKEY root = machine ? HKEY_LOCAL_MACHINE : HKEY_CLASSES_ROOT;
    const std::string base = machine ? scankeys::kClasses : "";
    uint64_t n = EntriesOf(root, base);
    for (const char* leaf : {"CLSID", "TypeLib", "Interface"}) {
        const std::string path = base.empty() ? std::string(leaf) : base + "\\" + leaf;
        for (const MachineKeyView& view : ClassKeyViews(machine, path)) n += EntriesOf(root, view.path);
    }
    return n;
}

uint64_t CategoryEntries() {
    uint64_t n = 0;
    for (const char* path : {scankeys::kAppPaths, scankeys::kSharedDlls, scankeys::kFonts, scankeys::kHelp,
                             scankeys::kHtmlHelp, scankeys::kUninstall})
        for (const MachineKeyView& view : MachineKeyViews(path)) n += EntriesOf(HKEY_LOCAL_MACHINE, view.path);
    for (const char* leaf : scankeys::kRunLeaves) {
        const std::string run = std::string(scankeys::kRunBase) + leaf;
        n += EntriesOf(HKEY_CURRENT_USER, run);
        for (const MachineKeyView& view : MachineKeyViews(run)) n += EntriesOf(HKEY_LOCAL_MACHINE, view.path);
    }
    n += EntriesOf(HKEY_CURRENT_USER, scankeys::kFileExts);
    // Desktop and Start Menu shortcuts, temporary Internet files, cookies.
    return n + 4 * kFolderWalkEntries;
}

}  // namespace

std::array<uint64_t, 3> EstimateScanWork() { return {ClassEntries(false), ClassEntries(true), CategoryEntries()}; }
