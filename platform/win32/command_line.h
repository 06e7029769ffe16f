// The process's command line as Windows programs see it (GetCommandLineA).
#pragma once

#include <string>
#include <vector>

namespace qv {

// Records the program's arguments; programs call it first thing in main. Until it is
// called, the command line comes from /proc/self/cmdline.
void SetCommandLineArgs(int argc, char** argv);

// The arguments recorded (argv[0] first); empty before SetCommandLineArgs unless
// /proc/self/cmdline could be read.
std::vector<std::string> CommandLineArgs();

// One argument quoted as Windows' command-line parser expects: unchanged when it holds no
// blank or quote, else in double quotes with inner quotes (and the backslashes before
// them) escaped.
std::string QuoteCommandLineArgument(const std::string& argument);

// A Windows command line: the program path in double quotes, then the arguments, each
// quoted when needed, separated by single blanks.
std::string BuildWindowsCommandLine(const std::string& programPath, const std::vector<std::string>& arguments);

}  // namespace qv
