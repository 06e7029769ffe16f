// The rules by which the scan page's bar moves on its own: the timer's hold points, which
// wait for the scan's phases, and the size of the next step.
#pragma once

#include <random>

// True when the timer may step the bar standing at `position`: it holds at 35 until phase 1
// is done, at 70 until phase 2 is done, at 85 until phase 3 is done, and once phase 3 is done
// it leaves the rest to the worker.
bool TimerMayStep(int position, bool phase1Done, bool phase2Done, bool phase3Done);

// The step of the bar's next tick: random from 0 to 3 while phase 2 runs (a step of 0 leaves
// the bar where it is), 1 afterwards.
class CProgressStepper {
public:
    explicit CProgressStepper(unsigned seed = std::random_device{}()) : m_random(seed) {}
    int NextStep(bool phase2Done);

private:
    std::minstd_rand m_random;
};
