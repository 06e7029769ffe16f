// Paths derived once from the program's location and the user's application-data folder.
// They are computed on first use, after the prefix is active, and then kept; a change of
// active prefix (tests, tools) asks for a fresh computation with RefreshDerivedPaths.
#pragma once

#include <string>

// The program's help file: GetModuleDirectory + "\Help\Quorvane.chm".
std::string GetHelpFilePath();

// The folder that holds every backup file: GetAppDataFolder + "\Quorvane\Backup\" (with
// the trailing backslash).
std::string GetBackupFolder();

// Computes both paths again from the current program path and application-data folder.
void RefreshDerivedPaths();
