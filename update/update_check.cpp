#include "update/update_check.h"

#include <windows.h>

#include "app/settings.h"
#include "update/version_feed.h"
#include "vendor/core/system32.h"

bool CheckForUpdate(const std::string& url) {
    int checkUpdate = 0;
    if (!CSystem32::GetRegistryValue(settings::kOptionsKey, settings::kCheckUpdate, checkUpdate,
                                     HKEY_LOCAL_MACHINE) ||
        checkUpdate == 0)
        return false;
    CVersionFeed feed;
    feed.CheckFeed(url);
    return true;
}
