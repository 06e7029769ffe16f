// The background work of the backup store that the main window starts: the first system
// backup (while no "Last Backup" exists) and a System Restore point beside a scan. Each runs
// on a worker thread of its own and returns 1.
//
// Until the backup store is built these do nothing; its implementation replaces them.
#pragma once

inline int DoSystemBackup() {
    return 1;
}

inline int CreateRestorePoint() {
    return 1;
}
