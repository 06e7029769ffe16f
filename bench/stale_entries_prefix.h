// A prefix for the scan benchmarks: `entries` application paths and as many shared DLL
// entries, half of them naming files that exist. Made active; returns its folder.
#pragma once

#include <unistd.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/prefix/prefix.h"
#include "platform/registry/registry_batch.h"
#include "vendor/core/system32.h"

namespace qvbench {

inline std::filesystem::path MakeStaleEntriesPrefix(const std::string& tag, int entries) {
    namespace fs = std::filesystem;
    fs::path root = fs::temp_directory_path() / ("quorvane-" + tag + "-" + std::to_string(::getpid()));
    fs::create_directories(root / "dosdevices");
    fs::create_directories(root / "drive_c/App");
    fs::create_symlink("../drive_c", root / "dosdevices/c:");
    for (int i = 0; i < entries / 2; ++i) std::ofstream(root / ("drive_c/App/f" + std::to_string(i) + ".dll"));
    qv::SetActivePrefix(std::make_shared<qv::Prefix>(root));
    qv::RegistryBatch batch;
    for (int i = 0; i < entries; ++i) {
        std::string file = "C:\\App\\f" + std::to_string(i) + ".dll";
        CSystem32::SetRegistryValue(
            "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\a" + std::to_string(i) + ".exe", "", file,
            HKEY_LOCAL_MACHINE);
        CSystem32::SetRegistryValue("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls", file, 1,
                                    HKEY_LOCAL_MACHINE);
    }
    batch.Commit();
    return root;
}

}  // namespace qvbench
