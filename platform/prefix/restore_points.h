// Restore points of a prefix: consistent snapshots of its three registry files, kept in the
// folder "quorvane-restore-points" of the prefix (beside system.reg), one numbered folder
// each with the files and an "info.txt" holding the description and the time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qv {

struct RestorePoint {
    int64_t sequence = 0;
    std::string description;
    int64_t time = 0;  // Unix seconds
    std::filesystem::path folder;
};

std::filesystem::path RestorePointFolder(const std::filesystem::path& prefix);

// Takes a snapshot now. Refuses (false, `error` set) while Wine runs in the prefix, since
// its files may then lag the registry it holds; holds Wine's lock while copying.
bool CreatePrefixRestorePoint(const std::filesystem::path& prefix, const std::string& description,
                              RestorePoint& created, std::string& error);

// All restore points, oldest first.
std::vector<RestorePoint> ListRestorePoints(const std::filesystem::path& prefix);

// Puts the registry files back exactly as restore point `sequence` holds them, after taking
// a restore point of the present state. Refused while Wine runs.
bool RollBackToRestorePoint(const std::filesystem::path& prefix, int64_t sequence, RestorePoint& saved,
                            std::string& error);

}  // namespace qv
