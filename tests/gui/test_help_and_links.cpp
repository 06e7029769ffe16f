// The help menu's and the tray's links, the About box and the help page.
#include <shellapi.h>

#include <filesystem>

#include "app/string_table.h"
#include "app/version_text.h"
#include "gui_test_support.h"
#include "pages/about_dlg.h"
#include "pages/help_support_page.h"
#include "shell/command_ids.h"
#include "shell/quorvane_main_dlg.h"
#include "shell/vendor_addresses.h"

namespace {

using guitest::MainWindowTest;

class LinkTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        m_previous = qv::SetShellOpenHandler([this](const qv::ShellOpenRequest& request) {
            m_requests.push_back(request);
            return m_openerWorks;
        });
    }
    void TearDown() override {
        qv::SetShellOpenHandler(m_previous);
        MainWindowTest::TearDown();
    }
    qv::ShellOpenHandler m_previous;
    std::vector<qv::ShellOpenRequest> m_requests;
    bool m_openerWorks = true;
};

TEST_F(LinkTest, HelpTopicsOpensTheHtmlHelpDocumentBesideTheProgram) {
    CQuorvaneDlg& dlg = OpenMainWindow();
    dlg.RunCommand(cmd::kHelpTopics);
    ASSERT_EQ(m_requests.size(), 1u);
    EXPECT_EQ(m_requests[0].kind, qv::ShellOpenRequest::Kind::File);
    std::filesystem::path help = m_requests[0].target;
    EXPECT_EQ(help.filename(), "Quorvane.html");
    EXPECT_EQ(help.parent_path().filename(), "Help");
    EXPECT_TRUE(std::filesystem::is_regular_file(help));
}

TEST_F(LinkTest, WebLinksOpenTheirAddressesAndAFailingOpenerChangesNothing) {
    CQuorvaneDlg& dlg = OpenMainWindow();
    m_openerWorks = false;  // no browser installed
    for (int id : {cmd::kContactUs, cmd::kHelpOnline, cmd::kTrayHomePage, cmd::kTrayOnlineHelp}) {
        EXPECT_TRUE(dlg.RunCommand(id));
    }
    ASSERT_EQ(m_requests.size(), 4u);
    EXPECT_EQ(m_requests[0].target, StringText(117));
    EXPECT_EQ(m_requests[1].target, StringText(204));
    EXPECT_EQ(m_requests[2].target, kVendorHomePage);
    EXPECT_EQ(m_requests[3].target, StringText(117));
    EXPECT_TRUE(dlg.HostWindow()->IsShown());
}

TEST_F(LinkTest, HelpMenuHoldsItsItemsInOrder) {
    CQuorvaneDlg& dlg = OpenMainWindow();
    std::unique_ptr<wxMenu> menu(dlg.BuildHelpMenu());
    std::vector<int> ids;
    for (wxMenuItem* item : menu->GetMenuItems()) ids.push_back(item->IsSeparator() ? 0 : CommandOfMenuItem(item->GetId()));
    EXPECT_EQ(ids, (std::vector<int>{cmd::kHelpTopics, 0, cmd::kHelpOnline, cmd::kContactUs, 0, cmd::kAbout}));
}

TEST_F(MainWindowTest, AboutBoxShowsTheVersionAndTheNoticeAndClosesOnEscape) {
    CQuorvaneDlg& dlg = OpenMainWindow();
    std::string version, notice, title;
    guitest::WhenModal([&](wxDialog* dialog) {
        auto* about = dynamic_cast<CDlgQuorvaneAbout*>(dialog);
        ASSERT_NE(about, nullptr);
        version = about->VersionLabel().GetText();
        notice = about->NoticeLabel().GetText();
        title = about->GetTitle().utf8_string();
        EXPECT_EQ(about->VersionLabel().GetPosition(), wxPoint(60, 15));
        EXPECT_EQ(about->NoticeLabel().GetPosition(), wxPoint(60, 40));
        wxKeyEvent escape(wxEVT_CHAR_HOOK);
        escape.m_keyCode = WXK_ESCAPE;
        escape.SetEventObject(about);
        about->ProcessWindowEvent(escape);
    });
    dlg.RunCommand(cmd::kAbout);
    EXPECT_EQ(version, "Quorvane v 1.0 Build 146");
    EXPECT_EQ(notice, StringText(193));
    EXPECT_EQ(title, "About Quorvane");
}

TEST_F(MainWindowTest, HelpPageAndBannersCarryTheirTexts) {
    CQuorvaneDlg& dlg = OpenMainWindow();
    auto* help = dynamic_cast<CTopicDlgHelpNSupport*>(dlg.m_pHelpPage);
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->Banner().Title(), "Help and Support");
    EXPECT_EQ(help->Banner().Description(), "Help and Support Center");
    EXPECT_TRUE(help->Banner().HasImage());
    EXPECT_EQ(help->Banner().GetPosition(), wxPoint(10, 6));
    EXPECT_EQ(help->Banner().GetSize(), wxSize(480, 350));
    EXPECT_EQ(help->Description().GetPosition(), wxPoint(16, 95));
    EXPECT_EQ(help->Description().GetText(), StringText(205));
}

}  // namespace
