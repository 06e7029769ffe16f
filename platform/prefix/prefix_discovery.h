// Finding the Wine prefixes on this machine: $WINEPREFIX, ~/.wine and the prefixes of the
// Wine front-ends (Bottles, Steam's Proton, Lutris, Heroic, PlayOnLinux, CrossOver), each
// read from the few folders and settings files where that front-end keeps them. No walk
// of the home folder: only the listed folders, one level deep.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qv {

struct DiscoveryEnvironment {
    std::filesystem::path home;
    std::optional<std::string> winePrefix;  // $WINEPREFIX when set and not empty
    std::filesystem::path dataHome;         // $XDG_DATA_HOME, else ~/.local/share
    std::filesystem::path configHome;       // $XDG_CONFIG_HOME, else ~/.config
};

// The environment of this process (HOME, WINEPREFIX, XDG_DATA_HOME, XDG_CONFIG_HOME).
DiscoveryEnvironment ProcessDiscoveryEnvironment();

struct DiscoveredPrefix {
    std::filesystem::path path;  // the real path (links resolved)
    std::string name;            // what the front-end calls it, else its folder's name
    std::string source;          // "WINEPREFIX", "wine", "bottles", "bottles-flatpak", "steam",
                                 // "lutris", "heroic", "playonlinux" or "crossover"
    std::string note;            // why the name is only a stand-in, say; usually empty
};

struct PrefixDiscovery {
    std::vector<DiscoveredPrefix> prefixes;  // each real path once, the first source's entry
    std::vector<std::string> notes;          // settings files skipped, with why
};

// True when `folder` holds system.reg or user.reg.
bool LooksLikePrefix(const std::filesystem::path& folder);

PrefixDiscovery DiscoverPrefixes(const DiscoveryEnvironment& env);

}  // namespace qv
