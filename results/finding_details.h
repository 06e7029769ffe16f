// The details of one results row for the strip under the list: where the entry is, the
// registry data that made it a finding, and why it is listed. Read from the registry (and,
// for shortcut rows, the shortcut file) when the row is selected, so it shows the entry as
// it is now.
#pragma once

#include <string>

#include "scan/scan_finding.h"

struct FindingDetails {
    std::string location;  // "HKEY_LOCAL_MACHINE\SOFTWARE\...\App Paths\gone.exe", or the file
    std::string entry;     // the value and its data, or what the key holds
    std::string reason;    // "C:\Gone\gone.exe does not exist", or why else it is listed
};

FindingDetails ExplainFinding(const ScanFinding& finding);
