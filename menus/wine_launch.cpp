#include "menus/wine_launch.h"

#include <algorithm>
#include <cctype>

namespace menus {

namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool EndsWithNoCase(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && Lower(s.substr(s.size() - tail.size())) == tail;
}

// wine, wine64, wine32, wine-stable, wine64-devel, wine-staging-9.0 ...; not wineserver,
// winecfg or winefile.
bool IsWineLauncher(const std::string& word) {
    const std::string name = std::filesystem::path(word).filename().string();
    size_t i = 0;
    if (name.compare(0, 4, "wine") != 0) return false;
    i = 4;
    if (name.compare(i, 2, "64") == 0 || name.compare(i, 2, "32") == 0) i += 2;
    if (i == name.size()) return true;
    if (name[i] != '-' || i + 1 == name.size()) return false;
    return std::all_of(name.begin() + static_cast<long>(i) + 1, name.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '.' || c == '-' || c == '_';
    });
}

// "C:\..." or "c:/..."; Wine's entries name drive paths.
bool IsDrivePath(const std::string& s) {
    return s.size() >= 3 && std::isalpha(static_cast<unsigned char>(s[0])) && s[1] == ':' && (s[2] == '\\' || s[2] == '/');
}

}  // namespace

std::optional<WineLaunch> ReadWineLaunch(const std::vector<std::string>& words) {
    // env WINEPREFIX=<prefix> [more assignments] <launcher> args...
    if (words.size() < 3 || std::filesystem::path(words[0]).filename() != "env") return std::nullopt;
    WineLaunch launch;
    size_t i = 1;
    bool prefixSeen = false;
    for (; i < words.size() && words[i].find('=') != std::string::npos && words[i][0] != '='; ++i) {
        if (words[i].compare(0, 11, "WINEPREFIX=") == 0) {
            launch.prefix = words[i].substr(11);
            prefixSeen = true;
        }
    }
    if (!prefixSeen || launch.prefix.empty() || !launch.prefix.is_absolute()) return std::nullopt;
    if (i >= words.size() || !IsWineLauncher(words[i])) return std::nullopt;
    const std::vector<std::string> args(words.begin() + static_cast<long>(i) + 1, words.end());
    if (args.size() == 1 && IsDrivePath(args[0]) && EndsWithNoCase(args[0], ".lnk")) {
        launch.form = WineLaunch::Form::Shortcut;
        launch.target = args[0];
    } else if (args.size() >= 3 && EndsWithNoCase(args[0], "start.exe") && Lower(args[1]) == "/unix" &&
               EndsWithNoCase(args[2], ".lnk")) {
        launch.form = WineLaunch::Form::UnixShortcut;
        launch.target = args[2];
    } else if (args.size() >= 3 && Lower(args[0]) == "start" && Lower(args[1]) == "/progidopen") {
        launch.form = WineLaunch::Form::ProgIdOpen;
        launch.target = args[2];
    } else if (!args.empty() && IsDrivePath(args[0])) {
        launch.form = WineLaunch::Form::Program;
        launch.target = args[0];
    }
    return launch;
}

}  // namespace menus
