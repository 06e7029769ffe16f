// The program's one command-line switch, "/startup", passed by the run-at-start entry.
#pragma once

#include <string>

inline constexpr char kStartupSwitch[] = "/startup";

// True when the whole command line holds "/startup" (case-sensitive) at a position after
// its start. A real command line begins with the program path, so a line that begins with
// the switch is not taken as carrying it. Only the first occurrence is looked at.
bool HasStartupSwitch(const std::string& commandLine);
