// The parts of a .lnk file as its header and size fields lay them out, read before the
// file goes to liblnk: whether every part fits inside the file, and the link info's local
// path as the file stores it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

struct ShellLinkLayout {
    static constexpr uint32_t kIsUnicode = 0x80;  // link flag: the string data is UTF-16

    uint32_t flags = 0;             // the header's link flags
    bool unicodeLocalPath = false;  // the link info gives the local path in UTF-16 too
    // The link info's 8-bit local path (base path and common path suffix), as bytes in the
    // code page of the system that wrote it; empty when the link info names no local path.
    std::string ansiLocalPath;
};

// The layout of the .lnk file `file`; empty when the file cannot be read or the sizes it
// gives for its parts do not fit inside it. liblnk allocates what a size field says before
// it reads, so a few crafted bytes could make it ask for gigabytes; such a file is damaged
// (no shell could use it) and is not handed to it.
std::optional<ShellLinkLayout> ReadShellLinkLayout(const std::filesystem::path& file);
