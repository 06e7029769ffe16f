// CTopicDlgScanResult: the page that lists what the last scan found, one check-list row per
// finding, and repairs the checked rows: partial backup, confirmation, deletions, removal of
// the repaired rows, cached internet files and cookies, a summary, then the offer to restart.
//
// Rows arrive from the scan worker through the scan page, which hands them to this page on
// the window's thread. The selected row is shown in full in a strip under the list. The
// repair itself is the wx-free CScanRepair; it runs on a worker of the page while a bar shows
// how far it is, so the window stays responsive however many rows it removes. A declined or
// failed repair leaves the list as it was.
#pragma once

#include <wx/checkbox.h>
#include <wx/gauge.h>
#include <wx/timer.h>

#include <memory>
#include <thread>
#include <vector>

#include "results/check_list_ctrl.h"
#include "results/finding_details_strip_ctrl.h"
#include "results/scan_repair.h"
#include "scan/scan_sinks.h"
#include "shell/topic_dlg.h"
#include "vendor/ui/bmp_button.h"
#include "vendor/ui/label.h"
#include "vendor/ui/topic_title.h"
#include "vendor/ui/ui_thread_calls.h"

class CTopicDlgScanResult : public CTopicDlg, public IFindingSink {
public:
    static constexpr int kFixCommand = 36877;

    explicit CTopicDlgScanResult(wxWindow* parent);
    ~CTopicDlgScanResult() override;

    // IFindingSink, on the window's thread (a worker's call is sent there): a new row on top.
    void AddFinding(const ScanFinding& finding) override;
    void ClearFindings() override;

    // Every listed row plus the cached internet files and cookies the last scan found.
    int TotalItemCount() const;
    void UpdateTotalCaption();
    // The Fix button: starts the repair of the checked rows on the page's worker.
    void FixSelected();
    bool FixRunning() const { return m_bFixRunning; }
    // From "Yes" to the restart's last word.
    bool RestartRunning() const { return m_bRestartRunning; }
    // Pictures of the page: a row selected with its details, and the page as it looks while
    // a repair is at `done` of `total` rows in `phase` (a negative phase ends the picture).
    void SelectRow(long row);
    void PreviewFixProgress(int phase, size_t done, size_t total);
    // The last repair's account of itself, as the summary showed it.
    const std::string& LastSummary() const { return m_sLastSummary; }

    // The pause between the repair and the restart prompt (tests shorten it). Default 200.
    static void SetFixPause(int milliseconds);

    CCheckListCtrl& List() { return m_list; }
    wxCheckBox& SelectAllBox() { return *m_pSelectAll; }
    std::string CaptionText() const { return m_sCaption; }
    CBMPButton& FixButton() { return m_btnFix; }
    CFindingDetailsStrip& DetailsStrip() { return *m_pDetails; }
    wxGauge& FixBar() { return *m_pFixBar; }
    // The rows as the repair reads them: five texts and the check state, from the top.
    std::vector<RepairRow> ReadRows() const;

    bool Show(bool show = true) override;

    void SetWritingUnavailable(const std::string& reason) override { m_btnFix.SetUnavailable(reason); }

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id) override;

private:
    struct FixJob;

    void OnSelectAll(wxCommandEvent& event);
    void OnCaptionClick(wxMouseEvent& event);
    void OnChecksChanged(wxCommandEvent& event);
    void OnRowSelected(wxListEvent& event);
    void OnFixTimer(wxTimerEvent& event);
    // Fix is offered while rows are checked and no repair runs; select-all shows whether
    // every row is checked.
    void UpdateCheckControls();
    bool HasWorkToFix() const;
    void ShowSelectedRow();
    // A worker of the page (the repair, or the restart after it) runs: the list, the
    // navigation and Fix wait; the bar and `caption` say what goes on.
    void SetWorkerRunning(bool running, const std::string& caption = {});
    void StartRestart();
    void RestartFinished(bool done, const std::string& why);
    void FixFinished(const std::shared_ptr<FixJob>& job);
    void PromptRestart();
    void ShowCaption();
    const CFindingStores* ScanStores() const;

    CTopicTitle m_title;               // 1013
    CCheckListCtrl m_list;             // 1045
    wxCheckBox* m_pSelectAll = nullptr;  // 1046
    CLabel m_lblCaption;               // 1047
    CBMPButton m_btnFix;               // 36877
    CFindingDetailsStrip* m_pDetails = nullptr;
    wxGauge* m_pFixBar = nullptr;
    wxTimer m_fixTimer;
    wxTimer m_restartTimer;
    std::string m_sCaption;            // the caption's text as the string table makes it
    std::string m_sLastSummary;
    bool m_bFixRunning = false;
    bool m_bRestartRunning = false;
    std::shared_ptr<FixJob> m_pFixJob;
    std::thread m_fixWorker;
    std::unique_ptr<CUiTarget> m_pTarget;
};

// The results list's column spec: the five headings joined with their widths.
std::string ScanResultColumnSpec();
