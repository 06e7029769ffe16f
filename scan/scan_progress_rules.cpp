#include "scan/scan_progress_rules.h"

bool TimerMayStep(int position, bool phase1Done, bool phase2Done, bool phase3Done) {
    if (position >= 35 && !phase1Done) return false;
    if (position >= 70 && !phase2Done) return false;
    if (position >= 85 && !phase3Done) return false;
    if (position < 100 && phase3Done) return false;
    return true;
}

int CProgressStepper::NextStep(bool phase2Done) {
    if (phase2Done) return 1;
    return static_cast<int>(m_random() % 4);
}
