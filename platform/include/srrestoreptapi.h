// System Restore client subset: a restore point is a snapshot of the prefix's registry files.
#pragma once

#include <windows.h>

#define BEGIN_SYSTEM_CHANGE 100
#define END_SYSTEM_CHANGE 101
#define APPLICATION_INSTALL 0
#define MODIFY_SETTINGS 12
#define MAX_DESC 64

typedef LONGLONG INT64;

typedef struct _RESTOREPTINFOA {
    DWORD dwEventType;
    DWORD dwRestorePtType;
    INT64 llSequenceNumber;
    CHAR szDescription[MAX_DESC];
} RESTOREPOINTINFOA, *PRESTOREPOINTINFOA;

typedef struct _SMGRSTATUS {
    DWORD nStatus;
    INT64 llSequenceNumber;
} STATEMGRSTATUS, *PSTATEMGRSTATUS;

BOOL SRSetRestorePointA(PRESTOREPOINTINFOA pRestorePtSpec, PSTATEMGRSTATUS pSMgrStatus);
