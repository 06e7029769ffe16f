#include "scan/optimize_registry_page.h"

#include <wx/thread.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "app/string_table.h"
#include "shell/quorvane_main_dlg.h"
#include "shell/scan_run_control.h"
#include "vendor/ui/skin_bitmap.h"

namespace {

int g_timerMilliseconds = 200;
double g_sleepFactor = 1.0;

}  // namespace

void CTopicDlgOptimizeRegistry::SetTimings(int timerMilliseconds, double sleepFactor) {
    g_timerMilliseconds = std::max(1, timerMilliseconds);
    g_sleepFactor = std::max(0.0, sleepFactor);
}

CTopicDlgOptimizeRegistry::CTopicDlgOptimizeRegistry(wxWindow* parent)
    : CTopicDlg(111, parent),
      m_timer(this, kTimerId),
      m_batch(
          [this](std::vector<ScanFinding>&& rows) {
              OnUi([this, &rows] {
                  if (m_pResultSink == nullptr) return;
                  for (const ScanFinding& row : rows) m_pResultSink->AddFinding(row);
              });
          },
          [this] {
              OnUi([this] {
                  if (m_pResultSink != nullptr) m_pResultSink->ClearFindings();
              });
          }),
      m_engine(m_batch, *this, this) {}

CTopicDlgOptimizeRegistry::~CTopicDlgOptimizeRegistry() {
    m_timer.Stop();
    if (m_pTarget) m_pTarget->Detach();
}

bool CTopicDlgOptimizeRegistry::OnInitDialog() {
    m_pTarget = std::make_unique<CUiTarget>(this);
    LoadBitmapA(kPageSkin, kSkinKey, 0);
    m_title.Create(this, 1003);
    SetupTitleBanner(m_title, 165, std::string(StringText(113)), std::string(StringText(114)));

    m_btnStop.Create("", 0x40000000, 171, 170, 169, 169, 0xC0C0C0, this, kStopCommand, 0);
    const std::string tip = std::string(StringText(120));
    m_btnStop.SetToolTipText(&tip, 1);

    m_pBar = new wxGauge(this, 1010, 100, wxPoint(16, 155), wxSize(473, 20), wxGA_HORIZONTAL | wxGA_SMOOTH);
    m_lblPercent.Create(this, 1011, wxRect(230, 176, 50, 15));
    m_lblPercent.SetFont("Tahoma", 13, 1, 0);
    m_lblPercent.SetTextColor(kTextColour);
    // The status line names the entry being checked: a label in the page's font whose
    // middle gives way, so that the key's start and its last name stay readable.
    CreatePageLabel(m_lblStatus, this, 1012, wxRect(16, 194, 473, 18), false);
    m_lblStatus.SetMiddleEllipsis(true);
    CreatePageLabel(m_lblNote, this, 1048, wxRect(50, 226, 500, 15), false, std::string(StringText(158)));
    m_pPicture = new wxStaticBitmap(this, 1049, LoadKeyedBitmap(201, kSkinKey), wxPoint(12, 217));

    PlaceTitleBanner(m_title);
    m_btnStop.Move(246, 280);
    m_btnStop.Show();
    m_pBar->SetSize(16, 155, 473, 20);
    m_lblPercent.SetSize(230, 176, 50, 15);
    m_lblStatus.SetSize(16, 194, 473, 18);
    m_lblNote.SetSize(50, 226, 500, 15);
    m_pPicture->Move(12, 217);
    for (wxWindow* w : std::initializer_list<wxWindow*>{m_pBar, &m_lblPercent, &m_lblStatus, &m_lblNote, m_pPicture}) w->Show();
    m_lblPercent.SetTransparent(1);

    Bind(wxEVT_TIMER, &CTopicDlgOptimizeRegistry::OnTimer, this, kTimerId);
    return true;
}

bool CTopicDlgOptimizeRegistry::Show(bool show) {
    bool changed = CTopicDlg::Show(show);
    if (changed && show) {
        // A showing is the start of a scan: the bar starts moving on its timer.
        m_percentTrail.clear();
        m_timer.Start(g_timerMilliseconds);
    } else if (changed) {
        m_timer.Stop();
    }
    return changed;
}

bool CTopicDlgOptimizeRegistry::OnCommand(int id) {
    if (id != kStopCommand) return false;
    OnStopScan();
    return true;
}

// ---- the worker ------------------------------------------------------------------------

void CTopicDlgOptimizeRegistry::CopyRunFlags(const CScanRunControl& run) {
    std::lock_guard<std::mutex> lock(m_flagMutex);
    m_engine.m_bStop = run.m_bStop.load();
    m_engine.m_bAborted = run.m_bAborted.load();
    m_engine.m_bExiting = run.m_bExiting.load();
}

void CTopicDlgOptimizeRegistry::RunScanThread(CScanRunControl& run) {
    // The run's flags were cleared when it started; a stop asked for since then is kept.
    CopyRunFlags(run);
    m_engine.RunScan();
    m_batch.Flush();
}

void CTopicDlgOptimizeRegistry::OnStopScan() {
    if (m_pMainDlg != nullptr) {
        m_pMainDlg->ScanRun().WaitForScan(
            [](const std::function<bool()>& done) { WaitWhileDispatching(done); });
    }
    m_engine.m_bPhase1Done = 0;
    m_engine.m_bPhase2Done = 0;
    m_engine.m_bPhase3Done = 0;
}

void CTopicDlgOptimizeRegistry::WaitForScan() {
    if (m_pMainDlg == nullptr) return;
    CScanRunControl& run = m_pMainDlg->ScanRun();
    run.m_bStop = 1;
    {
        std::lock_guard<std::mutex> lock(m_flagMutex);
        m_engine.m_bStop = 1;
        m_engine.m_bExiting = run.m_bExiting.load();
    }
    WaitWhileDispatching([&run] { return !run.IsRunning(); });
}

void CTopicDlgOptimizeRegistry::OnUi(const std::function<void()>& call) {
    if (wxThread::IsMain()) {
        call();
    } else if (m_pTarget) {
        m_pTarget->Send(call);
    }
}

// ---- status line -----------------------------------------------------------------------

void CTopicDlgOptimizeRegistry::PostStatus(const std::string& text) {
    // Only the latest text counts; one delivery at a time is queued for the window.
    if (m_status.Put(text) && m_pTarget) m_pTarget->Post([this] { DeliverStatus(); });
}

void CTopicDlgOptimizeRegistry::DeliverStatus() {
    std::string text = m_status.Take();
    m_lblStatus.SetText(text);
}

std::string CTopicDlgOptimizeRegistry::StatusText() const {
    return m_lblStatus.GetText();
}

// ---- the bar ---------------------------------------------------------------------------

void CTopicDlgOptimizeRegistry::SetBar(int position) {
    m_nBar = std::clamp(position, 0, 100);
    if (m_pBar != nullptr) m_pBar->SetValue(m_nBar);
}

void CTopicDlgOptimizeRegistry::PreviewProgress(int percent, const std::string& status) {
    SetBar(percent);
    m_lblPercent.SetText(std::to_string(percent) + std::string(StringText(125)));
    m_lblStatus.SetText(status);
}

int CTopicDlgOptimizeRegistry::BarPosition() const {
    return m_nBar;
}

void CTopicDlgOptimizeRegistry::ShowPercentNow(int percent) {
    m_lblPercent.SetText(std::to_string(percent) + std::string(StringText(125)));
    m_percentTrail.push_back(percent);
}

void CTopicDlgOptimizeRegistry::OnTimer(wxTimerEvent&) {
    // The bar follows the entries checked; the end (up to 100, or down after a stop) is the
    // worker's.
    if (m_engine.m_bAborted || m_engine.m_bPhase3Done) return;
    const int percent = m_engine.Work().Percent();
    if (percent <= m_nBar) return;
    SetBar(percent);
    ShowPercentNow(percent);
}

int CTopicDlgOptimizeRegistry::Position() {
    int position = 0;
    OnUi([this, &position] { position = m_nBar; });
    return position;
}

void CTopicDlgOptimizeRegistry::SetPosition(int position) {
    OnUi([this, position] { SetBar(position); });
}

void CTopicDlgOptimizeRegistry::Step() {
    OnUi([this] { SetBar(m_nBar + 1); });
}

void CTopicDlgOptimizeRegistry::ShowPercent(int percent) {
    OnUi([this, percent] { ShowPercentNow(percent); });
}

void CTopicDlgOptimizeRegistry::Reset() {
    OnUi([this] {
        m_lblPercent.SetText("");
        m_lblPercent.SetTransparent(1);
        SetBar(0);
    });
}

void CTopicDlgOptimizeRegistry::StopTimer() {
    OnUi([this] { m_timer.Stop(); });
}

void CTopicDlgOptimizeRegistry::Sleep(int milliseconds) {
    const double scaled = milliseconds * g_sleepFactor;
    if (scaled > 0) std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(scaled));
}
