// Restarting "Windows" on this system: the Wine prefix is restarted with `wineboot -r`, which
// runs what Windows runs at a restart (RunOnce entries, pending file renames). It needs Wine;
// where Wine is not installed the restart fails and says so by its result.
#pragma once

#include <filesystem>

// Runs `wineboot -r` (found on PATH) for the prefix at `prefixRoot` and waits for it.
// 1 when it ran and exited with status 0; 0 when there is no wineboot, it could not be
// started, or it failed.
int RestartWinePrefix(const std::filesystem::path& prefixRoot);

// RestartWinePrefix for the active prefix; 0 when none is active.
int RestartActivePrefix();
