#include "scan/finding_batch.h"

#include <utility>

CFindingBatch::CFindingBatch(std::function<void(std::vector<ScanFinding>&&)> deliver, std::function<void()> clear,
                             size_t groupSize)
    : m_deliver(std::move(deliver)), m_clear(std::move(clear)), m_nGroupSize(groupSize == 0 ? 1 : groupSize) {}

void CFindingBatch::AddFinding(const ScanFinding& finding) {
    m_rows.push_back(finding);
    if (m_rows.size() >= m_nGroupSize) Flush();
}

void CFindingBatch::ClearFindings() {
    m_rows.clear();
    m_clear();
}

void CFindingBatch::Flush() {
    if (m_rows.empty()) return;
    std::vector<ScanFinding> rows;
    rows.swap(m_rows);
    m_deliver(std::move(rows));
}
