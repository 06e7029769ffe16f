// Shortcuts whose paths are not ASCII. The fixtures (tests/fixtures/shortcuts-locale) were
// written by Wine's shell in prefixes under a Japanese and a Russian locale: their link info
// holds only the 8-bit local path, in the prefix's ANSI code page (932, 1251). They must
// resolve to the target's real name, and the scanner must list them only when the target is
// gone, whichever code page the prefix names now.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

#include "app/shell_link_writer.h"
#include "platform/win32/ansi_code_page.h"
#include "scan/scan_engine.h"
#include "recording_sinks.h"
#include "small_prefix.h"
#include "vendor/core/shell_link.h"
#include "vendor/core/system32.h"

using namespace qvtest;
namespace fs = std::filesystem;

namespace {

const char kCodePageKey[] = "System\\CurrentControlSet\\Control\\Nls\\CodePage";
const std::string kDesktop = "C:\\users\\tester\\Desktop\\";
const std::string kPrograms = "C:\\users\\tester\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\";

fs::path FixtureLink(const std::string& name) {
    return fs::path(QV_SOURCE_DIR) / "tests/fixtures/shortcuts-locale" / name;
}

// A Wine-made shortcut, where it goes in the test prefix, and the target it names.
struct LocaleLink {
    std::string fixture;
    std::string link;    // Windows path of the copy
    std::string target;  // Windows path of the target
};

struct Locale {
    std::string name;
    std::string codePage;  // the ACP of the prefix the fixtures were made in
    std::vector<LocaleLink> links;
};

const Locale kJapanese{"Japanese",
                       "932",
                       {{"ja-desktop.lnk", kDesktop + "起動.lnk", "C:\\ゲーム\\起動.exe"},
                        {"ja-startmenu.lnk", kPrograms + "テスト会社\\アプリ.lnk",
                         "C:\\Program Files\\テスト会社\\アプリ.exe"}}};
const Locale kRussian{"Russian",
                      "1251",
                      {{"ru-desktop.lnk", kDesktop + "Запуск.lnk", "C:\\Игры\\Запуск.exe"},
                       {"ru-startmenu.lnk", kPrograms + "Тестовая компания\\Программа.lnk",
                        "C:\\Program Files\\Тестовая компания\\Программа.exe"}}};

void PrintTo(const Locale& locale, std::ostream* out) { *out << locale.name; }

class ShortcutCodePageTest : public SmallPrefixTest {
protected:
    using NoRows = RecordedRows;
    using Quiet = RecordedStatuses;

    void SetUp() override {
        SmallPrefixTest::SetUp();
        fs::create_directories(DriveC() / "users/tester/Desktop");
        fs::create_directories(DriveC() / "users/tester/AppData/Roaming/Microsoft/Windows/Start Menu/Programs");
    }

    // The prefix's ANSI code page; an empty text removes the value.
    void SetCodePage(const std::string& codePage) {
        if (codePage.empty())
            CSystem32::DeleteRegistryValue(kCodePageKey, "ACP", HKEY_LOCAL_MACHINE);
        else
            ASSERT_TRUE(CSystem32::SetRegistryValue(kCodePageKey, "ACP", codePage, HKEY_LOCAL_MACHINE));
    }

    fs::path Unix(const std::string& windows) const {
        std::string relative = windows.substr(3);
        std::replace(relative.begin(), relative.end(), '\\', '/');
        return DriveC() / relative;
    }

    // Copies the fixtures into the prefix and creates their targets.
    void Install(const Locale& locale) {
        for (const LocaleLink& l : locale.links) {
            fs::create_directories(Unix(l.link).parent_path());
            fs::copy_file(FixtureLink(l.fixture), Unix(l.link));
            MakeFile(Unix(l.target).lexically_relative(DriveC()).string());
        }
    }

    // The shortcuts the two shortcut scanners list.
    std::vector<std::string> Listed() {
        NoRows rows;
        Quiet quiet;
        CScanEngine engine(rows, quiet);
        engine.PrepareStart();
        engine.ScanShortcutsFirstGroup();
        engine.ScanShortcutsSecondGroup();
        std::vector<std::string> listed = engine.m_stores.m_aMissingShortcuts;
        listed.insert(listed.end(), engine.m_stores.m_aStartMenuShortcuts.begin(),
                      engine.m_stores.m_aStartMenuShortcuts.end());
        std::sort(listed.begin(), listed.end());
        return listed;
    }

    // Every shortcut resolves to its target while the target is there, and none is listed;
    // with the targets gone, each is listed (and names its target still when the prefix's
    // code page is the one it was written in).
    void ExpectResolvedThenListedWhenGone(const Locale& locale, bool writtenInThisCodePage = true) {
        CShellLink link;
        for (const LocaleLink& l : locale.links) {
            ASSERT_TRUE(link.Load(l.link)) << l.fixture;
            EXPECT_EQ(link.Resolve(nullptr, 2), 1) << l.fixture;
            EXPECT_EQ(link.GetPath(), l.target) << l.fixture;
        }
        EXPECT_EQ(Listed(), std::vector<std::string>{});

        std::vector<std::string> expected;
        for (const LocaleLink& l : locale.links) {
            fs::remove(Unix(l.target));
            ASSERT_TRUE(link.Load(l.link)) << l.fixture;
            EXPECT_EQ(link.Resolve(nullptr, 2), 2) << l.fixture;
            if (writtenInThisCodePage) {
                EXPECT_EQ(link.GetPath(), l.target) << l.fixture;
            }
            expected.push_back(l.link);
        }
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(Listed(), expected);
    }
};

class WineLocaleLinkTest : public ShortcutCodePageTest, public ::testing::WithParamInterface<Locale> {};

}  // namespace

TEST_P(WineLocaleLinkTest, ReadInThePrefixsCodePage) {
    SetCodePage(GetParam().codePage);
    Install(GetParam());
    ExpectResolvedThenListedWhenGone(GetParam());
}

// The registry names the code page of the locale Wine ran in last, or none (a prefix made
// before Wine recorded it): shortcuts written under another locale still find their targets.
TEST_P(WineLocaleLinkTest, ReadWhenThePrefixNamesAnotherCodePageOrNone) {
    for (const char* other : {"1252", ""}) {
        SCOPED_TRACE(std::string("ACP \"") + other + "\"");
        fs::remove_all(DriveC() / "users/tester/Desktop");
        fs::remove_all(DriveC() / "users/tester/AppData");
        fs::create_directories(DriveC() / "users/tester/Desktop");
        SetCodePage(other);
        Install(GetParam());
        ExpectResolvedThenListedWhenGone(GetParam(), false);
    }
}

INSTANTIATE_TEST_SUITE_P(Locales, WineLocaleLinkTest, ::testing::Values(kJapanese, kRussian),
                         [](const auto& info) { return info.param.name; });

// Wine writes '?' for each character the prefix's code page lacks: "C:\??\game.exe" for
// C:\한국\game.exe in a Japanese prefix. The working folder (UTF-16) finds the target; with
// the target gone nothing can say where it was, so the shortcut counts as present.
TEST_F(ShortcutCodePageTest, CharactersTheCodePageLacksAreNeverJudgedMissing) {
    SetCodePage("932");
    const std::string lnk = kDesktop + "game.lnk";
    fs::copy_file(FixtureLink("ja-not-in-code-page.lnk"), Unix(lnk));
    MakeFile("한국/game.exe");
    CShellLink link;
    ASSERT_TRUE(link.Load(lnk));
    EXPECT_EQ(link.Resolve(nullptr, 2), 1);
    EXPECT_EQ(link.GetPath(), "C:\\한국\\game.exe");

    fs::remove(DriveC() / "한국/game.exe");
    ASSERT_TRUE(link.Load(lnk));
    EXPECT_EQ(link.Resolve(nullptr, 2), 1);
    EXPECT_EQ(Listed(), std::vector<std::string>{});
}

// A link info that carries the local path in UTF-16 as well is read from that form,
// whatever the prefix's code page; a relative path (UTF-16 string data) finds a target that
// moved together with its shortcut.
TEST_F(ShortcutCodePageTest, UnicodeFormsWinOverTheCodePage) {
    SetCodePage("1251");
    MakeFile("ゲーム/起動.exe");
    ShellLinkData data;
    data.targetPath = "C:\\ゲーム\\起動.exe";  // the writer adds the UTF-16 form
    ASSERT_TRUE(WriteShellLinkFile(Unix(kDesktop + "unicode.lnk"), data));
    CShellLink link;
    ASSERT_TRUE(link.Load(kDesktop + "unicode.lnk"));
    EXPECT_EQ(link.Resolve(nullptr, 2), 1);
    EXPECT_EQ(link.GetPath(), "C:\\ゲーム\\起動.exe");

    MakeFile("users/tester/Desktop/Игра/запуск.exe");
    data.targetPath = "C:\\Старое место\\запуск.exe";  // gone
    data.relativePath = ".\\Игра\\запуск.exe";
    ASSERT_TRUE(WriteShellLinkFile(Unix(kDesktop + "moved.lnk"), data));
    ASSERT_TRUE(link.Load(kDesktop + "moved.lnk"));
    EXPECT_EQ(link.Resolve(nullptr, 2), 1);
    EXPECT_EQ(link.GetPath(), kDesktop + ".\\Игра\\запуск.exe");
    EXPECT_EQ(Listed(), std::vector<std::string>{});
}

// A code page the link library does not know (UTF-8, which Wine uses for locales without
// an ANSI code page) is decoded here.
TEST_F(ShortcutCodePageTest, ACodePageTheLinkLibraryLacksIsDecodedHere) {
    SetCodePage("65001");
    MakeFile("Игры/a.exe");
    // An 8-bit-only path: an ASCII one of the same length, its bytes then replaced.
    const std::string utf8 = "Игры";
    ShellLinkData data;
    data.targetPath = "C:\\" + std::string(utf8.size(), 'X') + "\\a.exe";
    std::string bytes = BuildShellLink(data);
    size_t at = bytes.find(std::string(utf8.size(), 'X'));
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at, utf8.size(), utf8);
    WriteFile(Unix(kDesktop + "utf8.lnk"), bytes);
    CShellLink link;
    ASSERT_TRUE(link.Load(kDesktop + "utf8.lnk"));
    EXPECT_EQ(link.Resolve(nullptr, 2), 1);
    EXPECT_EQ(link.GetPath(), "C:\\Игры\\a.exe");
}

TEST_F(ShortcutCodePageTest, ThePrefixsCodePage) {
    SetCodePage("932");
    EXPECT_EQ(qv::PrefixAnsiCodePage(), 932u);
    SetCodePage("");
    EXPECT_EQ(qv::PrefixAnsiCodePage(), std::nullopt);
    for (const char* wrong : {"abc", "932x", "0", "-1"}) {
        SetCodePage(wrong);
        EXPECT_EQ(qv::PrefixAnsiCodePage(), std::nullopt) << wrong;
    }
    ASSERT_TRUE(CSystem32::SetRegistryValue(kCodePageKey, "ACP", 932, HKEY_LOCAL_MACHINE));  // not text
    EXPECT_EQ(qv::PrefixAnsiCodePage(), std::nullopt);
}

TEST(CodePageText, DecodesOrRefuses) {
    // 表 is 95 5C in code page 932: its second byte is the backslash's.
    EXPECT_EQ(qv::CodePageToUtf8("C:\\\x95\x5c\\\x83\x51\x81\x5b\x83\x80", 932), "C:\\表\\ゲーム");
    EXPECT_EQ(qv::CodePageToUtf8("\xc8\xe3\xf0\xfb", 1251), "Игры");
    EXPECT_EQ(qv::CodePageToUtf8("\xc8\xe3\xf0\xfb", 1252), "Èãðû");
    EXPECT_EQ(qv::CodePageToUtf8("", 932), "");
    EXPECT_EQ(qv::CodePageToUtf8("\x83", 932), std::nullopt);      // a lead byte cut off
    EXPECT_EQ(qv::CodePageToUtf8("a\x98", 1251), std::nullopt);    // no character in 1251
    EXPECT_EQ(qv::CodePageToUtf8("\xff\xfe", 65001), std::nullopt);  // not UTF-8
    EXPECT_EQ(qv::CodePageToUtf8("abc", 12345), std::nullopt);       // not a code page
}
