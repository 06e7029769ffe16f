#include "app/derived_paths.h"

#include "app/app_utils.h"

#include <mutex>
#include <optional>

namespace {

struct DerivedPaths {
    std::string helpFile;
    std::string backupFolder;
};

DerivedPaths ComputeDerivedPaths() {
    DerivedPaths paths;
    paths.helpFile = GetModuleDirectory() + "\\Help\\" + "Quorvane.chm";
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
