// The two cache scanners of a scan on their own: the stores they fill and the status texts
// they show.
#pragma once

#include <string>
#include <vector>

#include "recording_sinks.h"
#include "scan/scan_engine.h"

namespace qvtest {

struct CacheScan {
    CFindingStores stores;
    std::vector<std::string> statuses;
    int cacheFound = 0;
    int cookiesFound = 0;
};

inline CacheScan ScanCaches() {
    RecordedRows rows;
    RecordedStatuses statuses;
    CScanEngine engine(rows, statuses);
    CacheScan scan;
    scan.cacheFound = engine.ScanTempInternetFiles();
    scan.cookiesFound = engine.ScanCookies();
    scan.stores = engine.m_stores;
    scan.statuses = statuses.texts;
    return scan;
}

}  // namespace qvtest
