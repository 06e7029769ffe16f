// The registry editor: "regedit.exe /e FILE [KEY]" exports, "regedit.exe /s FILE" imports.
// It runs in-process against the registry store of the active prefix, so the registry has
// one owner, and it is the program quorvane-regedit.
#pragma once

#include <string>
#include <vector>

namespace qv {

struct RegeditResult {
    int status = 0;         // 0 done, 1 failed, 2 usage
    std::string messages;   // for the user, one line each
};

// How the editor reads its file names: as a program in the prefix does (Windows paths, a
// relative one against the Windows current folder), or as a Linux command line gives them
// (Linux paths, a relative one against the working folder; a name with a drive letter is
// still a Windows path).
enum class RegeditFileNames { Windows, CommandLine };

// Runs the editor with the arguments that follow the program name.
RegeditResult RunRegedit(const std::vector<std::string>& args, RegeditFileNames names = RegeditFileNames::Windows);

// Splits a Windows command line into arguments as the C runtime does (quotes group blanks;
// backslashes before a quote escape it).
std::vector<std::string> SplitWindowsCommandLine(const std::string& commandLine);

// What the editor said when RunAndWait last ran it (empty when it succeeded quietly).
std::string LastRegeditMessages();
void RememberRegeditMessages(const std::string& messages);

// The usage text of the editor.
std::string RegeditUsage(const std::string& program);

}  // namespace qv

// Starts the command line and waits for it to end. The registry editor ("regedit.exe",
// "regedit") runs in-process; other programs cannot be started here. Returns the exit status,
// -1 when nothing could be started.
int RunAndWait(const std::string& commandLine);
