#include "results/scan_result_page.h"

#include <windows.h>

#include <wx/dcclient.h>
#include <wx/thread.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "app/string_table.h"
#include "backup/backup_store.h"
#include "scan/optimize_registry_page.h"
#include "shell/quorvane_main_dlg.h"
#include "vendor/ui/ui_font.h"

namespace {

int g_fixPauseMilliseconds = 200;

}  // namespace

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

CTopicDlgScanResult::CTopicDlgScanResult(wxWindow* parent) : CTopicDlg(130, parent) {}

bool CTopicDlgScanResult::OnInitDialog() {
    m_pTarget = std::make_unique<CUiTarget>(this);
    LoadBitmapA(kPageSkin, kSkinKey, 0);
    m_title.Create(this, 1013);
    SetupTitleBanner(m_title, 0, std::string(StringText(156)), std::string(StringText(157)));
    m_btnFix.Create("", 0x40000000, 174, 175, 176, 0, 0xC0C0C0, this, kFixCommand, 0);
    const std::string tip = std::string(StringText(222));
    m_btnFix.SetToolTipText(&tip, 1);

    m_list.Create(this, 1045, wxRect(16, 73, 473, 180));
    // The toolkit's check box cannot be drawn smaller than its indicator: it keeps its own
    // size at the box's place, and the caption follows it.
    m_pSelectAll = new wxCheckBox(this, 1046, "", wxPoint(16, 257));
    CreatePageLabel(m_lblCaption, this, 1047, wxRect(32, 257, 473, 18), false);

    PlaceTitleBanner(m_title);
    m_list.SetSize(16, 73, 473, 180);
    m_pSelectAll->Move(16, 257);
    const int captionX = std::max(32, 16 + m_pSelectAll->GetSize().GetWidth() + 2);
    m_lblCaption.SetSize(captionX, 257 + (m_pSelectAll->GetSize().GetHeight() - 18) / 2, 489 - captionX, 18);
    m_btnFix.Move(246, 280);
    for (wxWindow* w : std::initializer_list<wxWindow*>{&m_list, m_pSelectAll, &m_lblCaption, &m_btnFix}) w->Show();

    m_list.SetGridLines(true);
    m_list.SetCheckBoxes(true);
    m_list.SetColumns(ScanResultColumnSpec());
    m_pSelectAll->Bind(wxEVT_CHECKBOX, &CTopicDlgScanResult::OnSelectAll, this);
    return true;
}

bool CTopicDlgScanResult::Show(bool show) {
    bool changed = CTopicDlg::Show(show);
    if (changed && show) UpdateTotalCaption();
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
}

std::vector<RepairRow> CTopicDlgScanResult::ReadRows() const {
    std::vector<RepairRow> rows;
    const int count = m_list.GetItemCount();
    rows.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        RepairRow row;
        row.finding.problem = m_list.CellText(i, 0);
        row.finding.description = m_list.CellText(i, 1);
        row.finding.key = m_list.CellText(i, 2);
        row.finding.rootKey = m_list.CellText(i, 3);
        row.finding.kind = m_list.CellText(i, 4);
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

// ---- repair ----------------------------------------------------------------------------

void CTopicDlgScanResult::FixSelected() {
    std::vector<RepairRow> rows = ReadRows();
    CBackupStore store;
    CScanRepair repair(store);
    static const CFindingStores kNone;
    const CFindingStores* stores = ScanStores();
    RepairOutcome outcome = repair.FixSelected(rows, stores != nullptr ? *stores : kNone);
    if (outcome != RepairOutcome::Repaired) {
        // Declined, or nothing deleted for a reason the repair has already shown.
        if (m_pMainDlg != nullptr) m_pMainDlg->ShowPage(0);
        return;
    }
    // The repaired rows leave the list; rows the repair refused to touch stay, unchecked.
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].checked && repair.LeftAlone(i)) m_list.CheckItem(static_cast<long>(i), false);
    }
    m_list.DeleteCheckedRows();
    UpdateTotalCaption();
    if (!repair.Notes().empty()) {
        std::string text(StringText(905));
        for (const std::string& note : repair.Notes()) text += note + "\n";
        MessageBoxA(nullptr, text.c_str(), std::string(StringText(107)).c_str(), MB_OK | MB_ICONINFORMATION);
    }
    if (g_fixPauseMilliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(g_fixPauseMilliseconds));
    PromptRestart();
}

void CTopicDlgScanResult::PromptRestart() {
    int answer = MessageBoxA(nullptr, std::string(StringText(169)).c_str(), std::string(StringText(188)).c_str(), MB_YESNO | MB_ICONINFORMATION);
    if (m_pMainDlg == nullptr) return;
    if (answer == IDYES)
        m_pMainDlg->RestartWindows();
    else
        m_pMainDlg->ShowPage(0);
}
