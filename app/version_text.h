// The program's own version and build (strings 166 and 165) and the version text shown to
// the user: "Quorvane v 1.0 Build 146".
#pragma once

#include <string>

#include "app/string_table.h"

inline std::string VersionText() {
    return "Quorvane v " + std::string(StringText(166)) + ".0 Build " + std::string(StringText(165));
}
