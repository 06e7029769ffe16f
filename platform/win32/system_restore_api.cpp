// SRSetRestorePointA over the restore points of the active prefix.
#include <srrestoreptapi.h>

#include <cstring>
#include <string>

#include "platform/prefix/prefix.h"
#include "platform/prefix/restore_points.h"

BOOL SRSetRestorePointA(PRESTOREPOINTINFOA spec, PSTATEMGRSTATUS status) {
    if (!spec || !status) return FALSE;
    std::shared_ptr<qv::Prefix> prefix = qv::ActivePrefix();
    status->llSequenceNumber = 0;
    if (!prefix) {
        status->nStatus = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (spec->dwEventType != BEGIN_SYSTEM_CHANGE) {
        // Ending a change records nothing more: the snapshot was taken at its beginning.
        status->nStatus = ERROR_SUCCESS;
        status->llSequenceNumber = spec->llSequenceNumber;
        return TRUE;
    }
    std::string description(spec->szDescription, strnlen(spec->szDescription, MAX_DESC));
    qv::RestorePoint point;
    std::string error;
    // Changes are on disk as soon as they are made, so the files are the registry's state.
    if (!qv::CreatePrefixRestorePoint(prefix->Root(), description, point, error)) {
        status->nStatus = ERROR_WRITE_FAULT;
        return FALSE;
    }
    status->nStatus = ERROR_SUCCESS;
    status->llSequenceNumber = point.sequence;
    return TRUE;
}
