// Writes Windows shortcut (.lnk) files in the Shell Link binary format: a header, a link
// info block naming the target by its local path, and the optional description, relative
// path, working folder, arguments and icon texts. No item-id list is written; Windows and
// the link readers locate the target through the local path. Used to build prefixes that
// hold shortcuts, such as the demo prefix and scanner tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

struct ShellLinkData {
    std::string targetPath;    // local path of the target, "C:\Program Files\App\app.exe"
    std::string description;   // optional texts (UTF-8); empty ones are left out
    std::string relativePath;  // the target relative to the link's folder, "..\App\app.exe"
    std::string workingDir;
    std::string arguments;
    std::string iconLocation;
    bool targetIsFolder = false;
    uint32_t targetSize = 0;   // the target's size as recorded in the header
    uint32_t volumeSerial = 0; // serial number of the target's volume
};

// The bytes of a shortcut file for `link`.
std::string BuildShellLink(const ShellLinkData& link);

// Writes BuildShellLink(link) to `file`, replacing it; false when the file cannot be written.
bool WriteShellLinkFile(const std::filesystem::path& file, const ShellLinkData& link);
