// The game names of Lutris's database (pga.db, table "games"), by the base name of each
// game's .yml file (column "configpath").
#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace qv {

// Opens the database read-only; an empty map with `error` set when it cannot be read.
std::map<std::string, std::string> LutrisGameNames(const std::filesystem::path& database, std::string& error);

}  // namespace qv
