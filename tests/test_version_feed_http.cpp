// The version feed against a real HTTP server on 127.0.0.1: what each kind of feed, failed
// request and oversized or silent server leaves in the settings store.
#include <gtest/gtest.h>
#include <windows.h>
#include <wininet.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/settings.h"
#include "app/string_table.h"
#include "platform/prefix/prefix.h"
#include "temp_dir.h"
#include "test_version_feed_server.h"
#include "update/update_check.h"
#include "update/version_feed.h"
#include "vendor/core/system32.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string Feed(const std::string& inner) {
    return "<?xml version=\"1.0\"?>\n<xml>\n <Quorvane>\n" + inner + " </Quorvane>\n</xml>\n";
}

const std::string kFullFeed = Feed(
    "  <LastBuildDate>2025-06-01</LastBuildDate>\n"
    "  <Version>2</Version>\n"
    "  <Build>150</Build>\n"
    "  <UpgradeURL>https://zembrill.example.com/get?v=2&amp;from=146</UpgradeURL>\n"
    "  <SpecialOffer><![CDATA[Half price & more]]></SpecialOffer>\n"
    "  <SpecialOfferURL>https://zembrill.example.com/offer</SpecialOfferURL>\n");

class VersionFeedHttpTest : public ::testing::Test {
protected:
    void SetUp() override {
        qv::EnsureMinimalPrefix(temp_.path() / "prefix");
        qv::SetActivePrefix(std::make_shared<qv::Prefix>(temp_.path() / "prefix"));
        // Short limits keep the silent-server and oversized-body cases quick.
        savedLimits_ = qv::SetInternetLimits({500, 1500, 64 * 1024});
    }
    void TearDown() override {
        qv::SetInternetLimits(savedLimits_);
        qv::SetActivePrefix(nullptr);
    }

    static std::optional<std::string> Setting(const char* name) {
        std::string value;
        if (!CSystem32::GetRegistryValue(settings::kOptionsKey, name, value, HKEY_LOCAL_MACHINE)) return std::nullopt;
        return value;
    }
    static void Store(const char* name, const std::string& value) {
        CSystem32::SetRegistryValue(settings::kOptionsKey, name, value, HKEY_LOCAL_MACHINE);
    }
    // Every feed setting, "-" for a missing one.
    static std::map<std::string, std::string> FeedSettings() {
        std::map<std::string, std::string> all;
        for (const char* name : {settings::kLastBuildDate, settings::kVersion, settings::kBuild,
                                 settings::kUpgradeURL, settings::kSpecialOffer, settings::kSpecialOfferURL})
            all[name] = Setting(name).value_or("-");
        return all;
    }
    int Check(const std::string& body) {
        server_.Serve("/feed.xml", qvtest::Reply(200, body));
        return CVersionFeed().CheckFeed(server_.Url("/feed.xml"));
    }

    qvtest::TempDir temp_;
    qvtest::LocalHttpServer server_;
    qv::InternetLimits savedLimits_;
};

using Settings = std::map<std::string, std::string>;

TEST_F(VersionFeedHttpTest, NewFeedIsStoredAndTheSameDateAgainChangesNothing) {
    EXPECT_EQ(Check(kFullFeed), 1);
    const Settings stored = {{"LastBuildDate", "2025-06-01"},
                             {"Version", "2"},
                             {"Build", "150"},
                             {"UpgradeURL", "https://zembrill.example.com/get?v=2&from=146"},
                             {"SpecialOffer", "Half price & more"},
                             {"SpecialOfferURL", "https://zembrill.example.com/offer"}};
    EXPECT_EQ(FeedSettings(), stored);
    ASSERT_EQ(server_.Requests().size(), 1u);
    EXPECT_EQ(server_.Requests()[0].userAgent, "Vovediv AVE");

    // Same date, other contents: nothing is read beyond the date.
    EXPECT_EQ(Check(Feed("<LastBuildDate>2025-06-01</LastBuildDate><Version>9</Version>"
                         "<Build>999</Build>")),
              1);
    EXPECT_EQ(FeedSettings(), stored);

    // A new date with empty elements: only what has text is replaced.
    EXPECT_EQ(Check(Feed("<LastBuildDate>2025-07-01</LastBuildDate><Version>3</Version><Build></Build>"
                         "<SpecialOffer/>")),
              1);
    Settings expected = stored;
    expected["LastBuildDate"] = "2025-07-01";
    expected["Version"] = "3";
    EXPECT_EQ(FeedSettings(), expected);
}

TEST_F(VersionFeedHttpTest, EmptyOrMissingDateStopsTheEvaluation) {
    for (const std::string& inner : {std::string("<LastBuildDate></LastBuildDate><Version>2</Version>"),
                                     std::string("<LastBuildDate/><Version>2</Version>"),
                                     std::string("<Version>2</Version><Build>150</Build>")}) {
        SCOPED_TRACE(inner);
        EXPECT_EQ(Check(Feed(inner)), 1);
        EXPECT_EQ(FeedSettings(), (Settings{{"LastBuildDate", "-"}, {"Version", "-"}, {"Build", "-"},
                                            {"UpgradeURL", "-"}, {"SpecialOffer", "-"}, {"SpecialOfferURL", "-"}}));
    }
}

TEST_F(VersionFeedHttpTest, ElementsAreFoundOnlyInTheOrderOfTheFeedTable) {
    // Build before Version: the search for Version passes Build, which is then behind it.
    EXPECT_EQ(Check(Feed("<LastBuildDate>d1</LastBuildDate><Build>150</Build><Version>2</Version>"
                         "<SpecialOffer>Offer</SpecialOffer>")),
              1);
    EXPECT_EQ(Setting(settings::kVersion), "2");
    EXPECT_EQ(Setting(settings::kBuild), std::nullopt);
    EXPECT_EQ(Setting(settings::kSpecialOffer), "Offer");

    // With Version missing, Build is still found.
    EXPECT_EQ(Check(Feed("<LastBuildDate>d2</LastBuildDate><Build>151</Build>")), 1);
    EXPECT_EQ(Setting(settings::kBuild), "151");
    EXPECT_EQ(Setting(settings::kVersion), "2");
}

TEST_F(VersionFeedHttpTest, FeedsThatAreNotOursStoreNothing) {
    // A 404 page, a feed under another product element, a malformed feed, an empty body.
    server_.Serve("/feed.xml", qvtest::Reply(404, "<html><body>Not here</body></html>"));
    EXPECT_EQ(CVersionFeed().CheckFeed(server_.Url("/feed.xml")), 0);
    EXPECT_EQ(Check("<xml><Other><LastBuildDate>d</LastBuildDate></Other></xml>"), 0);
    EXPECT_EQ(Check("<xml><Quorvane><LastBuildDate>d</LastBuildDate></Quorvane>"), 0);
    EXPECT_EQ(Check(""), 0);
    EXPECT_EQ(Setting(settings::kLastBuildDate), std::nullopt);
}

TEST_F(VersionFeedHttpTest, AddressesThatAreNotWebAddressesAreNotStored) {
    Store(settings::kUpgradeURL, "https://zembrill.example.com/old");
    for (const char* address : {"file:///etc/passwd", "C:\\windows\\notepad.exe", "javascript:alert(1)",
                                "/usr/bin/xterm", "https://host/a b"}) {
        SCOPED_TRACE(address);
        static int date = 0;
        std::string escaped = address;
        EXPECT_EQ(Check(Feed("<LastBuildDate>d" + std::to_string(++date) + "</LastBuildDate><UpgradeURL>" +
                             escaped + "</UpgradeURL><SpecialOfferURL>" + escaped + "</SpecialOfferURL>")),
                  1);
        EXPECT_EQ(Setting(settings::kUpgradeURL), "https://zembrill.example.com/old");
        EXPECT_EQ(Setting(settings::kSpecialOfferURL), std::nullopt);
    }
}

TEST_F(VersionFeedHttpTest, SilentServerAndMissingServerFailWithinTheLimits) {
    server_.Serve("/feed.xml", qvtest::SilentReply());
    Clock::time_point start = Clock::now();
    EXPECT_EQ(CVersionFeed().CheckFeed(server_.Url("/feed.xml")), 0);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(4));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(1400));

    start = Clock::now();
    EXPECT_EQ(CVersionFeed().CheckFeed(qvtest::LocalHttpServer::ClosedPortUrl()), 0);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));

    // A name that does not resolve (the .invalid domain never does).
    EXPECT_EQ(CVersionFeed().CheckFeed("http://feed.quorvane.invalid/feed.xml"), 0);
    EXPECT_EQ(Setting(settings::kLastBuildDate), std::nullopt);
}

TEST_F(VersionFeedHttpTest, BodiesBeyondTheSizeLimitAreRefusedWithOrWithoutLength) {
    // Within the limit (64 KiB in these tests) a padded feed is read.
    std::string padding(60 * 1024, ' ');
    EXPECT_EQ(Check(Feed("<LastBuildDate>small</LastBuildDate>" + padding)), 1);
    EXPECT_EQ(Setting(settings::kLastBuildDate), "small");

    // Many megabytes: announced by Content-Length, and sent in chunks without a length.
    std::string huge = Feed("<LastBuildDate>huge</LastBuildDate><SpecialOffer>" +
                            std::string(8 << 20, 'x') + "</SpecialOffer>");
    EXPECT_EQ(Check(huge), 0);
    server_.Serve("/chunked.xml", qvtest::ChunkedReply(huge));
    EXPECT_EQ(CVersionFeed().CheckFeed(server_.Url("/chunked.xml")), 0);
    EXPECT_EQ(Setting(settings::kLastBuildDate), "small");
}

TEST_F(VersionFeedHttpTest, RedirectsAreFollowedToWebAddressesOnly) {
    server_.Serve("/moved.xml", qvtest::Reply(301, "", {"Location: /feed.xml"}));
    server_.Serve("/feed.xml", qvtest::Reply(200, kFullFeed));
    EXPECT_EQ(CVersionFeed().CheckFeed(server_.Url("/moved.xml")), 1);
    EXPECT_EQ(Setting(settings::kVersion), "2");

    server_.Serve("/escape.xml", qvtest::Reply(302, "", {"Location: file:///etc/hostname"}));
    EXPECT_EQ(CVersionFeed().CheckFeed(server_.Url("/escape.xml")), 0);
    // Schemes other than http and https are refused before any request.
    std::string text = "unchanged";
    EXPECT_TRUE(CVersionFeed().DownloadText("file:///etc/hostname", text));
    EXPECT_EQ(text, "");
}

TEST_F(VersionFeedHttpTest, DownloadStopsEachPieceAtAZeroByte) {
    std::string body = std::string("<xml>") + '\0' + "hidden" + std::string(2000, 'a');
    server_.Serve("/zero.bin", qvtest::Reply(200, body));
    std::string text;
    ASSERT_TRUE(CVersionFeed().DownloadText(server_.Url("/zero.bin"), text));
    // The first 1023-byte piece is cut at the zero byte; later pieces are whole.
    EXPECT_EQ(text.substr(0, 5), "<xml>");
    EXPECT_EQ(text.size(), 5 + (body.size() - 1023));
}

TEST_F(VersionFeedHttpTest, StoreIfChangedWritesOnlyADifferentText) {
    CVersionFeed feed;
    EXPECT_TRUE(feed.StoreIfChanged("Version", "2"));
    EXPECT_FALSE(feed.StoreIfChanged("Version", "2"));
    EXPECT_TRUE(feed.StoreIfChanged("Version", "2 "));
    // A value stored as a number cannot be read as text, so it counts as different.
    CSystem32::SetRegistryValue(settings::kOptionsKey, "Build", 150, HKEY_LOCAL_MACHINE);
    EXPECT_TRUE(feed.StoreIfChanged("Build", "150"));
    EXPECT_EQ(Setting(settings::kBuild), "150");
}

TEST_F(VersionFeedHttpTest, CheckUpdateSettingGatesTheRequest) {
    server_.Serve("/feed.xml", qvtest::Reply(200, kFullFeed));
    EXPECT_FALSE(CheckForUpdate(server_.Url("/feed.xml")));
    CSystem32::SetRegistryValue(settings::kOptionsKey, settings::kCheckUpdate, 0, HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(CheckForUpdate(server_.Url("/feed.xml")));
    EXPECT_TRUE(server_.Requests().empty());
    EXPECT_EQ(Setting(settings::kLastBuildDate), std::nullopt);

    CSystem32::SetRegistryValue(settings::kOptionsKey, settings::kCheckUpdate, 1, HKEY_LOCAL_MACHINE);
    EXPECT_TRUE(CheckForUpdate(server_.Url("/feed.xml")));
    EXPECT_EQ(server_.Requests().size(), 1u);
    EXPECT_EQ(Setting(settings::kLastBuildDate), "2025-06-01");
}

TEST_F(VersionFeedHttpTest, OurOwnFeedDocumentIsReadInFull) {
    std::string document = qvtest::ReadFile(std::filesystem::path(QV_SOURCE_DIR) / "resources/feed/quorvane-feed.xml");
    ASSERT_FALSE(document.empty());
    EXPECT_EQ(Check(document), 1);
    EXPECT_EQ(Setting(settings::kVersion), "1");
    EXPECT_EQ(Setting(settings::kBuild), "146");
    EXPECT_EQ(Setting(settings::kUpgradeURL),
              "https://zembrill.example.com/quorvane/download?channel=stable&from=146");
    EXPECT_TRUE(Setting(settings::kLastBuildDate).has_value());
    EXPECT_TRUE(Setting(settings::kSpecialOffer).has_value());
    EXPECT_TRUE(Setting(settings::kSpecialOfferURL).has_value());
}

TEST(VersionFeedNames, SettingNamesAgreeWithTheStringTable) {
    EXPECT_EQ(LoadStringText(223), settings::kLastBuildDate);
    EXPECT_EQ(LoadStringText(168), settings::kUpgradeURL);
    EXPECT_EQ(LoadStringText(219), settings::kSpecialOffer);
    EXPECT_EQ(LoadStringText(220), settings::kSpecialOfferURL);
}

TEST(InternetHandles, ReadsInPiecesAndRefusesStaleHandles) {
    qvtest::LocalHttpServer server;
    server.Serve("/body", qvtest::Reply(200, "0123456789"));
    HINTERNET internet = InternetOpenA("test", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    ASSERT_NE(internet, nullptr);
    HINTERNET request = InternetOpenUrlA(internet, server.Url("/body").c_str(), nullptr, 0, 0, 0);
    ASSERT_NE(request, nullptr);
    char buffer[8];
    DWORD read = 99;
    std::string body;
    while (InternetReadFile(request, buffer, 4, &read) && read > 0) body.append(buffer, read);
    EXPECT_EQ(body, "0123456789");
    EXPECT_EQ(read, 0u);
    // A session handle is not a request handle, and a closed handle is not followed.
    EXPECT_FALSE(InternetReadFile(internet, buffer, 4, &read));
    EXPECT_TRUE(InternetCloseHandle(request));
    EXPECT_FALSE(InternetCloseHandle(request));
    EXPECT_FALSE(InternetReadFile(request, buffer, 4, &read));
    EXPECT_EQ(InternetOpenUrlA(internet, "ftp://127.0.0.1/x", nullptr, 0, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_UNRECOGNIZED_SCHEME));
    EXPECT_TRUE(InternetCloseHandle(internet));
}

}  // namespace
