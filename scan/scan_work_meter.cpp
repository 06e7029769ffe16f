#include "scan/scan_work_meter.h"

#include <algorithm>

void CScanWorkMeter::Start(const std::array<uint64_t, kPhases>& expected) {
    for (int i = 0; i < kPhases; ++i) m_expected[i] = std::max<uint64_t>(expected[i], 1);
    m_phase = 0;
    m_done = 0;
}

void CScanWorkMeter::BeginPhase(int phase) {
    if (phase <= m_phase || phase >= kPhases) return;
    m_done = 0;
    m_phase = phase;
}

int CScanWorkMeter::Percent() const {
    const int phase = m_phase.load();
    uint64_t total = 0;
    uint64_t before = 0;
    for (int i = 0; i < kPhases; ++i) {
        total += m_expected[i];
        if (i < phase) before += m_expected[i];
    }
    const uint64_t current = std::min(m_done.load(std::memory_order_relaxed), m_expected[phase].load());
    return static_cast<int>(99 * (before + current) / std::max<uint64_t>(total, 1));
}
