// Quick Boot's bookkeeping: applying records the time and the programs switched off, and the
// result page turns that into seconds once, claiming no gain when nothing was switched off.
#include <gtest/gtest.h>

#include <windows.h>

#include <climits>
#include <ctime>

#include "app/settings.h"
#include "app/string_table.h"
#include "quickboot/boot_up_result.h"
#include "quickboot/startup_failure_message.h"
#include "quickboot/startup_item_manager.h"
#include "small_prefix.h"
#include "vendor/core/system32.h"

using namespace qvtest;

namespace {

const std::string kRun = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

class QuickBootResultTest : public SmallPrefixTest {
protected:
    void SetUp() override {
        SmallPrefixTest::SetUp();
        for (const char* name : {"A", "B", "C", "D"})
            CSystem32::SetRegistryValue(kRun, name, std::string("C:\\") + name + ".exe", HKEY_CURRENT_USER);
    }
};

TEST_F(QuickBootResultTest, ThreeProgramsSwitchedOffShowTwelveSecondsOnce) {
    CStartupItemManager m;
    m.RefreshStartupList();
    ASSERT_EQ(m.Rows().size(), 4u);
    for (size_t i = 0; i < 3; ++i) m.SetChecked(i, false);
    // 14:07 local time.
    std::tm local{};
    local.tm_year = 109, local.tm_mon = 5, local.tm_mday = 6, local.tm_hour = 14, local.tm_min = 7;
    local.tm_isdst = -1;
    ASSERT_EQ(m.ApplyAndRecord(static_cast<int64_t>(std::mktime(&local))), 1);

    std::string stamp;
    ASSERT_TRUE(CSystem32::GetRegistryValue(settings::kOptionsKey, settings::kBTimeStamp, stamp, HKEY_LOCAL_MACHINE));
    EXPECT_EQ(stamp, "1407");
    BootUpResult first = ReadBootUpResult();
    EXPECT_TRUE(first.recorded);
    EXPECT_EQ(first.seconds, 12);
    EXPECT_EQ(first.text, "Your PC has been optimized to boot up\n12 seconds faster.");

    // "BFlag" was deleted: a second showing claims nothing.
    BootUpResult second = ReadBootUpResult();
    EXPECT_FALSE(second.recorded);
    EXPECT_EQ(second.seconds, 0);
    EXPECT_EQ(second.text.find("seconds faster"), std::string::npos);

    // Applying the same choice again switches nothing off and claims no gain.
    m.RefreshStartupList();
    ASSERT_EQ(m.ApplyAndRecord(), 1);
    BootUpResult third = ReadBootUpResult();
    EXPECT_TRUE(third.recorded);
    EXPECT_EQ(third.switchedOff, 0);
    EXPECT_EQ(third.seconds, 0);
}

TEST(BootUpResult, SecondsFromTheCount) {
    EXPECT_EQ(BootSecondsSaved(0), 0);
    EXPECT_EQ(BootSecondsSaved(-5), 0);
    EXPECT_EQ(BootSecondsSaved(1), 4);
    // A damaged count cannot overflow the figure.
    EXPECT_GT(BootSecondsSaved(INT_MAX), 0);
    EXPECT_EQ(BootUpResultText(0).find("XX"), std::string::npos);
}

}  // namespace

namespace {

TEST(StartupFailureMessage, NamesTheRowsThatCouldNotBeSwitchedAndStopsAfterTen) {
    CStartupItemManager m;
    EXPECT_EQ(StartupFailureMessage(m, "why"), "");
    // Rows whose root names no Run key cannot be switched on.
    for (int i = 0; i < 12; ++i) {
        m.AddStartupRow("Item" + std::to_string(i), "C:\\x.exe", i == 11 ? "" : "HKXX", kRun, "");
        m.SetChecked(0, true);
    }
    ASSERT_EQ(m.ApplyStartupList(), 1);
    ASSERT_EQ(m.FailedRows().size(), 12u);
    const std::string text = StartupFailureMessage(m, "Wine is running.");
    EXPECT_EQ(text.rfind(LoadStringText(921), 0), 0u);
    EXPECT_NE(text.find("\nItem11 (?, to start)\nItem10 (HKXX, to start)"), std::string::npos) << text;
    // The eleventh and twelfth rows are counted, not named.
    EXPECT_NE(text.find("\nItem2 (HKXX"), std::string::npos);
    EXPECT_EQ(text.find("Item1 ("), std::string::npos);
    EXPECT_EQ(text.find("Item0 ("), std::string::npos);
    EXPECT_NE(text.find("... and 2 more\n\nWine is running."), std::string::npos);
}

}  // namespace
