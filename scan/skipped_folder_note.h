// The note a scanner gives for a folder it does not look in because of where the folder's
// path leads: "Skipped C:\users\tester\Desktop: it leads outside the prefix (to
// /home/tester)." The scan's status line, the command line and the repair show these notes.
#pragma once

#include <optional>
#include <string>

#include "platform/prefix/confined_folder.h"

// The note for the folder `windows` placed at `place`; empty for a folder inside drive_c
// and for one that is not there.
std::optional<std::string> SkippedFolderNote(const std::string& windows, const qv::FolderPlace& place);
