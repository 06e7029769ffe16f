// The skinned controls as a keyboard and mouse user meets them: one lit navigation button at
// a time, the hover look following the mouse after a menu or pop-up, Return and Space on a
// focused button.
#include "gui_test_support.h"
#include "shell/quorvane_main_dlg.h"

namespace {

using guitest::MainWindowTest;

void MouseEnters(wxWindow& window) {
    wxMouseEvent enter(wxEVT_ENTER_WINDOW);
    enter.SetEventObject(&window);
    window.GetEventHandler()->ProcessEvent(enter);
}

void Key(wxWindow& window, int code) {
    wxKeyEvent hook(wxEVT_CHAR_HOOK);
    hook.m_keyCode = code;
    hook.SetEventObject(&window);
    window.ProcessWindowEvent(hook);
}

TEST_F(MainWindowTest, ANavigationButtonForgetsTheMouseWhenItBecomesTheCurrentPage) {
    CQuorvaneDlg& dlg = OpenMainWindow();
    MouseEnters(dlg.BackupButton());
    ASSERT_TRUE(dlg.BackupButton().IsHovered());
    dlg.BackupButton().Click();  // now the current page: disabled, and no longer lit
    guitest::Pump();
    EXPECT_TRUE(dlg.m_pBackupPage->IsShown());
    EXPECT_FALSE(dlg.BackupButton().IsHovered());
    // The mouse went on to another button, whose click makes Backups available again:
    // it comes back unlit, and only the button under the mouse is lit.
    MouseEnters(dlg.OptionsButton());
    dlg.OptionsButton().Click();
    guitest::Pump();
    int lit = 0;
    for (CBMPButton* b : {&dlg.ScanButton(), &dlg.QuickBootButton(), &dlg.BackupButton(), &dlg.OptionsButton()})
        lit += b->IsHovered() ? 1 : 0;
    EXPECT_LE(lit, 1);
    EXPECT_FALSE(dlg.BackupButton().IsHovered());
}

TEST_F(MainWindowTest, AfterAPopUpTheHoverLookFollowsTheMouse) {
    CQuorvaneDlg& dlg = OpenMainWindow();
    // Lit as the mouse entered, then a pop-up took the mouse's leaving: the button asks
    // where the mouse is (nowhere near it) and goes dark.
    MouseEnters(dlg.OptionsButton());
    ASSERT_TRUE(dlg.OptionsButton().IsHovered());
    dlg.HostWindow()->WarpPointer(0, 0);
    guitest::Pump();
    dlg.OptionsButton().SyncHoverWithMouse();
    EXPECT_FALSE(dlg.OptionsButton().IsHovered());
}

TEST_F(MainWindowTest, ReturnAndSpacePressTheFocusedButton) {
    CQuorvaneDlg& dlg = OpenMainWindow();
    Key(dlg.QuickBootButton(), WXK_RETURN);
    guitest::Pump();
    EXPECT_TRUE(dlg.m_pQuickBootPage->IsShown());
    Key(dlg.BackupButton(), WXK_SPACE);
    guitest::Pump();
    EXPECT_TRUE(dlg.m_pBackupPage->IsShown());
    // Other keys are not the button's.
    Key(dlg.OptionsButton(), 'A');
    guitest::Pump();
    EXPECT_TRUE(dlg.m_pBackupPage->IsShown());
}

}  // namespace
