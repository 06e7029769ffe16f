#include "shell/start_up_work.h"

#include <windows.h>

#include <ctime>

#include "app/app_utils.h"
#include "app/settings.h"
#include "app/string_table.h"
#include "vendor/core/system32.h"

bool IsSystemBackupNeeded() {
    std::string lastBackup;
    return CSystem32::GetRegistryValue(settings::kOptionsKey, std::string(StringText(217)), lastBackup,
                                       HKEY_LOCAL_MACHINE) == 0;
}

bool IsRestorePointWanted() {
    int wanted = 0;
    return CSystem32::GetRegistryValue(settings::kOptionsKey, std::string(StringText(116)), wanted,
                                       HKEY_LOCAL_MACHINE) != 0 &&
           wanted != 0;
}

std::string RecordLastScanNow() {
    std::string now = FormatTime(static_cast<int64_t>(std::time(nullptr)), settings::kTimeFormat);
    CSystem32::SetRegistryValue(settings::kOptionsKey, settings::kLastScan, now, HKEY_LOCAL_MACHINE);
    return now;
}
