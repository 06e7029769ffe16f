// CTopicDlgExitPop: the pop-up between the user's request to quit and the end of the
// program. "No, Thanks" quits; "Yes, Please!" opens the maker's offer page and stays; Enter
// and Escape do nothing; the system's close (Alt+F4) closes the pop-up without quitting.
#pragma once

#include "shell/topic_dlg.h"
#include "vendor/ui/bmp_button.h"

class CTopicDlgExitPop : public CTopicDlg {
public:
    static constexpr int kYesPlease = 0x900F;
    static constexpr int kNoThanks = 0x9010;

    explicit CTopicDlgExitPop(wxWindow* parent);

    CBMPButton& YesButton() { return m_btnYes; }
    CBMPButton& NoButton() { return m_btnNo; }

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id) override;

private:
    CBMPButton m_btnYes;
    CBMPButton m_btnNo;
};
