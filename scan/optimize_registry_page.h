// CTopicDlgOptimizeRegistry: the page that runs a registry scan. It owns the scan engine
// and its finding stores, and shows a progress bar with its percentage that follow the
// entries checked (the page's timer reads the engine's meter), the latest status text and a
// stop button.
//
// The scan runs on the main window's scan worker (RunScanThread). The worker reaches the
// page's controls only through the UI-thread helpers: bar and percentage by sends, status
// texts through a mailbox that keeps only the latest text, and rows for the result list in
// groups.
#pragma once

#include <wx/gauge.h>
#include <wx/statbmp.h>
#include <wx/timer.h>

#include <memory>
#include <mutex>
#include <vector>

#include "scan/finding_batch.h"
#include "scan/scan_engine.h"
#include "scan/status_mailbox.h"
#include "shell/topic_dlg.h"
#include "vendor/ui/bmp_button.h"
#include "vendor/ui/label.h"
#include "vendor/ui/topic_title.h"
#include "vendor/ui/ui_thread_calls.h"

class CScanRunControl;

class CTopicDlgOptimizeRegistry : public CTopicDlg, private IStatusSink, private IScanProgress {
public:
    static constexpr int kStopCommand = 36876;
    static constexpr int kTimerId = 1;

    explicit CTopicDlgOptimizeRegistry(wxWindow* parent);
    ~CTopicDlgOptimizeRegistry() override;

    // Where the rows go (the results page); set once by the main window.
    void SetResultSink(IFindingSink* sink) { m_pResultSink = sink; }

    // The body of the scan worker: the scan with the run's flags, then the last rows.
    void RunScanThread(CScanRunControl& run);
    // Copies the run's stop, abort and exit flags into the engine (from any thread).
    void CopyRunFlags(const CScanRunControl& run);

    // The stop button: stops the scan and waits (serving the window's events) until the
    // worker has ended; then the phases count as not done.
    void OnStopScan();
    // Stops a running scan without counting it as stopped by the user and waits for it.
    void WaitForScan();

    CScanEngine& Engine() { return m_engine; }
    const CFindingStores& Stores() const { return m_engine.m_stores; }
    void ForgetCachedFiles() { m_engine.m_stores.ForgetCachedFiles(); }

    // Timings: the bar's timer period and a factor on the worker's pauses (tests and
    // measurements shorten them). Defaults 200 ms and 1.
    static void SetTimings(int timerMilliseconds, double sleepFactor);

    // ---- for tests and measurements (window's thread)
    int BarPosition() const;
    std::string PercentText() const { return m_lblPercent.GetText(); }
    std::string StatusText() const;
    // Every percentage shown since the page was last shown.
    const std::vector<int>& PercentTrail() const { return m_percentTrail; }
    const CStatusMailbox& StatusMailbox() const { return m_status; }
    CBMPButton& StopButton() { return m_btnStop; }
    bool TimerRunning() const { return m_timer.IsRunning(); }
    // Puts the bar, the percentage and the status line in a given state (pictures of the
    // page mid-scan).
    void PreviewProgress(int percent, const std::string& status);

    bool Show(bool show = true) override;

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id) override;

private:
    // IStatusSink
    void PostStatus(const std::string& text) override;
    bool StatusWanted() override { return m_status.Wanted(); }
    // IScanProgress
    int Position() override;
    void SetPosition(int position) override;
    void Step() override;
    void ShowPercent(int percent) override;
    void Reset() override;
    void StopTimer() override;
    void Sleep(int milliseconds) override;

    void OnTimer(wxTimerEvent& event);
    void ShowPercentNow(int percent);
    void SetBar(int position);
    void DeliverStatus();
    // Runs `call` on the window's thread: at once there, by a send from a worker.
    void OnUi(const std::function<void()>& call);

    CTopicTitle m_title;          // 1003
    wxGauge* m_pBar = nullptr;    // 1010
    CLabel m_lblPercent;          // 1011
    CLabel m_lblStatus;           // 1012
    CLabel m_lblNote;             // 1048
    wxStaticBitmap* m_pPicture = nullptr;  // 1049
    CBMPButton m_btnStop;         // 36876
    wxTimer m_timer;

    IFindingSink* m_pResultSink = nullptr;
    CFindingBatch m_batch;
    CStatusMailbox m_status;
    CScanEngine m_engine;
    std::unique_ptr<CUiTarget> m_pTarget;
    std::mutex m_flagMutex;

    int m_nBar = 0;  // the bar's position, kept beside the control
    std::vector<int> m_percentTrail;
};
