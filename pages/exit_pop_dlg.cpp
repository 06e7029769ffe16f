#include "pages/exit_pop_dlg.h"

#include <shellapi.h>

#include "shell/quorvane_main_dlg.h"
#include "shell/vendor_addresses.h"

CTopicDlgExitPop::CTopicDlgExitPop(wxWindow* parent) : CTopicDlg(214, parent) {}

bool CTopicDlgExitPop::OnInitDialog() {
    LoadBitmapA(kExitPopSkin, kSkinKey, 0);
    m_btnYes.Create("", 0x40000000, 244, 249, 248, 248, 0xC0C0C0, this, kYesPlease, 0);
    m_btnNo.Create("", 0x40000000, 247, 246, 245, 245, 0xC0C0C0, this, kNoThanks, 0);
    const std::string yes = "Yes, Please!";
    const std::string no = "No, Thanks";
    m_btnYes.SetToolTipText(&yes, 1);
    m_btnNo.SetToolTipText(&no, 1);
    m_btnYes.Move(100, 220);
    m_btnYes.Show();
    m_btnNo.Move(350, 220);
    m_btnNo.Show();
    m_btnYes.SetFocus();
    return true;
}

bool CTopicDlgExitPop::OnCommand(int id) {
    if (id == kNoThanks) {
        EndDialog(wxID_CANCEL);
        if (m_pMainDlg != nullptr) m_pMainDlg->QuitApplication();
        return true;
    }
    if (id == kYesPlease) {
        ShellExecuteA(nullptr, "open", kVendorOfferPage, nullptr, nullptr, SW_SHOWNORMAL);
        return true;
    }
    return false;
}
