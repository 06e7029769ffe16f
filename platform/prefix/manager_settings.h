// The readers of the Wine front-ends' settings that name prefixes: each takes a file's
// text and returns what it found, or sets `error` when the text is malformed. They never
// throw; the parsers' exceptions are caught here.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qv {

// "Name" at the top of a Bottles bottle.yml.
std::optional<std::string> BottleName(const std::string& yamlText, std::string& error);

// "prefix" under "game" in a Lutris game's .yml.
std::optional<std::string> LutrisGamePrefix(const std::string& yamlText, std::string& error);

// A Heroic GamesConfig/<app>.json: each app name with its "winePrefix".
std::vector<std::pair<std::string, std::string>> HeroicWinePrefixes(const std::string& jsonText, std::string& error);

// The titles in a Heroic store library (store_cache/*_library.json): app_name -> title for
// every object of the top-level arrays that has both.
std::map<std::string, std::string> HeroicTitles(const std::string& jsonText, std::string& error);

// The library folders a Steam libraryfolders.vdf lists: every "path" under "libraryfolders"
// (and, in the older layout, the numbered entries that hold a path directly).
std::vector<std::string> SteamLibraryFolders(const std::string& vdfText, std::string& error);

// "name" under "AppState" in a Steam appmanifest_<appid>.acf.
std::optional<std::string> SteamAppName(const std::string& acfText, std::string& error);

}  // namespace qv
