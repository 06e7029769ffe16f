// Opening the feed's links: which addresses and files ShellExecuteA hands to the desktop's
// opener, recorded instead of opened.
#include <gtest/gtest.h>
#include <shellapi.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "small_prefix.h"

namespace {

class ShellOpenTest : public qvtest::SmallPrefixTest {
protected:
    void SetUp() override {
        SmallPrefixTest::SetUp();
        previous_ = qv::SetShellOpenHandler([this](const qv::ShellOpenRequest& request) {
            opened_.push_back(request);
            return true;
        });
    }
    void TearDown() override {
        qv::SetShellOpenHandler(previous_);
        SmallPrefixTest::TearDown();
    }
    intptr_t Open(const char* file, const char* verb = "open") {
        return reinterpret_cast<intptr_t>(ShellExecuteA(nullptr, verb, file, nullptr, nullptr, SW_SHOWMAXIMIZED));
    }

    qv::ShellOpenHandler previous_;
    std::vector<qv::ShellOpenRequest> opened_;
};

TEST(WebAddress, OnlyHttpAndHttpsWithAHostAndNoBlanks) {
    for (const char* good : {"http://zembrill.example.com", "HTTPS://zembrill.example.com/a?b=1&c=2#d",
                             "http://127.0.0.1:8080/feed.xml"})
        EXPECT_TRUE(qv::IsWebAddress(good)) << good;
    for (const char* bad : {"", "http://", "https:///etc/passwd", "file:///etc/passwd", "javascript:alert(1)",
                            "ftp://host/x", "C:\\windows\\notepad.exe", "/usr/bin/xterm", "http:host",
                            "https://host/a b", "https://host/\nx", "http://host\\share", " http://host",
                            "--help", "mailto:a@b.c", "data:text/html,x"})
        EXPECT_FALSE(qv::IsWebAddress(bad)) << bad;
}

TEST_F(ShellOpenTest, WebAddressesReachTheOpenerOtherSchemesNever) {
    EXPECT_GT(Open("https://zembrill.example.com/offer"), 32);
    EXPECT_GT(Open("http://zembrill.example.com/", nullptr), 32);
    for (const char* refused : {"file:///etc/passwd", "javascript:alert(1)", "smb://host/share", "steam://run/1",
                                "http://", "https://host/a b"})
        EXPECT_EQ(Open(refused), SE_ERR_NOASSOC) << refused;
    EXPECT_EQ(Open("https://zembrill.example.com/", "runas"), SE_ERR_NOASSOC);
    EXPECT_EQ(Open(""), SE_ERR_FNF);
    EXPECT_EQ(reinterpret_cast<intptr_t>(ShellExecuteA(nullptr, "open", nullptr, nullptr, nullptr, 1)), SE_ERR_FNF);
    ASSERT_EQ(opened_.size(), 2u);
    EXPECT_EQ(opened_[0].kind, qv::ShellOpenRequest::Kind::WebAddress);
    EXPECT_EQ(opened_[0].target, "https://zembrill.example.com/offer");
}

TEST_F(ShellOpenTest, ExistingDocumentsOpenProgramsAndMissingFilesDoNot) {
    std::filesystem::path help = MakeFile("Program Files/Quorvane/Help/Quorvane.chm", "help");
    MakeFile("Program Files/Quorvane/tool.exe", "MZ");
    std::filesystem::path script = MakeFile("Program Files/Quorvane/notes.txt", "#!/bin/sh\n");
    ::chmod(script.c_str(), 0755);
    MakeFolder("Program Files/Quorvane/Folder");

    // Windows paths, matched without regard to case.
    EXPECT_GT(Open("C:\\program files\\quorvane\\HELP\\Quorvane.chm"), 32);
    ASSERT_EQ(opened_.size(), 1u);
    EXPECT_EQ(opened_[0].kind, qv::ShellOpenRequest::Kind::File);
    EXPECT_EQ(std::filesystem::path(opened_[0].target), help);

    EXPECT_EQ(Open("C:\\Program Files\\Quorvane\\tool.exe"), SE_ERR_NOASSOC);
    EXPECT_EQ(Open("C:\\Program Files\\Quorvane\\notes.txt"), SE_ERR_NOASSOC);
    EXPECT_EQ(Open("C:\\Program Files\\Quorvane\\Folder"), SE_ERR_ACCESSDENIED);
    EXPECT_EQ(Open("C:\\Program Files\\Quorvane\\missing.chm"), SE_ERR_FNF);
    EXPECT_EQ(opened_.size(), 1u);

    // Addresses that must be web addresses never open a file, even one that exists.
    EXPECT_FALSE(qv::OpenWebAddress("C:\\program files\\quorvane\\HELP\\Quorvane.chm"));
    EXPECT_TRUE(qv::OpenWebAddress("https://zembrill.example.com/upgrade"));
    ASSERT_EQ(opened_.size(), 2u);
    EXPECT_EQ(opened_[1].target, "https://zembrill.example.com/upgrade");
}

TEST_F(ShellOpenTest, AFailingOpenerIsReportedAsFailure) {
    qv::SetShellOpenHandler([](const qv::ShellOpenRequest&) { return false; });
    EXPECT_LE(Open("https://zembrill.example.com/"), 32);
    EXPECT_FALSE(qv::OpenWebAddress("https://zembrill.example.com/"));
}

}  // namespace
