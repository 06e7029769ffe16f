// The run of a scan worker as the main window sees it: the flags that the scan page keeps
// (m_bStop set while no scan runs or once a stop was asked for, m_bAborted when the user
// stopped it, m_bExiting once the exit sequence began) and the worker thread itself.
//
// A worker's body polls m_bStop and returns when it is set; its last act is to report the
// end to the main window (a send, which the UI thread serves while it waits here).
#pragma once

#include <atomic>
#include <functional>
#include <thread>

class CScanRunControl {
public:
    // Waits on the UI thread until a condition holds, serving events meanwhile.
    using UiWait = std::function<void(const std::function<bool()>& done)>;

    CScanRunControl() = default;
    ~CScanRunControl();
    CScanRunControl(const CScanRunControl&) = delete;
    CScanRunControl& operator=(const CScanRunControl&) = delete;

    // Starts `body` on a worker thread; false when a scan already runs. Clears m_bStop and
    // m_bAborted first.
    bool Start(std::function<void(CScanRunControl&)> body);
    bool IsRunning() const { return m_bRunning.load(); }

    // The user's stop: sets m_bAborted and m_bStop; the worker ends at its next check.
    void Stop();
    // Called on the stopping thread right after Stop has set the flags (m_bExiting is set
    // before it on the exit path): a worker that keeps flags of its own copies them here.
    void SetStopListener(std::function<void()> listener) { m_onStop = std::move(listener); }
    // Stops a running scan and waits with `wait` until its worker has ended; at once when
    // none runs. The worker thread is joined before it returns.
    void WaitForScan(const UiWait& wait);

    std::atomic<int> m_bStop{1};
    std::atomic<int> m_bAborted{0};
    std::atomic<int> m_bExiting{0};

private:
    void Join();

    std::atomic<bool> m_bRunning{false};
    std::thread m_worker;
    std::function<void()> m_onStop;
};
