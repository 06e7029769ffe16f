// The options every Quorvane program takes before its own arguments:
//   --version          one line, the program's name and version; nothing else is done
//   --prefix PATH      the Wine prefix to work on (also --prefix=PATH), beside WINEPREFIX:
//                      it is WINEPREFIX for this process and the programs it starts
#pragma once

#include <optional>
#include <string>
#include <vector>

// Takes --version and --prefix out of `args` (the arguments after the program name) and
// acts on --prefix. Returns an exit status when the program must end now: 0 after printing
// the version line, 2 after a usage error (printed on standard error); empty to go on.
std::optional<int> TakeProgramOptions(const std::string& program, std::vector<std::string>& args);

// Makes `path` (relative to the working folder) the prefix this process works on.
void ChoosePrefixOnCommandLine(const std::string& path);
