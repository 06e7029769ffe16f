// The archive a clean of Wine's menu files writes before it removes anything: a tar file of
// the files, each under its path relative to the home folder, with its mode and time, so
// that a restore puts every one back exactly.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace menus {

struct ArchivedFile {
    std::string name;     // relative to the home folder, '/'-separated
    std::string content;
    mode_t mode = 0644;   // permission bits
    timespec mtime{};
};

// Reads a regular file (never through a link) as it is now; empty when it cannot be.
std::optional<ArchivedFile> TakeFile(const std::filesystem::path& home, const std::filesystem::path& file);

// Writes a new archive at `archive` (which must not exist): under a temporary name, synced
// to the disk, read back and compared, and only then given its name. False with `error`.
bool WriteMenuArchive(const std::filesystem::path& archive, const std::vector<ArchivedFile>& files, std::string& error);

// The files of an archive; empty with `error` when it cannot be read whole. Members that
// are not regular files, or whose names are absolute or climb with "..", are refused.
std::optional<std::vector<ArchivedFile>> ReadMenuArchive(const std::filesystem::path& archive, std::string& error);
// The same for an archive's bytes.
std::optional<std::vector<ArchivedFile>> ReadMenuArchiveBytes(std::string_view bytes, std::string& error);

}  // namespace menus
