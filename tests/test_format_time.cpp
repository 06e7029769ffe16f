#include "app/app_utils.h"
#include "app/settings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace {

// Sets TZ for one test and puts the previous value back afterwards.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) old_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (old_) setenv("TZ", old_->c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> old_;
};

constexpr int64_t kJun06_2009_1905 = 1244315100;  // 2009-06-06 19:05:00 UTC
constexpr int64_t kJan02_2009_0004 = 1230854640;  // 2009-01-02 00:04:00 UTC
constexpr int64_t kDec31_2009_1230 = 1262262600;  // 2009-12-31 12:30:00 UTC
constexpr int64_t kMar04_2005_050607 = 1109912767;  // 2005-03-04 05:06:07 UTC

}  // namespace

TEST(FormatTime, StoredFormatKeepsDayAndMinuteZerosButNotTheHours) {
    ScopedTimeZone utc("UTC");
    EXPECT_EQ(FormatTime(kJun06_2009_1905, settings::kTimeFormat), "Jun,06 2009 7:05 PM");
    EXPECT_EQ(FormatTime(kJan02_2009_0004, settings::kTimeFormat), "Jan,02 2009 12:04 AM");
    EXPECT_EQ(FormatTime(kDec31_2009_1230, settings::kTimeFormat), "Dec,31 2009 12:30 PM");
}

TEST(FormatTime, OtherPatternsOfTheProgram) {
    ScopedTimeZone utc("UTC");
    EXPECT_EQ(FormatTime(kJun06_2009_1905, "[%b-%d-%Y %#I-%M %p]"), "[Jun-06-2009 7-05 PM]");
    EXPECT_EQ(FormatTime(kMar04_2005_050607, settings::kBootTimeStampFormat), "0506");
}

TEST(FormatTime, UsesLocalTime) {
    ScopedTimeZone tokyo("JST-9");
    EXPECT_EQ(FormatTime(kJun06_2009_1905, settings::kTimeFormat), "Jun,07 2009 4:05 AM");
}

TEST(FormatTime, NumberSignFlagFollowsTheWindowsRuntime) {
    ScopedTimeZone utc("UTC");
    // Numeric conversions lose their leading zeros.
    EXPECT_EQ(FormatTime(kMar04_2005_050607, "%#d/%#m/%#y %#H:%#M:%#S %#j %#Y"),
              "4/3/5 5:6:7 63 2005");
    // Elsewhere the flag changes nothing (this C library would swap the case).
    EXPECT_EQ(FormatTime(kMar04_2005_050607, "%#b %#p %#A"), "Mar AM Friday");
    // Long date forms.
    EXPECT_EQ(FormatTime(kMar04_2005_050607, "%#x"), "Friday, March 04, 2005");
    EXPECT_EQ(FormatTime(kMar04_2005_050607, "%#c"), "Friday, March 04, 2005, 05:06:07");
    // A literal percent sign followed by "#I" is text, not a conversion.
    EXPECT_EQ(FormatTime(kMar04_2005_050607, "%%#I"), "%#I");
}

TEST(FormatTime, FailuresGiveEmptyText) {
    ScopedTimeZone utc("UTC");
    // 127 characters fit the 128-character buffer; 128 do not.
    EXPECT_EQ(FormatTime(kJun06_2009_1905, std::string(127, 'x').c_str()), std::string(127, 'x'));
    EXPECT_EQ(FormatTime(kJun06_2009_1905, std::string(128, 'x').c_str()), "");
    EXPECT_EQ(FormatTime(kJun06_2009_1905, (std::string(124, 'x') + "%Y").c_str()), "");
    // A time beyond what local time can express.
    EXPECT_EQ(FormatTime(INT64_MAX, settings::kTimeFormat), "");
    // Malformed patterns.
    EXPECT_EQ(FormatTime(kJun06_2009_1905, "%b %"), "");
    EXPECT_EQ(FormatTime(kJun06_2009_1905, "%b %#"), "");
    EXPECT_EQ(FormatTime(kJun06_2009_1905, nullptr), "");
}
