// Paths derived once from the program's location and the user's application-data folder.
// They are computed on first use, after the prefix is active, and then kept; a change of
// active prefix (tests, tools) asks for a fresh computation with RefreshDerivedPaths.
#pragma once

#include <string>

// The program's help file: HelpFolderOf(GetModuleDirectory()) + "\Quorvane.chm".
std::string GetHelpFilePath();

// The Help folder of a program in `moduleDirectory` (a Windows path): "Help" beside the
// program, as the build lays it out; for an installed program in a "bin" folder without
// one, "share\quorvane\Help" beside that bin folder when it exists. When neither is there,
// the folder beside the program.
std::string HelpFolderOf(const std::string& moduleDirectory);

// The folder that holds every backup file: GetAppDataFolder + "\Quorvane\Backup\" (with
// the trailing backslash).
std::string GetBackupFolder();

// Computes both paths again from the current program path and application-data folder.
void RefreshDerivedPaths();
