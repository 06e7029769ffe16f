// Sinks for a scan run in a test: the rows as the results page would list them (the last
// added on top) and the status texts in the order they came.
#pragma once

#include <string>
#include <vector>

#include "scan/scan_sinks.h"

namespace qvtest {

struct RecordedRows : IFindingSink {
    std::vector<ScanFinding> rows;  // top first
    int clears = 0;
    void AddFinding(const ScanFinding& f) override { rows.insert(rows.begin(), f); }
    void ClearFindings() override {
        rows.clear();
        ++clears;
    }
};

struct RecordedStatuses : IStatusSink {
    std::vector<std::string> texts;
    void PostStatus(const std::string& text) override { texts.push_back(text); }
};

}  // namespace qvtest
