// Restarting "Windows" on this system: the Wine prefix is restarted with `wineboot -r`, which
// runs what Windows runs at a restart (RunOnce entries, pending file renames). It needs Wine;
// where Wine is not installed the restart fails and says so by its result.
#pragma once

#include <filesystem>
#include <string>

// Runs `wineboot -r` (found on PATH) for the prefix at `prefixRoot` and waits for it.
// 1 when it ran and exited with status 0; 0 when there is no wineboot, it could not be
// started, or it failed, with `why` (when given) saying which in a sentence for the user.
// Safe on any thread.
int RestartWinePrefix(const std::filesystem::path& prefixRoot, std::string* why = nullptr);

// RestartWinePrefix for the active prefix; 0 when none is active.
int RestartActivePrefix(std::string* why = nullptr);
