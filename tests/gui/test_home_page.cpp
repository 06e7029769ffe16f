// The home page in the main window: its lines and notices from the settings, Scan Now, its
// links, and the update check it starts, against a real HTTP server on 127.0.0.1.
#include <shellapi.h>
#include <wininet.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/settings.h"
#include "app/string_table.h"
#include "gui_test_support.h"
#include "pages/home_page.h"
#include "shell/quorvane_main_dlg.h"
#include "test_version_feed_server.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class HomePageTest : public guitest::MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        m_previousOpener = qv::SetShellOpenHandler([this](const qv::ShellOpenRequest& request) {
            m_opened.push_back(request.target);
            return true;
        });
        m_previousAddress = SetHomeFeedAddress(m_server.Url("/feed.xml"));
        m_savedLimits = qv::SetInternetLimits({500, 2000, 64 * 1024});
    }
    void TearDown() override {
        MainWindowTest::TearDown();
        qv::SetInternetLimits(m_savedLimits);
        SetHomeFeedAddress(m_previousAddress);
        qv::SetShellOpenHandler(m_previousOpener);
    }
    CTopicTitleDlgHome& OpenHomePage() {
        CQuorvaneDlg& dlg = OpenMainWindow();
        auto* home = dynamic_cast<CTopicTitleDlgHome*>(dlg.m_pHomePage);
        EXPECT_NE(home, nullptr);
        EXPECT_TRUE(home->IsShown());
        return *home;
    }
    static std::string Caption(int id) { return LoadStringText(id); }

    qvtest::LocalHttpServer m_server;
    qv::ShellOpenHandler m_previousOpener;
    std::string m_previousAddress;
    qv::InternetLimits m_savedLimits;
    std::vector<std::string> m_opened;
};

TEST_F(HomePageTest, ShowsTheNoticeForAStoredVersionOrBuild) {
    SetSetting(settings::kVersion, std::string("2"));
    SetSetting(settings::kBuild, std::string("100"));
    {
        CTopicTitleDlgHome& home = OpenHomePage();
        EXPECT_EQ(home.LastScanLabel().GetText(), "There is no scan history.");
        EXPECT_EQ(home.VersionLabel().GetText(), Caption(153) + "Quorvane v 1.0 Build 146");
        EXPECT_TRUE(home.UpdateNoticeLabel().IsShown());
        EXPECT_TRUE(home.UpdateNoticeLabel().IsLink());
        EXPECT_EQ(home.UpdateNoticeLabel().GetText(), "(Version 2 is Available)");
        // No offer stored: neither the caption nor the offer is shown.
        EXPECT_FALSE(home.OfferCaptionLabel().IsShown());
        EXPECT_FALSE(home.OfferLabel().IsShown());
        EXPECT_FALSE(home.UpdateCheckStarted());
    }
    CloseMainWindow();

    SetSetting(settings::kVersion, std::string("1"));
    SetSetting(settings::kBuild, std::string("150"));
    SetSetting(settings::kLastScan, std::string("Jun,06 2009 7:05 PM"));
    {
        CTopicTitleDlgHome& home = OpenHomePage();
        EXPECT_EQ(home.UpdateNoticeLabel().GetText(), "(Build 150 is Available)");
        EXPECT_TRUE(home.UpdateNoticeLabel().IsShown());
        EXPECT_EQ(home.LastScanLabel().GetText(), Caption(115) + "Jun,06 2009 7:05 PM");
    }
    CloseMainWindow();

    SetSetting(settings::kBuild, std::string("146"));
    EXPECT_FALSE(OpenHomePage().UpdateNoticeLabel().IsShown());
}

TEST_F(HomePageTest, ScanNowRecordsTheLastScanAndStartsAScan) {
    CTopicTitleDlgHome& home = OpenHomePage();
    std::atomic<bool> scanned{false};
    m_dlg->SetScanBody([&](CScanRunControl&) { scanned = true; });
    home.ScanNowButton().Click();
    EXPECT_TRUE(m_dlg->m_pScanPage->IsShown());
    EXPECT_FALSE(home.IsShown());
    std::string lastScan;
    ASSERT_TRUE(ReadSetting(settings::kLastScan, lastScan));
    EXPECT_FALSE(lastScan.empty());
    EXPECT_EQ(home.LastScanLabel().GetText(), Caption(115) + lastScan);
    ASSERT_TRUE(guitest::PumpUntil([&] { return m_dlg->m_pScanResultPage->IsShown(); }));
    EXPECT_TRUE(scanned);
}

TEST_F(HomePageTest, LinksOpenTheStoredWebAddressesAndNothingElse) {
    SetSetting(settings::kVersion, std::string("2"));
    SetSetting(settings::kBuild, std::string("100"));
    SetSetting(settings::kUpgradeURL, std::string("https://zembrill.example.com/get?v=2"));
    SetSetting(settings::kSpecialOffer, std::string("Half price & more"));
    SetSetting(settings::kSpecialOfferURL, std::string("file:///etc/passwd"));
    CTopicTitleDlgHome& home = OpenHomePage();
    EXPECT_TRUE(home.OfferCaptionLabel().IsShown());
    EXPECT_EQ(home.OfferCaptionLabel().GetText(), "Special Offer:");
    EXPECT_EQ(home.OfferLabel().GetText(), "Half price & more");
    // An offer address that is not a web address makes no link, and a click opens nothing.
    EXPECT_FALSE(home.OfferLabel().IsLink());
    home.OfferLabel().SetLink(true);
    home.OfferLabel().Click();
    home.UpdateNoticeLabel().Click();
    guitest::Pump();
    EXPECT_EQ(m_opened, (std::vector<std::string>{"https://zembrill.example.com/get?v=2"}));
    EXPECT_TRUE(home.IsShown());
}

TEST_F(HomePageTest, WithCheckUpdateOffNoRequestReachesTheServer) {
    m_server.Serve("/feed.xml", qvtest::Reply(200, "<xml><Quorvane><LastBuildDate>d</LastBuildDate>"
                                                   "<Version>2</Version><Build>1</Build></Quorvane></xml>"));
    SetSetting(settings::kCheckUpdate, 0);
    CTopicTitleDlgHome& home = OpenHomePage();
    guitest::Pump(300ms);
    EXPECT_FALSE(home.UpdateCheckStarted());
    EXPECT_TRUE(m_server.Requests().empty());
    EXPECT_FALSE(home.UpdateNoticeLabel().IsShown());
}

TEST_F(HomePageTest, TheFeedCheckedAtOpeningIsShownWhenItArrives) {
    m_server.Serve("/feed.xml", qvtest::Reply(200,
        "<xml><Quorvane><LastBuildDate>d</LastBuildDate><Version>1</Version><Build>150</Build>"
        "<UpgradeURL>https://zembrill.example.com/get</UpgradeURL><SpecialOffer>Two for one</SpecialOffer>"
        "<SpecialOfferURL>https://zembrill.example.com/offer</SpecialOfferURL></Quorvane></xml>"));
    SetSetting(settings::kCheckUpdate, 1);
    CTopicTitleDlgHome& home = OpenHomePage();
    EXPECT_TRUE(home.UpdateCheckStarted());
    ASSERT_TRUE(guitest::PumpUntil([&] { return home.UpdateCheckShown(); }));
    EXPECT_EQ(m_server.Requests().size(), 1u);
    EXPECT_EQ(home.UpdateNoticeLabel().GetText(), "(Build 150 is Available)");
    EXPECT_TRUE(home.UpdateNoticeLabel().IsShown());
    EXPECT_EQ(home.OfferLabel().GetText(), "Two for one");
    EXPECT_TRUE(home.OfferLabel().IsLink());
    home.OfferLabel().Click();
    EXPECT_EQ(m_opened, (std::vector<std::string>{"https://zembrill.example.com/offer"}));
}

TEST_F(HomePageTest, ASilentFeedServerDoesNotHoldTheWindow) {
    m_server.Serve("/feed.xml", qvtest::SilentReply());
    SetSetting(settings::kCheckUpdate, 1);
    SetSetting(settings::kBuild, std::string("150"));
    const Clock::time_point start = Clock::now();
    CTopicTitleDlgHome& home = OpenHomePage();
    // The page is up with what the store holds while the request still waits for an answer.
    EXPECT_TRUE(home.UpdateCheckStarted());
    EXPECT_FALSE(home.UpdateCheckShown());
    EXPECT_EQ(home.UpdateNoticeLabel().GetText(), "(Build 150 is Available)");
    EXPECT_TRUE(m_dlg->HostWindow()->IsShownOnScreen());
    EXPECT_LT(Clock::now() - start, 1500ms);
    // The window answers meanwhile: navigation works.
    m_dlg->OptionsButton().Click();
    guitest::Pump();
    EXPECT_TRUE(m_dlg->m_pOptionsPage->IsShown());
    // Closing the window while the request waits: the worker ends within the time limit,
    // and its report to the page, which is gone by then, is dropped.
    CloseMainWindow();
    guitest::Pump(100ms);
}

}  // namespace
