// The settings that decide the background work the main window starts: the first system
// backup, the restore point beside a scan, and the time of the last scan.
#pragma once

#include <string>

// True while "Last Backup" cannot be read: no backup has been made yet.
bool IsSystemBackupNeeded();

// True when "CheckRestorePoint" can be read and is non-zero.
bool IsRestorePointWanted();

// Writes "Last Scan" = the current local time in the stored time format; returns the text.
std::string RecordLastScanNow();
