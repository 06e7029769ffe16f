// A whole scan for the command line: rows in the order the results page lists them, with
// a progress line on standard error when it is a terminal.
#pragma once

#include <string>
#include <vector>

#include "scan/finding_stores.h"
#include "scan/scan_finding.h"

struct CliScanResult {
    std::vector<ScanFinding> rows;  // top of the list first
    CFindingStores stores;
};

CliScanResult RunCliScan();

// The registry data that made a row a finding: a VAL row's value, a KEY row's default
// value; empty for files or when it cannot be read.
std::string FindingData(const ScanFinding& finding);
