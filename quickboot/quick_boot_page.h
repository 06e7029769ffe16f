// CTopicTitleDlgOptimize: the Quick Boot page. It lists the programs that start with Windows
// (checked) and those the system configuration utility's store holds switched off
// (unchecked), and applies the user's choice: every unchecked program is switched off,
// every checked one on. The result page then tells how much faster Windows starts.
//
// The list and the switching are CStartupItemManager's (the startup readers fill it); the
// page shows its rows in a check-list and hands the check boxes back to it when the user
// applies. The list is read again from the registry every time the page comes into view.
#pragma once

#include <wx/statbmp.h>

#include <cstdint>
#include <ctime>
#include <string>

#include "quickboot/startup_item_manager.h"
#include "results/check_list_ctrl.h"
#include "shell/topic_dlg.h"
#include "vendor/ui/bmp_button.h"
#include "vendor/ui/label.h"
#include "vendor/ui/topic_title.h"

class CTopicTitleDlgOptimize : public CTopicDlg {
public:
    static constexpr unsigned kTemplate = 146;
    static constexpr int kBannerId = 1008;
    static constexpr int kListId = 1072;
    static constexpr int kResultLabelId = 1073;
    static constexpr int kTipId = 1048;
    static constexpr int kPictureId = 1049;
    static constexpr int kApplyId = 36882;
    static constexpr int kRefreshId = 36883;

    explicit CTopicTitleDlgOptimize(wxWindow* parent);

    // Reads the list again from the registry: the running programs checked above the
    // switched-off ones.
    void RefreshStartupList();
    // The apply button: applies, records the time and the count, and shows the result page.
    // Programs that could not be switched are named in a message.
    void ApplyAndRecord(int64_t now = static_cast<int64_t>(std::time(nullptr)));

    bool Show(bool show = true) override;

    // ---- for tests and the screenshots
    CCheckListCtrl& List() { return m_list; }
    CBMPButton& ApplyButton() { return m_btnApply; }
    CLabel& TipLabel() { return m_lblTip; }

    void SetWritingUnavailable(const std::string& reason) override { m_btnApply.SetUnavailable(reason); }

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id) override;

private:
    // Hands the list's check boxes to the manager, row by row.
    void TakeCheckStates();

    CStartupItemManager m_manager;
    CTopicTitle m_title;                      // 1008
    CCheckListCtrl m_list;                    // 1072
    CLabel m_lblResult;                       // 1073
    CLabel m_lblTip;                          // 1048
    wxStaticBitmap* m_pPicture = nullptr;     // 1049, owned by the window
    CBMPButton m_btnApply;                    // 36882
    CBMPButton m_btnRefresh;                  // 36883
};

// The Quick Boot list's column list: five columns, three of them not seen.
inline constexpr char kStartupColumnList[] = "Startup Item, 120; Path, 345; Root, 0; Registry, 0; Key, 0";
