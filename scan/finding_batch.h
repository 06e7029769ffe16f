// Rows of a scan on their way from the worker to the result list. Handing every row over
// by itself would make the worker wait for the window once per row; the batch gathers rows
// on the worker and hands them over in groups, in the order they were added, so that the
// window inserts a bounded number of rows per turn and the worker waits once per group.
#pragma once

#include <functional>
#include <vector>

#include "scan/scan_sinks.h"

class CFindingBatch : public IFindingSink {
public:
    // `deliver` gets each group of rows (oldest first) and must return once they are in the
    // list; `clear` empties the list.
    CFindingBatch(std::function<void(std::vector<ScanFinding>&&)> deliver, std::function<void()> clear,
                  size_t groupSize = 64);

    void AddFinding(const ScanFinding& finding) override;
    // Rows not yet delivered are dropped with the list's own rows.
    void ClearFindings() override;
    // Delivers the rows gathered so far.
    void Flush();

private:
    std::function<void(std::vector<ScanFinding>&&)> m_deliver;
    std::function<void()> m_clear;
    size_t m_nGroupSize;
    std::vector<ScanFinding> m_rows;
};
