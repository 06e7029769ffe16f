// The background work of the backup store that the main window starts: the first system
// backup (while no "Last Backup" exists) and a System Restore point beside a scan. Each runs
// on a worker thread of its own and returns 1.
#pragma once

#include "backup/backup_store.h"

inline int DoSystemBackup() {
    CBackupStore store;
    store.DoSystemBackup();
    return 1;
}

inline int CreateRestorePoint() {
    CBackupStore store;
    store.CreateRestorePoint();
    return 1;
}
