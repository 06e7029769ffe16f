// The program's own version and build (strings 166 and 165): the version text shown to the
// user, "Quorvane v 1.0 Build 146", and the line a program prints for --version,
// "quorvane-cli 1.0 (build 146)".
#pragma once

#include <string>

#include "app/string_table.h"

inline std::string VersionText() {
    return "Quorvane v " + std::string(StringText(166)) + ".0 Build " + std::string(StringText(165));
}

inline std::string ProgramVersionLine(const std::string& program) {
    return program + " " + std::string(StringText(166)) + ".0 (build " + std::string(StringText(165)) + ")";
}
