#include "app/derived_paths.h"

#include "app/app_utils.h"

#include <shlwapi.h>
#include <strings.h>

#include <mutex>
#include <optional>

namespace {

struct DerivedPaths {
    std::string helpFile;
    std::string backupFolder;
};

DerivedPaths ComputeDerivedPaths() {
    DerivedPaths paths;
    paths.helpFile = HelpFolderOf(GetModuleDirectory()) + "\\Quorvane.chm";
    paths.backupFolder = GetAppDataFolder() + "\\Quorvane\\Backup\\";
    return paths;
}

std::mutex g_mutex;
std::optional<DerivedPaths> g_paths;

// Callers get copies: worker threads may ask while another thread refreshes.
DerivedPaths CurrentPaths() {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_paths) g_paths = ComputeDerivedPaths();
    return *g_paths;
}

}  // namespace

std::string HelpFolderOf(const std::string& moduleDirectory) {
    const std::string beside = moduleDirectory + "\\Help";
    if (PathIsDirectoryA(beside.c_str())) return beside;
    // Installed programs share one bin folder; their data lives in <prefix>/share/<name>.
    const size_t slash = moduleDirectory.rfind('\\');
    if (slash != std::string::npos && strcasecmp(moduleDirectory.c_str() + slash + 1, "bin") == 0) {
        const std::string installed = moduleDirectory.substr(0, slash) + "\\share\\quorvane\\Help";
        if (PathIsDirectoryA(installed.c_str())) return installed;
    }
    return beside;
}

std::string GetHelpFilePath() {
    return CurrentPaths().helpFile;
}

std::string GetBackupFolder() {
    return CurrentPaths().backupFolder;
}

void RefreshDerivedPaths() {
    DerivedPaths fresh = ComputeDerivedPaths();
    std::lock_guard<std::mutex> lock(g_mutex);
    g_paths = std::move(fresh);
}
