// What a desktop entry written by Wine's menu builder starts. Such an entry is recognised by
// its Exec line alone: "env WINEPREFIX=<prefix> <wine launcher> ...", the launcher being wine,
// wine64, wine-stable or the like (by file name, with or without a folder). A comment or a
// name that mentions Wine means nothing.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace menus {

struct WineLaunch {
    enum class Form {
        Shortcut,     // a Start Menu entry: the .lnk, by its Windows path
        UnixShortcut, // an older Start Menu entry: start.exe /Unix <Unix path of the .lnk>
        Program,      // a Desktop entry: the program, by its Windows path
        ProgIdOpen,   // a file type association: start /ProgIDOpen <ProgID> %f
        Other,        // Wine's, but of a form not judged here (always kept)
    };
    std::filesystem::path prefix;
    Form form = Form::Other;
    std::string target;  // the .lnk or program path, or the ProgID
};

// The launch of an Exec line split into words; empty when it is not Wine's.
std::optional<WineLaunch> ReadWineLaunch(const std::vector<std::string>& words);

}  // namespace menus
