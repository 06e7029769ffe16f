// CTopicDlgScanResult: the page that lists what the last scan found, one check-list row per
// finding, and repairs the checked rows: partial backup, confirmation, deletions, removal of
// the repaired rows, cached internet files and cookies, then the offer to restart.
//
// Rows arrive from the scan worker through the scan page, which hands them to this page on
// the window's thread; the repair itself is the wx-free CScanRepair.
#pragma once

#include <wx/checkbox.h>

#include <memory>
#include <vector>

#include "results/check_list_ctrl.h"
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

    // IFindingSink, on the window's thread (a worker's call is sent there): a new row on top.
    void AddFinding(const ScanFinding& finding) override;
    void ClearFindings() override;

    // Every listed row plus the cached internet files and cookies the last scan found.
    int TotalItemCount() const;
    void UpdateTotalCaption();
    // The Fix button.
    void FixSelected();

    // The pause between the repair and the restart prompt (tests shorten it). Default 200.
    static void SetFixPause(int milliseconds);

    CCheckListCtrl& List() { return m_list; }
    wxCheckBox& SelectAllBox() { return *m_pSelectAll; }
    std::string CaptionText() const { return m_sCaption; }
    CBMPButton& FixButton() { return m_btnFix; }
    // The rows as the repair reads them: five texts and the check state, from the top.
    std::vector<RepairRow> ReadRows() const;

    bool Show(bool show = true) override;

    void SetWritingUnavailable(const std::string& reason) override { m_btnFix.SetUnavailable(reason); }

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id) override;

private:
    void OnSelectAll(wxCommandEvent& event);
    void PromptRestart();
    void ShowCaption();
    const CFindingStores* ScanStores() const;

    CTopicTitle m_title;               // 1013
    CCheckListCtrl m_list;             // 1045
    wxCheckBox* m_pSelectAll = nullptr;  // 1046
    CLabel m_lblCaption;               // 1047
    CBMPButton m_btnFix;               // 36877
    std::string m_sCaption;            // the caption's text as the string table makes it
    std::unique_ptr<CUiTarget> m_pTarget;
};

// The results list's column spec: the five headings joined with their widths.
std::string ScanResultColumnSpec();
