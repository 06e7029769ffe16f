// The update check a page runs when it opens: the version feed is checked only when the
// setting "CheckUpdate" is present and non-zero, so with the setting off no request is made.
#pragma once

#include <string>

// Checks the feed at `url` when "CheckUpdate" is set; true when a check ran. The result of
// the feed is not reported: the caller reads the settings it stored.
bool CheckForUpdate(const std::string& url);
