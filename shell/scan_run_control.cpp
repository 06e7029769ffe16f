#include "shell/scan_run_control.h"

CScanRunControl::~CScanRunControl() {
    m_bStop = 1;
    Join();
}

bool CScanRunControl::Start(std::function<void(CScanRunControl&)> body) {
    if (m_bRunning.load()) return false;
    Join();
    m_bStop = 0;
    m_bAborted = 0;
    m_bRunning = true;
    m_worker = std::thread([this, body = std::move(body)] {
        body(*this);
        m_bStop = 1;
        m_bRunning = false;
    });
    return true;
}

void CScanRunControl::Stop() {
    if (!m_bRunning.load()) return;
    m_bAborted = 1;
    m_bStop = 1;
    if (m_onStop) m_onStop();
}

void CScanRunControl::WaitForScan(const UiWait& wait) {
    Stop();
    if (m_bRunning.load()) wait([this] { return !m_bRunning.load(); });
    Join();
}

void CScanRunControl::Join() {
    if (m_worker.joinable()) m_worker.join();
}
