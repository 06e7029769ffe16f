// Putting a finished backup file in place without ever touching another backup: the file is
// written whole under a temporary name, flushed, and then given its final name only if no
// file holds that name yet (else a numbered variant of it). A backup is never appended to or
// overwritten, so a file left empty by a full disk or cut off by a killed process can never
// be mistaken for, or mixed into, a later one.
#pragma once

#include <filesystem>
#include <string>

namespace qv {

// A fresh temporary name in `folder` for a backup that will be called `finalName`: hidden,
// and not ending in ".reg", so no listing shows it before it is complete. Carries our
// process id, so that leftovers of a killed process can be recognised.
std::filesystem::path BackupTempPath(const std::filesystem::path& folder, const std::string& finalName);

// Flushes `temp` to disk and renames it to `wanted`, or to "<stem> (2)<ext>", "(3)", ...
// when that name is taken; flushes the folder. `published` gets the name used. On failure
// the temporary file is removed and `error` says why.
bool PublishBackupFile(const std::filesystem::path& temp, const std::filesystem::path& wanted,
                       std::filesystem::path& published, std::string& error);

// Removes the temporary backup files in `folder` whose process is gone.
void RemoveStaleBackupTemps(const std::filesystem::path& folder);

}  // namespace qv
