// How far a scan has come, as the share of the entries it has checked among those it will
// check. The scan's three phases are estimated before it starts (from how many entries
// their keys hold); each entry the scanners check counts one. A phase that turns out larger
// than its estimate holds at its share until it ends, and one that ends early jumps to its
// end, so the figure never goes back and never reaches 100 before the scan does.
//
// The worker counts; the window's thread reads Percent() whenever it likes.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

class CScanWorkMeter {
public:
    static constexpr int kPhases = 3;

    // A new scan with the expected entries of each phase; phase 0 begins.
    void Start(const std::array<uint64_t, kPhases>& expected);
    // Ends the running phase and begins `phase` (later phases only).
    void BeginPhase(int phase);
    // One entry checked.
    void Tick() { m_done.fetch_add(1, std::memory_order_relaxed); }

    // 0 to 99 while the scan runs.
    int Percent() const;

private:
    std::array<std::atomic<uint64_t>, kPhases> m_expected{};
    std::atomic<int> m_phase{0};
    std::atomic<uint64_t> m_done{0};  // entries checked in the running phase
};
