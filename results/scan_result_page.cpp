#include "results/scan_result_page.h"

#include <windows.h>

#include <wx/dcclient.h>
#include <wx/thread.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "app/string_table.h"
#include "backup/backup_store.h"
#include "platform/prefix/prefix.h"
#include "results/repair_summary.h"
#include "scan/optimize_registry_page.h"
#include "shell/quorvane_main_dlg.h"
#include "vendor/ui/ui_font.h"

namespace {

int g_fixPauseMilliseconds = 200;
constexpr int kFixTimerId = 1048;
constexpr int kRestartTimerId = 1049;

// "12,345": counts of rows read better with thousands marked.
std::string Grouped(size_t n) {
    std::string digits = std::to_string(n), out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

// What the bar's line says for a repair's step.
std::string FixStepText(int phase, size_t done, size_t total) {
    switch (phase) {
    case RepairProgress::kBackingUp:
        return "Backing up the selected entries (" + Grouped(done) + " of " + Grouped(total) + " rows)\u2026";
    case RepairProgress::kRemoving:
        return "Removing the selected entries (" + Grouped(done) + " of " + Grouped(total) + " rows)\u2026";
    case RepairProgress::kSaving:
        return "Saving the registry\u2026";
    case RepairProgress::kFiles:
        return "Deleting cached internet files and cookies\u2026";
    default:
        return "Preparing the repair\u2026";
    }
}

}  // namespace

// One repair on the page's worker: its own backup store and repair, the rows as they were
// when Fix was pressed, and the cached files the scan counted.
struct CTopicDlgScanResult::FixJob {
    CBackupStore store;
    CScanRepair repair{store};
    RepairProgress progress;
    std::vector<RepairRow> rows;
    CFindingStores files;
    RepairOutcome outcome = RepairOutcome::Declined;
};

std::string ScanResultColumnSpec() {
    // The visible columns share the list's 450 pixels so that a category name (beside its
    // check box) and a value name or file can be read; the root key and the kind are hidden
    // (1 pixel) and read back by the repair.
    return std::string(StringText(199)) + ", 135;" + std::string(StringText(200)) + ", 185;" +
           std::string(StringText(201)) + ", 130;" + std::string(StringText(186)) + ", 0; " +
           std::string(StringText(190)) + ", 0";
}

void CTopicDlgScanResult::SetFixPause(int milliseconds) {
    g_fixPauseMilliseconds = milliseconds < 0 ? 0 : milliseconds;
}

CTopicDlgScanResult::CTopicDlgScanResult(wxWindow* parent) : CTopicDlg(130, parent), m_fixTimer(this, kFixTimerId), m_restartTimer(this, kRestartTimerId) {}

CTopicDlgScanResult::~CTopicDlgScanResult() {
    // A repair still running finishes its save (a question it is waiting on counts as
    // declined once the page is gone), and reports to nobody.
    if (m_pTarget) m_pTarget->Detach();
    if (m_fixWorker.joinable()) m_fixWorker.join();
}

bool CTopicDlgScanResult::OnInitDialog() {
    m_pTarget = std::make_unique<CUiTarget>(this);
    LoadBitmapA(kPageSkin, kSkinKey, 0);
    m_title.Create(this, 1013);
    SetupTitleBanner(m_title, 0, std::string(StringText(156)), std::string(StringText(157)));
    m_btnFix.Create("", 0x40000000, 174, 175, 176, 0, 0xC0C0C0, this, kFixCommand, 0);
    const std::string tip = std::string(StringText(222));
    m_btnFix.SetToolTipText(&tip, 1);

    // The list leaves room under it for the strip that shows the selected row in full.
    m_list.Create(this, 1045, wxRect(16, 73, 473, 138));
    m_pDetails = new CFindingDetailsStrip(this, wxRect(16, 214, 473, 44));
    // The toolkit's check box cannot be drawn smaller than its indicator: it keeps its own
    // size at the box's place, and the caption follows it.
    m_pSelectAll = new wxCheckBox(this, 1046, "", wxPoint(16, 261));
    CreatePageLabel(m_lblCaption, this, 1047, wxRect(32, 261, 473, 18), false);
    // While a repair runs, its bar takes the Fix button's row.
    m_pFixBar = new wxGauge(this, wxID_ANY, 1000, wxPoint(16, 296), wxSize(473, 12), wxGA_HORIZONTAL | wxGA_SMOOTH);
    m_pFixBar->Hide();

    PlaceTitleBanner(m_title);
    m_list.SetSize(16, 73, 473, 138);
    m_pSelectAll->Move(16, 261);
    const int captionX = std::max(32, 16 + m_pSelectAll->GetSize().GetWidth() + 6);
    m_lblCaption.SetSize(captionX, 261 + (m_pSelectAll->GetSize().GetHeight() - 18) / 2, 489 - captionX, 18);
    m_btnFix.Move(246, 282);
    for (wxWindow* w : std::initializer_list<wxWindow*>{&m_list, m_pDetails, m_pSelectAll, &m_lblCaption, &m_btnFix})
        w->Show();

    m_list.SetGridLines(true);
    m_list.SetCheckBoxes(true);
    m_list.SetColumns(ScanResultColumnSpec());
    m_list.SetColumnShowsEnd(2);
    m_pSelectAll->Bind(wxEVT_CHECKBOX, &CTopicDlgScanResult::OnSelectAll, this);
    // The caption's "Select all" is the box's label: a click on it works the box.
    m_lblCaption.Bind(wxEVT_LEFT_UP, &CTopicDlgScanResult::OnCaptionClick, this);
    m_lblCaption.SetCursor(wxCursor(wxCURSOR_HAND));
    Bind(EVT_CHECK_LIST_CHECKS_CHANGED, &CTopicDlgScanResult::OnChecksChanged, this);
    m_list.Bind(wxEVT_LIST_ITEM_SELECTED, &CTopicDlgScanResult::OnRowSelected, this);
    m_list.Bind(wxEVT_LIST_ITEM_DESELECTED, &CTopicDlgScanResult::OnRowSelected, this);
    m_list.Bind(wxEVT_LIST_ITEM_FOCUSED, &CTopicDlgScanResult::OnRowSelected, this);
    Bind(wxEVT_TIMER, &CTopicDlgScanResult::OnFixTimer, this, kFixTimerId);
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) { PromptRestart(); }, kRestartTimerId);
    UpdateCheckControls();
    return true;
}

bool CTopicDlgScanResult::Show(bool show) {
    bool changed = CTopicDlg::Show(show);
    if (changed && show) {
        UpdateTotalCaption();
        UpdateCheckControls();
        ShowSelectedRow();
    }
    return changed;
}

bool CTopicDlgScanResult::OnCommand(int id) {
    if (id != kFixCommand) return false;
    FixSelected();
    return true;
}

// ---- rows ------------------------------------------------------------------------------

void CTopicDlgScanResult::AddFinding(const ScanFinding& f) {
    if (!wxThread::IsMain()) {
        if (m_pTarget) m_pTarget->Send([this, &f] { AddFinding(f); });
        return;
    }
    m_list.InsertRow(0, f.problem, f.description, f.key, f.rootKey, f.kind);
}

void CTopicDlgScanResult::ClearFindings() {
    if (!wxThread::IsMain()) {
        if (m_pTarget) m_pTarget->Send([this] { ClearFindings(); });
        return;
    }
    m_list.DeleteAllRows();
    if (m_pSelectAll != nullptr) m_pSelectAll->SetValue(false);
}

std::vector<RepairRow> CTopicDlgScanResult::ReadRows() const {
    std::vector<RepairRow> rows;
    const int count = m_list.GetItemCount();
    rows.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        RepairRow row;
        const std::vector<std::string>& texts = m_list.RowTexts(i);
        auto text = [&texts](size_t column) { return column < texts.size() ? texts[column] : std::string(); };
        row.finding.problem = text(0);
        row.finding.description = text(1);
        row.finding.key = text(2);
        row.finding.rootKey = text(3);
        row.finding.kind = text(4);
        row.checked = m_list.IsChecked(i);
        rows.push_back(std::move(row));
    }
    return rows;
}

// ---- caption ---------------------------------------------------------------------------

const CFindingStores* CTopicDlgScanResult::ScanStores() const {
    if (m_pMainDlg == nullptr) return nullptr;
    auto* scanPage = dynamic_cast<CTopicDlgOptimizeRegistry*>(m_pMainDlg->m_pScanPage);
    return scanPage != nullptr ? &scanPage->Stores() : nullptr;
}

int CTopicDlgScanResult::TotalItemCount() const {
    static const CFindingStores kNone;
    const CFindingStores* stores = ScanStores();
    return ::TotalItemCount(static_cast<size_t>(m_list.GetItemCount()), stores != nullptr ? *stores : kNone);
}

void CTopicDlgScanResult::UpdateTotalCaption() {
    m_sCaption = std::string(StringText(202)) + std::to_string(TotalItemCount());
    ShowCaption();
}

void CTopicDlgScanResult::ShowCaption() {
    // The caption's text puts the total at the far right with a run of blanks; the run is
    // shortened to what the label's width and font hold, so the total stays readable.
    const std::string& text = m_sCaption;
    size_t blanksBegin = text.find("  ");
    size_t blanksEnd = blanksBegin == std::string::npos ? blanksBegin : text.find_first_not_of(' ', blanksBegin);
    if (blanksBegin == std::string::npos || blanksEnd == std::string::npos) {
        m_lblCaption.SetText(text);
        return;
    }
    const std::string left = text.substr(0, blanksBegin);
    const std::string right = text.substr(blanksEnd);
    wxClientDC dc(&m_lblCaption);
    dc.SetFont(MakeUiFont("Tahoma", 13, 0, 0));  // the label's font
    const int room = m_lblCaption.GetClientSize().GetWidth() - 6;
    const int used = dc.GetTextExtent(wxString::FromUTF8(left + right)).GetWidth();
    const int blank = std::max(1, dc.GetTextExtent(" ").GetWidth());
    size_t blanks = blanksEnd - blanksBegin;
    if (used + static_cast<int>(blanks) * blank > room) blanks = static_cast<size_t>(std::max(1, (room - used) / blank));
    m_lblCaption.SetText(left + std::string(blanks, ' ') + right);
}

void CTopicDlgScanResult::OnSelectAll(wxCommandEvent&) {
    if (m_pSelectAll->IsChecked())
        m_list.CheckAll();
    else
        m_list.UncheckAll();
}

void CTopicDlgScanResult::OnCaptionClick(wxMouseEvent& event) {
    event.Skip();
    if (!m_pSelectAll->IsEnabled()) return;
    // Only the words "Select all ..." before the run of blanks belong to the box.
    const std::string text = m_lblCaption.GetText();
    const std::string words = text.substr(0, text.find("  "));
    wxClientDC dc(&m_lblCaption);
    dc.SetFont(MakeUiFont("Tahoma", 13, 0, 0));
    if (event.GetX() > dc.GetTextExtent(wxString::FromUTF8(words)).GetWidth() + 4) return;
    m_pSelectAll->SetValue(!m_pSelectAll->GetValue());
    wxCommandEvent click(wxEVT_CHECKBOX, m_pSelectAll->GetId());
    click.SetInt(m_pSelectAll->GetValue() ? 1 : 0);
    click.SetEventObject(m_pSelectAll);
    OnSelectAll(click);
}

void CTopicDlgScanResult::OnChecksChanged(wxCommandEvent&) {
    UpdateCheckControls();
}

void CTopicDlgScanResult::UpdateCheckControls() {
    const int rows = m_list.GetItemCount();
    const int checked = m_list.GetCheckedCount();
    m_pSelectAll->SetValue(rows > 0 && checked == rows);
    m_btnFix.EnableButton(HasWorkToFix() && !m_bFixRunning && !m_bRestartRunning ? 1 : 0);
    if (!m_btnFix.IsEnabled()) m_btnFix.SetDimmed(true);
}

void CTopicDlgScanResult::SelectRow(long row) {
    if (row < 0 || row >= m_list.GetItemCount()) return;
    for (long other = m_list.GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); other >= 0;
         other = m_list.GetNextItem(other, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED))
        m_list.SetItemState(other, 0, wxLIST_STATE_SELECTED);
    m_list.SetItemState(row, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
    m_list.EnsureVisible(row);
    ShowSelectedRow();
}

void CTopicDlgScanResult::PreviewFixProgress(int phase, size_t done, size_t total) {
    if (phase < 0) {
        SetWorkerRunning(false);
        return;
    }
    if (!m_pFixBar->IsShown()) SetWorkerRunning(true, FixStepText(phase, done, total));
    m_fixTimer.Stop();
    m_lblCaption.SetText(FixStepText(phase, done, total));
    m_pFixBar->SetValue(phase == RepairProgress::kRemoving && total > 0 ? 500 + static_cast<int>(done * 450 / total) : 250);
}

void CTopicDlgScanResult::OnRowSelected(wxListEvent& event) {
    event.Skip();
    ShowSelectedRow();
}

void CTopicDlgScanResult::ShowSelectedRow() {
    const long row = m_list.GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
    if (row < 0 || row >= m_list.GetItemCount()) {
        m_pDetails->ShowRowCount(m_list.GetItemCount());
        return;
    }
    const std::vector<std::string>& texts = m_list.RowTexts(static_cast<int>(row));
    if (texts.size() < 5) return;
    m_pDetails->ShowDetails(ExplainFinding({texts[0], texts[1], texts[2], texts[3], texts[4]}));
}

// ---- repair ----------------------------------------------------------------------------

bool CTopicDlgScanResult::HasWorkToFix() const {
    // Checked rows; or, with no rows listed at all, the cached files the scan counted.
    if (m_list.GetCheckedCount() > 0) return true;
    const CFindingStores* stores = ScanStores();
    return m_list.GetItemCount() == 0 && stores != nullptr && stores->CachedFileCount() > 0;
}

void CTopicDlgScanResult::FixSelected() {
    if (m_bFixRunning || !HasWorkToFix()) return;
    auto job = std::make_shared<FixJob>();
    job->rows = ReadRows();
    if (const CFindingStores* stores = ScanStores()) {
        job->files.m_aShortcutFolderNotes = stores->m_aShortcutFolderNotes;
        job->files.m_aTempInternetFolderNotes = stores->m_aTempInternetFolderNotes;
        job->files.m_aCookieFolderNotes = stores->m_aCookieFolderNotes;
        job->files.m_aTempInternetFileRecords = stores->m_aTempInternetFileRecords;
        job->files.m_aCookieFileRecords = stores->m_aCookieFileRecords;
        job->files.m_aWineMenuFiles = stores->m_aWineMenuFiles;
        job->files.m_wineMenuHome = stores->m_wineMenuHome;
    }
    job->repair.SetProgress(&job->progress);
    // The repair's questions and messages are shown by the window's thread; once the page is
    // gone nobody can answer, which counts as no.
    CUiTarget* target = m_pTarget.get();
    job->repair.SetMessenger([target](const std::string& text, const std::string& caption, unsigned type) {
        int answer = (type & 0xF) == MB_OK ? IDOK : IDNO;
        if (!target->Send([&] { answer = MessageBoxA(nullptr, text.c_str(), caption.c_str(), type); }))
            return (type & 0xF) == MB_OK ? IDOK : IDNO;
        return answer;
    });
    if (m_fixWorker.joinable()) m_fixWorker.join();
    m_pFixJob = job;
    m_bFixRunning = true;
    SetWorkerRunning(true, FixStepText(RepairProgress::kStarting, 0, 0));
    m_fixWorker = std::thread([this, job, target] {
        job->outcome = job->repair.FixSelected(job->rows, job->files);
        target->Post([this, job] { FixFinished(job); });
    });
}

void CTopicDlgScanResult::SetWorkerRunning(bool running, const std::string& caption) {
    // Nothing else may start meanwhile: no scan, no backup, no other prefix, no other page.
    if (m_pMainDlg != nullptr) m_pMainDlg->EnableNavigation(!running);
    m_list.Enable(!running);
    m_pSelectAll->Enable(!running);
    m_btnFix.Show(!running);
    m_pFixBar->Show(running);
    if (running) {
        m_pFixBar->SetValue(0);
        m_lblCaption.SetText(caption);
        m_fixTimer.Start(100);
        wxBeginBusyCursor();
    } else {
        m_fixTimer.Stop();
        wxEndBusyCursor();
        ShowCaption();
    }
    UpdateCheckControls();
}

void CTopicDlgScanResult::OnFixTimer(wxTimerEvent&) {
    if (m_bRestartRunning) {
        m_pFixBar->Pulse();  // wineboot says nothing of how far it has come
        return;
    }
    if (!m_pFixJob) return;
    const RepairProgress& p = m_pFixJob->progress;
    const int phase = p.phase.load(std::memory_order_acquire);
    const size_t done = p.done.load(std::memory_order_relaxed);
    const size_t total = p.total.load(std::memory_order_relaxed);
    // Backing up is the first half of the bar, removing the second; saving and the cached
    // files run at its end.
    int value = 0;
    if (phase == RepairProgress::kBackingUp && total > 0) value = static_cast<int>(done * 500 / total);
    if (phase == RepairProgress::kRemoving && total > 0) value = 500 + static_cast<int>(done * 450 / total);
    if (phase >= RepairProgress::kSaving) value = 950 + (phase - RepairProgress::kSaving) * 20;
    m_pFixBar->SetValue(std::min(value, 1000));
    m_lblCaption.SetText(FixStepText(phase, done, total));
}

void CTopicDlgScanResult::FixFinished(const std::shared_ptr<FixJob>& job) {
    if (m_fixWorker.joinable()) m_fixWorker.join();
    m_pFixJob.reset();
    m_bFixRunning = false;
    SetWorkerRunning(false);
    CScanRepair& repair = job->repair;
    if (job->outcome != RepairOutcome::Repaired) {
        // Declined, or nothing deleted for a reason the repair has already shown: the rows
        // stay as they were, checks included, for another try.
        m_sLastSummary.clear();
        return;
    }
    // The repaired rows leave the list; rows the repair refused to touch stay, unchecked.
    const std::vector<RepairRow>& rows = job->rows;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].checked && repair.LeftAlone(i)) m_list.CheckItem(static_cast<long>(i), false);
    }
    m_list.DeleteCheckedRows();
    // The cached files are gone (or were left alone for the reasons given): counted no more.
    if (m_pMainDlg != nullptr) {
        if (auto* scanPage = dynamic_cast<CTopicDlgOptimizeRegistry*>(m_pMainDlg->m_pScanPage))
            scanPage->ForgetCachedFiles();
    }
    UpdateTotalCaption();
    ShowSelectedRow();
    std::shared_ptr<qv::Prefix> prefix = qv::ActivePrefix();
    m_sLastSummary = RepairSummaryText(repair, rows, prefix ? prefix->Root() : std::filesystem::path());
    std::string text = m_sLastSummary;
    if (!repair.Notes().empty()) {
        text += "\n\n" + std::string(StringText(905));
        for (const std::string& note : repair.Notes()) text += note + "\n";
    }
    MessageBoxA(nullptr, text.c_str(), std::string(StringText(107)).c_str(), MB_OK | MB_ICONINFORMATION);
    // The restart is offered after a short pause, during which the window goes on working.
    if (g_fixPauseMilliseconds > 0) {
        m_restartTimer.StartOnce(g_fixPauseMilliseconds);
    } else {
        PromptRestart();
    }
}

void CTopicDlgScanResult::PromptRestart() {
    int answer = MessageBoxA(nullptr, std::string(StringText(169)).c_str(), std::string(StringText(188)).c_str(), MB_YESNO | MB_ICONINFORMATION);
    if (m_pMainDlg == nullptr) return;
    if (answer == IDYES)
        StartRestart();
    else
        m_pMainDlg->ShowPage(0);
}

void CTopicDlgScanResult::StartRestart() {
    if (m_bFixRunning || m_bRestartRunning || m_pMainDlg == nullptr) return;
    if (m_fixWorker.joinable()) m_fixWorker.join();
    m_bRestartRunning = true;
    SetWorkerRunning(true, std::string(StringText(924)));
    CUiTarget* target = m_pTarget.get();
    CQuorvaneDlg* main = m_pMainDlg;
    m_fixWorker = std::thread([this, target, main] {
        std::string why;
        const bool done = main->RestartWindows(&why) != 0;
        target->Post([this, done, why] { RestartFinished(done, why); });
    });
}

void CTopicDlgScanResult::RestartFinished(bool done, const std::string& why) {
    if (m_fixWorker.joinable()) m_fixWorker.join();
    m_bRestartRunning = false;
    SetWorkerRunning(false);
    if (done)
        MessageBoxA(nullptr, std::string(StringText(925)).c_str(), std::string(StringText(188)).c_str(),
                    MB_OK | MB_ICONINFORMATION);
    else
        MessageBoxA(nullptr, (std::string(StringText(926)) + why).c_str(), std::string(StringText(188)).c_str(),
                    MB_OK | MB_ICONWARNING);
    if (m_pMainDlg != nullptr) m_pMainDlg->ShowPage(0);
}
