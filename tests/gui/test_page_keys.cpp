// Enter and Escape on the pages and in the main window: they reach the focused control and
// never close anything.
#include <wx/textctrl.h>

#include "gui_test_support.h"
#include "shell/quorvane_main_dlg.h"

namespace {

using guitest::MainWindowTest;

// Delivers a key as the toolkit does before any control sees it: a char-hook event that
// starts at the focused window and rises through its parents. Returns whether the key then
// goes on to the focused window as a normal key press.
bool PressKey(wxWindow* focused, int key) {
    wxKeyEvent hook(wxEVT_CHAR_HOOK);
    hook.m_keyCode = key;
    hook.SetEventObject(focused);
    focused->ProcessWindowEvent(hook);
    return hook.IsNextEventAllowed();
}

TEST_F(MainWindowTest, EnterAndEscapeLeaveEveryPageOpenAndReachTheFocusedField) {
    CQuorvaneDlg& dlg = OpenMainWindow();
    wxTopLevelWindow* host = dlg.HostWindow();
    for (CTopicDlg* page : {dlg.m_pQuickBootPage, dlg.m_pHomePage, dlg.m_pBackupPage, dlg.m_pScanPage,
                            dlg.m_pOptionsPage, dlg.m_pHelpPage, dlg.m_pScanResultPage,
                            dlg.m_pQuickBootResultPage}) {
        dlg.HideAllPages();
        page->Show();
        // An edit field on the page, as several pages have.
        auto* field = new wxTextCtrl(page, wxID_ANY, "", wxPoint(20, 300), wxSize(200, 28));
        field->SetFocus();
        for (int key : {WXK_RETURN, WXK_ESCAPE, WXK_NUMPAD_ENTER}) {
            EXPECT_TRUE(PressKey(field, key)) << "page " << page->TemplateId() << " key " << key;
            guitest::Pump(std::chrono::milliseconds(10));
            EXPECT_TRUE(page->IsShown());
            EXPECT_TRUE(host->IsShown());
            EXPECT_EQ(guitest::ActiveModalDialog(), nullptr);
        }
        field->Destroy();
    }
    // On the main window itself (a navigation button has the focus): Escape goes on to the
    // button and closes nothing; Return presses it.
    EXPECT_TRUE(PressKey(&dlg.OptionsButton(), WXK_ESCAPE));
    guitest::Pump(std::chrono::milliseconds(10));
    EXPECT_TRUE(host->IsShown());
    EXPECT_EQ(guitest::ActiveModalDialog(), nullptr);
    EXPECT_FALSE(PressKey(&dlg.OptionsButton(), WXK_RETURN));
    guitest::Pump(std::chrono::milliseconds(10));
    EXPECT_TRUE(host->IsShown());
    EXPECT_TRUE(dlg.m_pOptionsPage->IsShown());
    EXPECT_TRUE(dlg.HasTrayIcon());
}

TEST_F(MainWindowTest, OtherKeysTakeTheirUsualWay) {
    CQuorvaneDlg& dlg = OpenMainWindow();
    dlg.m_pHomePage->Show();
    auto* field = new wxTextCtrl(dlg.m_pHomePage, wxID_ANY, "", wxPoint(20, 300), wxSize(200, 28));
    wxKeyEvent hook(wxEVT_CHAR_HOOK);
    hook.m_keyCode = 'A';
    hook.SetEventObject(field);
    bool reachedFrame = false;
    dlg.HostWindow()->Bind(wxEVT_CHAR_HOOK, [&](wxKeyEvent& e) { reachedFrame = true; e.Skip(); });
    field->ProcessWindowEvent(hook);
    EXPECT_TRUE(reachedFrame);
}

}  // namespace
