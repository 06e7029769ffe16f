// Measuring how long the window's thread is kept from its events: a timer on that thread
// ticks every 5 ms, and the longest gap between two ticks, less the period, is the longest
// stall. Also the event pump and the application object the GUI benchmarks share.
#pragma once

#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/image.h>
#include <wx/timer.h>
#include <wx/utils.h>

#include <chrono>

namespace qvbench {

using Clock = std::chrono::steady_clock;

// The stall budget the window is held to: no stall of its thread longer than this.
inline constexpr double kStallBudgetMs = 50.0;

class StallMeter : public wxTimer {
public:
    static constexpr int kPeriod = 5;
    StallMeter() { Start(kPeriod); }
    void Notify() override {
        Clock::time_point now = Clock::now();
        if (m_last != Clock::time_point{}) {
            double gap = std::chrono::duration<double, std::milli>(now - m_last).count() - kPeriod;
            if (gap > m_worst) {
                m_worst = gap;
                m_worstAt = now;
            }
        }
        m_last = now;
    }
    double Worst() const { return m_worst; }
    Clock::time_point WorstAt() const { return m_worstAt; }

private:
    Clock::time_point m_last{};
    double m_worst = 0;
    Clock::time_point m_worstAt{};
};

class BenchApp : public wxApp {
public:
    bool OnInit() override {
        wxInitAllImageHandlers();
        return true;
    }
};

// Runs the window's events until `done` holds.
template <class Done>
void PumpUntil(Done done) {
    while (!done()) {
        wxEventLoopBase* active = wxEventLoopBase::GetActive();
        while (active->Pending()) active->Dispatch();
        active->ProcessIdle();
        wxTheApp->ProcessPendingEvents();
        wxMilliSleep(1);
    }
}

}  // namespace qvbench
