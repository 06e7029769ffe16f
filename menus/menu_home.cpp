#include "menus/menu_home.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

extern char** environ;

namespace menus {

namespace {

// XDG_DESKTOP_DIR="$HOME/Desktop" as user-dirs.dirs writes it; empty when not given.
std::filesystem::path DesktopOfUserDirs(const std::filesystem::path& file, const std::filesystem::path& home) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("XDG_DESKTOP_DIR=", 0) != 0) continue;
        std::string value = line.substr(16);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME/", 0) == 0) return home / value.substr(6);
        if (value == "$HOME" || value == "$HOME/") return home;  // only its own files are looked at, never below
        if (!value.empty() && value.front() == '/') return value;
        return {};
    }
    return {};
}

}  // namespace

MenuHome MenuHome::FromEnvironment() {
    std::map<std::string, std::string> env;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        const std::string entry = *e;
        const size_t eq = entry.find('=');
        if (eq != std::string::npos) env.emplace(entry.substr(0, eq), entry.substr(eq + 1));
    }
    return FromVariables(env);
}

MenuHome MenuHome::FromVariables(const std::map<std::string, std::string>& env) {
    auto get = [&env](const char* name) {
        auto it = env.find(name);
        return it == env.end() ? std::string() : it->second;
    };
    MenuHome h;
    h.home = get("HOME");
    const std::string data = get("XDG_DATA_HOME");
    const std::string config = get("XDG_CONFIG_HOME");
    // Relative values are ignored, as the XDG rules ask.
    h.dataHome = !data.empty() && data.front() == '/' ? std::filesystem::path(data)
                 : h.home.empty()                     ? std::filesystem::path()
                                                      : h.home / ".local" / "share";
    h.configHome = !config.empty() && config.front() == '/' ? std::filesystem::path(config)
                   : h.home.empty()                         ? std::filesystem::path()
                                                            : h.home / ".config";
    if (!h.home.empty()) {
        h.desktop = DesktopOfUserDirs(h.configHome / "user-dirs.dirs", h.home);
        if (h.desktop.empty()) h.desktop = h.home / "Desktop";
    }
    return h;
}

bool MenuHome::Holds(const std::filesystem::path& path) const {
    const std::filesystem::path p = path.lexically_normal();
    for (const std::filesystem::path& folder : {Applications(), MergedMenus(), Directories(), MimePackages(), Icons()}) {
        if (folder.empty()) continue;
        const std::filesystem::path rel = p.lexically_relative(folder.lexically_normal());
        if (!rel.empty() && *rel.begin() != ".." && rel != ".") return true;
    }
    // The desktop folder may be the home itself: only its own files, never those below.
    return !desktop.empty() && p.has_filename() && p.parent_path() == desktop.lexically_normal();
}

}  // namespace menus
