// The home page's logic without windows: its notice for stored versions and builds, its
// lines from the settings store, and where its links may lead.
#include <gtest/gtest.h>
#include <shellapi.h>
#include <windows.h>

#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "app/settings.h"
#include "app/string_table.h"
#include "pages/home_page_model.h"
#include "small_prefix.h"
#include "vendor/core/system32.h"

namespace {

using Text = std::optional<std::string>;

class HomePageModelTest : public qvtest::SmallPrefixTest {
protected:
    void SetUp() override {
        SmallPrefixTest::SetUp();
        previousOpener_ = qv::SetShellOpenHandler([this](const qv::ShellOpenRequest& request) {
            opened_.push_back(request.target);
            return true;
        });
    }
    void TearDown() override {
        qv::SetShellOpenHandler(previousOpener_);
        SmallPrefixTest::TearDown();
    }
    static void Store(const char* name, const std::string& value) {
        CSystem32::SetRegistryValue(settings::kOptionsKey, name, value, HKEY_LOCAL_MACHINE);
    }
    static Text Setting(const char* name) {
        std::string value;
        if (!CSystem32::GetRegistryValue(settings::kOptionsKey, name, value, HKEY_LOCAL_MACHINE)) return std::nullopt;
        return value;
    }

    CHomePageModel model_;
    qv::ShellOpenHandler previousOpener_;
    std::vector<std::string> opened_;
};

TEST(HomeUpdateNotice, ANewerVersionWinsOverANewerBuildAndNothingOlderIsAnnounced) {
    // The program is version 1, build 146.
    EXPECT_EQ(CHomePageModel::UpdateNotice("2", "100"), "(Version 2 is Available)");
    EXPECT_EQ(CHomePageModel::UpdateNotice("1", "150"), "(Build 150 is Available)");
    EXPECT_EQ(CHomePageModel::UpdateNotice("2", "150"), "(Version 2 is Available)");
    EXPECT_EQ(CHomePageModel::UpdateNotice("1", "146"), "");
    EXPECT_EQ(CHomePageModel::UpdateNotice("1", "not a number"), "");
    EXPECT_EQ(CHomePageModel::UpdateNotice("0", "999"), "(Build 999 is Available)");
    // Without a stored build there is no notice, even for a newer version.
    EXPECT_EQ(CHomePageModel::UpdateNotice("5", std::nullopt), "");
    // A version that cannot be read counts as the empty text, that is as 0.
    EXPECT_EQ(CHomePageModel::UpdateNotice(std::nullopt, "147"), "(Build 147 is Available)");
    // The stored text is shown as it stands; only its leading number is compared.
    EXPECT_EQ(CHomePageModel::UpdateNotice(" 2.5 beta", "1"), "(Version  2.5 beta is Available)");
    EXPECT_EQ(CHomePageModel::UpdateNotice("1", "146b"), "");
    EXPECT_EQ(CHomePageModel::UpdateNotice("+2", "1"), "(Version +2 is Available)");
    EXPECT_EQ(CHomePageModel::UpdateNotice("- 2", "1"), "");
    // Numbers beyond the integer range neither overflow nor wrap around to "older".
    EXPECT_EQ(CHomePageModel::UpdateNotice("99999999999999999999999", "1"),
              "(Version 99999999999999999999999 is Available)");
    EXPECT_EQ(CHomePageModel::UpdateNotice("-99999999999999999999999", "1"), "");
}

TEST_F(HomePageModelTest, ScanNowRecordsTheTimeAloneAndTheLineKeepsItsCaption) {
    std::string line = model_.RecordScanStart();
    Text stored = Setting(settings::kLastScan);
    ASSERT_TRUE(stored.has_value());
    // The stored time format: Jun,06 2009 7:05 PM.
    EXPECT_TRUE(std::regex_match(*stored, std::regex("[A-Z][a-z]{2},\\d{2} \\d{4} \\d{1,2}:\\d{2} (AM|PM)"))) << *stored;
    EXPECT_EQ(line, std::string(StringText(115)) + *stored);
    EXPECT_EQ(model_.RefreshStatus().lastScanLine, line);
}

TEST_F(HomePageModelTest, LinksOpenOnlyWebAddresses) {
    EXPECT_FALSE(model_.OpenUpgradeAddress());  // nothing stored
    MakeFile("windows/notepad.exe", "MZ");
    MakeFile("users/tester/notes.txt", "a document");
    for (const char* refused : {"file:///etc/passwd", "C:\\windows\\notepad.exe", "C:\\users\\tester\\notes.txt",
                                "javascript:alert(1)", "steam://run/1", "/usr/bin/xterm", "--help", "", "http://"}) {
        Store(settings::kUpgradeURL, refused);
        Store(settings::kSpecialOfferURL, refused);
        EXPECT_FALSE(model_.OpenUpgradeAddress()) << refused;
        EXPECT_FALSE(model_.OpenOfferAddress()) << refused;
    }
    EXPECT_TRUE(opened_.empty());

    Store(settings::kUpgradeURL, "https://zembrill.example.com/get?v=2&from=146");
    Store(settings::kSpecialOfferURL, "http://zembrill.example.com/offer");
    EXPECT_TRUE(model_.OpenUpgradeAddress());
    EXPECT_TRUE(model_.OpenOfferAddress());
    EXPECT_EQ(opened_, (std::vector<std::string>{"https://zembrill.example.com/get?v=2&from=146",
                                                 "http://zembrill.example.com/offer"}));
}

}  // namespace
