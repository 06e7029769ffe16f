// The folders of the user's home where Wine's menu builder writes: the XDG data and
// configuration folders and the desktop folder (XDG_DESKTOP_DIR of user-dirs.dirs).
#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace menus {

struct MenuHome {
    std::filesystem::path home;
    std::filesystem::path dataHome;    // $XDG_DATA_HOME, else ~/.local/share
    std::filesystem::path configHome;  // $XDG_CONFIG_HOME, else ~/.config
    std::filesystem::path desktop;     // XDG_DESKTOP_DIR, else ~/Desktop

    // From this process's environment (`env` replaces it in tests).
    static MenuHome FromEnvironment();
    static MenuHome FromVariables(const std::map<std::string, std::string>& env);

    std::filesystem::path Applications() const { return dataHome / "applications"; }
    std::filesystem::path MergedMenus() const { return configHome / "menus" / "applications-merged"; }
    std::filesystem::path Directories() const { return dataHome / "desktop-directories"; }
    std::filesystem::path MimePackages() const { return dataHome / "mime" / "packages"; }
    std::filesystem::path Icons() const { return dataHome / "icons"; }

    // True when `path` lies in one of the folders above, or directly in the desktop folder (by
    // its text; links are not followed anywhere, so the text is where the file is).
    bool Holds(const std::filesystem::path& path) const;
};

}  // namespace menus
