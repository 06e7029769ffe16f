// The category scanners of phase 3 on a small prefix: fonts, help files, startup programs,
// file extensions, uninstall entries, shortcuts, cached internet files and cookies.
#include <gtest/gtest.h>

#include <windows.h>

#include <random>

#include "app/shell_link_writer.h"
#include "scan/scan_engine.h"
#include "scan/startup_item_readers.h"
#include "recording_sinks.h"
#include "small_prefix.h"
#include "vendor/core/shell_link.h"
#include "vendor/core/system32.h"

using namespace qvtest;
namespace fs = std::filesystem;

namespace {

const std::string kCV = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
const HKEY LM = HKEY_LOCAL_MACHINE, CU = HKEY_CURRENT_USER;

ShellLinkData Link(const std::string& target) {
    ShellLinkData link;
    link.targetPath = target;
    return link;
}

class CategoryScannerTest : public SmallPrefixTest {
protected:
    void SetUp() override {
        SmallPrefixTest::SetUp();
        engine.PrepareStart();
    }
    void Set(HKEY root, const std::string& key, const std::string& name, const std::string& value) {
        ASSERT_TRUE(CSystem32::SetRegistryValue(key, name, value, root)) << key << " " << name;
    }
    std::vector<std::string> Rows(const std::string& problem) {
        std::vector<std::string> out;
        for (const ScanFinding& f : rows.rows)
            if (f.problem == problem) out.push_back(f.description);
        std::sort(out.begin(), out.end());
        return out;
    }
    void Scan() {
        engine.RunScan();
    }
    RecordedRows rows;
    RecordedStatuses quiet;
    CScanEngine engine{rows, quiet};
};

}  // namespace

TEST_F(CategoryScannerTest, FontsAndHelpFiles) {
    const std::string fonts = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
    MakeFile("windows/Fonts/here.ttf");
    MakeFile("Fonts/full.ttf");
    Set(LM, fonts, "Here", "here.ttf");                 // bare name in the Windows fonts folder
    Set(LM, fonts, "Gone", "gone.ttf");
    Set(LM, fonts, "Full", "C:\\Fonts\\full.ttf");      // full path, tested unchanged
    Set(LM, fonts, "FullGone", "C:\\Fonts\\x.ttf");
    Set(LM, fonts, "", "C:\\Fonts\\nameless.ttf");      // empty name, full path: never recorded
    const std::string help = "SOFTWARE\\Microsoft\\Windows\\Help";
    MakeFile("windows/help/here.hlp");
    Set(LM, help, "here.hlp", "C:\\windows\\help");
    Set(LM, help, "slash.hlp", "C:\\windows\\help\\");
    Set(LM, help, "gone.hlp", "C:\\Games\\Old\\");
    Set(LM, help, "old\\Here.hlp", "C:\\nowhere\\");  // its row would name the working here.hlp
    Scan();
    EXPECT_EQ(Rows("Missing Fonts"), (std::vector<std::string>{"FullGone", "Gone"}));
    EXPECT_EQ(Rows("System Help Files"), (std::vector<std::string>{"gone.hlp", "slash.hlp"}));
    EXPECT_EQ(engine.m_stores.m_aMissingHelpFiles.size(), 2u);
    EXPECT_NE(std::find(engine.m_stores.m_aMissingHelpFiles.begin(), engine.m_stores.m_aMissingHelpFiles.end(),
                        "C:\\windows\\help\\slash.hlp"),
              engine.m_stores.m_aMissingHelpFiles.end());  // no doubled backslash

    // A bare font name with an empty value name is recorded (and its row has no description).
    CSystem32::SetRegistryValue(fonts, "", "nameless.ttf", LM);
    Scan();
    EXPECT_EQ(Rows("Missing Fonts"), (std::vector<std::string>{"", "FullGone", "Gone"}));
}

TEST_F(CategoryScannerTest, WinesOwnFontsAreNotMissingWhereverWineKeepsThem) {
    // The values Wine writes in a fresh prefix, whose files are in the data folder of the
    // Wine that runs it, not in the prefix.
    const std::string fonts = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
    Set(LM, fonts, "Courier", "coure.fon");
    Set(LM, fonts, "MS Sans Serif", "sserife.fon");
    Set(LM, fonts, "Small Fonts", "SMALLE.FON");
    Set(LM, fonts, "Tahoma (TrueType)", "C:\\windows\\Fonts\\tahoma.ttf");
    Set(LM, fonts, "MS Serif", "serife.fon");  // named by Wine, shipped by none
    Set(LM, fonts, "Old Courier", "C:\\Games\\Old\\coure.fon");
    Scan();
    EXPECT_EQ(Rows("Missing Fonts"), (std::vector<std::string>{"MS Serif", "Old Courier"}));
}

TEST_F(CategoryScannerTest, StartupProgramsAndTheQuickBootReaders) {
    MakeFile("Tools/tool.exe");
    Set(CU, kCV + "Run", "Tool", "\"C:\\Tools\\tool.exe\" --tray");
    Set(CU, kCV + "Run", "Deleted", "\"C:\\Tools\\deleted.exe\" --tray");
    Set(CU, kCV + "Run", "", "C:\\Tools\\nameless.exe");  // the unnamed value is never a finding
    Set(LM, kCV + "RunServicesOnce", "Service", "C:\\Tools\\service.exe");
    Scan();
    std::vector<ScanFinding> startup;
    for (const ScanFinding& f : rows.rows)
        if (f.problem == "Startup Programs") startup.push_back(f);
    ASSERT_EQ(startup.size(), 2u);
    EXPECT_EQ(startup[1], (ScanFinding{"Startup Programs", "Deleted", kCV + "Run", "HKEY_CURRENT_USER", "VAL"}));
    EXPECT_EQ(startup[0],
              (ScanFinding{"Startup Programs", "Service", kCV + "RunServicesOnce", "HKEY_LOCAL_MACHINE", "VAL"}));

    struct Sink : IStartupRowSink {
        std::vector<std::vector<std::string>> rows;
        void AddStartupRow(const std::string& a, const std::string& b, const std::string& c, const std::string& d,
                           const std::string& e) override {
            rows.push_back({a, b, c, d, e});
        }
    } sink;
    Set(LM, kCV + "Run", "Machine", "C:\\m.exe");
    EXPECT_EQ(ReadEnabledStartupItems(sink), 1);
    EXPECT_EQ(sink.rows.size(), 4u);
    EXPECT_EQ(sink.rows.back(), (std::vector<std::string>{"Machine", "C:\\m.exe", "HKLM", kCV + "Run", ""}));
    sink.rows.clear();
    EXPECT_EQ(ReadDisabledStartupItems(sink), 0);  // no store yet
    const std::string store = "SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg\\Old";
    Set(LM, store, "item", "Old");
    Set(LM, store, "command", "C:\\old.exe");
    Set(LM, store, "hkey", "HKCU");  // no "key" value: the row still comes, with it empty
    EXPECT_EQ(ReadDisabledStartupItems(sink), 1);
    EXPECT_EQ(sink.rows, (std::vector<std::vector<std::string>>{{"Old", "C:\\old.exe", "HKCU", "", ""}}));
}

TEST_F(CategoryScannerTest, FileExtensionsAndUninstallEntries) {
    const std::string exts = kCV + "Explorer\\FileExts\\";
    MakeFile("Good/good.exe");
    CSystem32::CreateRegistryKey(exts + ".abc", CU);  // no OpenWithProgids
    Set(CU, exts + ".ok\\OpenWithProgids", "Ok.File", "");
    Set(LM, "SOFTWARE\\Classes\\Ok.File\\shell\\open\\command", "", "\"C:\\Good\\good.exe\" \"%1\"");
    Set(CU, exts + ".exe1\\OpenWithProgids", "Gone.Exe", "");
    Set(LM, "SOFTWARE\\Classes\\Gone.Exe\\shell\\open\\command", "", "C:\\Gone\\gone.exe \"%1\"");
    Set(CU, exts + ".two\\OpenWithProgids", "A.File", "");
    Set(CU, exts + ".two\\OpenWithProgids", "B.File", "");
    Set(LM, "SOFTWARE\\Classes\\A.File\\shell\\open\\command", "", "C:\\Gone\\a.bat");
    Set(LM, "SOFTWARE\\Classes\\B.File\\shell\\open\\command", "", "C:\\Gone\\b.cmd");

    const std::string un = kCV + "Uninstall\\";
    Set(LM, un + "OnlyName", "DisplayName", "Only a name");
    Set(LM, un + "Real", "UninstallString", "C:\\real\\uninst.exe");
    CSystem32::SetRegistryValue(un + "System", "SystemComponent", 1, LM);
    Set(LM, un + "EmptyMarker", "DisplayName", "x");
    HKEY k;
    RegOpenKeyExA(LM, (un + "EmptyMarker").c_str(), 0, KEY_ALL_ACCESS, &k);
    RegSetValueExA(k, "NoModify", 0, REG_BINARY, nullptr, 0);
    RegCloseKey(k);
    Scan();
    EXPECT_EQ(Rows("File Extensions"),
              (std::vector<std::string>{".abc", ".two\tC:\\Gone\\a.bat", ".two\tC:\\Gone\\a.bat\tC:\\Gone\\b.cmd"}));
    for (const ScanFinding& f : rows.rows)
        if (f.problem == "File Extensions") {
            EXPECT_EQ(f.key, exts + f.description);
            EXPECT_EQ(f.rootKey, "HKEY_CURRENT_USER");
            EXPECT_EQ(f.kind, "KEY");
        }
    EXPECT_EQ(Rows("Add or Remove Programs"), (std::vector<std::string>{"EmptyMarker", "OnlyName"}));
}

TEST_F(CategoryScannerTest, ShortcutsUrlsCachesAndCookies) {
    const fs::path profile = DriveC() / "users/tester";
    const fs::path desktop = profile / "Desktop";
    const fs::path menu = profile / "AppData/Roaming/Microsoft/Windows/Start Menu";
    fs::create_directories(desktop);
    fs::create_directories(menu / "Programs/Games");
    MakeFile("Apps/present.exe");
    MakeFolder("Apps/Folder");
    ASSERT_TRUE(WriteShellLinkFile(desktop / "present.lnk", Link("C:\\Apps\\present.exe")));
    ASSERT_TRUE(WriteShellLinkFile(desktop / "gone.lnk", Link("C:\\Apps\\gone.exe")));
    ShellLinkData folder = Link("C:\\Apps\\Folder");
    folder.targetIsFolder = true;
    ASSERT_TRUE(WriteShellLinkFile(desktop / "folder.lnk", folder));
    ASSERT_TRUE(WriteShellLinkFile(desktop / "UPPER.LNK", Link("C:\\Apps\\gone.exe")));  // not examined
    WriteFile(desktop / "web.url", "[InternetShortcut]\r\nURL=https://zembrill.example.com/\r\n");
    WriteFile(desktop / "file.url", "[InternetShortcut]\r\nURL=file:///C:/Apps/gone.txt\r\n");
    WriteFile(desktop / "empty.url", "not an internet shortcut");
    WriteFile(desktop / "truncated.lnk", std::string("\x4c\0\0\0\x01\x14\x02", 7));
    ASSERT_TRUE(WriteShellLinkFile(menu / "Programs/Games/old game.lnk", Link("C:\\Games\\old.exe")));
    // A link loop: the desktop holds a link to itself and to the profile.
    fs::create_directory_symlink(desktop, desktop / "Loop");
    fs::create_directory_symlink(profile, desktop / "Profile");

    const fs::path cache = profile / "Local Settings/Temporary Internet Files/Content.IE5";
    for (auto [name, count] : {std::pair{"A1", 10}, {"B2", 0}, {"C3", 5}}) {
        fs::create_directories(cache / name);
        for (int i = 0; i < count; ++i) WriteFile(cache / name / ("f" + std::to_string(i)), "x");
    }
    WriteFile(cache / "index.dat", "x");
    fs::create_directories(profile / "Cookies");
    for (const char* f : {"a.txt", "b.txt", "index.dat"}) WriteFile(profile / "Cookies" / f, "x");

    Scan();
    const std::string d = "C:\\users\\tester\\Desktop\\";
    std::vector<std::string> desktopRows = Rows("Missing Shortcuts");
    // The link to the profile leads into the Start Menu once; the links back to the desktop
    // are not entered again.
    EXPECT_EQ(desktopRows,
              (std::vector<std::string>{
                  d + "Profile\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Games\\old game.lnk",
                  d + "empty.url", d + "file.url", d + "gone.lnk", d + "truncated.lnk"}));
    EXPECT_EQ(Rows("Start Menu Programs"),
              (std::vector<std::string>{"C:\\users\\tester\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\"
                                        "Games\\old game.lnk"}));
    EXPECT_EQ(engine.m_stores.m_aTempInternetFiles.size(), 15u);
    EXPECT_EQ(engine.m_stores.m_aCookieFiles.size(), 2u);

    // The link classes on their own.
    CShellLink link;
    ASSERT_TRUE(link.Load(d + "present.lnk"));
    EXPECT_EQ(link.Resolve(nullptr, 2), 1);
    EXPECT_EQ(link.GetPath(), "C:\\Apps\\present.exe");
    ASSERT_TRUE(link.Load(d + "gone.lnk"));
    EXPECT_EQ(link.Resolve(nullptr, 2), 2);
    EXPECT_FALSE(link.Load(d + "truncated.lnk"));
    EXPECT_EQ(link.Resolve(nullptr, 2), 0);
    EXPECT_EQ(CUrlShellLink::UrlOfText("[Other]\nURL=x\n[InternetShortcut]\n url = https://a.example/ \n"),
              "https://a.example/ ");
    EXPECT_EQ(CUrlShellLink::PathOfFileUrl("file:///C:/a%20b/c.txt"), "C:\\a b\\c.txt");
}

TEST(ShellLinkFiles, DamagedLinkAndUrlFilesNeverCrash) {
    // Mutations of a valid shortcut and of a .url file: every one loads or is refused, and
    // resolving never crashes.
    TempDir tmp;
    ShellLinkData data = Link("C:\\Program Files\\App\\app.exe");
    data.workingDir = "C:\\Program Files\\App";
    data.arguments = "--flag";
    const std::string good = BuildShellLink(data);
    const std::string url = "[InternetShortcut]\r\nURL=file:///C:/x%41.txt\r\nIconIndex=0\r\n";
    std::mt19937 rng(99);
    CShellLink link;
    CUrlShellLink web;
    for (int i = 0; i < 600; ++i) {
        std::string bytes = (i % 2 ? good : url);
        int edits = 1 + static_cast<int>(rng() % 8);
        for (int e = 0; e < edits; ++e) {
            switch (rng() % 3) {
                case 0: bytes[rng() % bytes.size()] = static_cast<char>(rng()); break;
                case 1: bytes.resize(rng() % bytes.size() + 1); break;
                default: bytes.insert(rng() % bytes.size(), std::string(1 + rng() % 300, static_cast<char>(rng())));
            }
        }
        fs::path file = tmp / (i % 2 ? "x.lnk" : "x.url");
        WriteFile(file, bytes);
        if (i % 2) {
            link.Load(file.string());
            (void)link.Resolve(nullptr, 2);
        } else {
            web.Load(file.string());
            (void)web.Resolve(nullptr, 2);
        }
    }
}

TEST(ShellLinkFiles, PartsLargerThanTheFileAreRefusedBeforeLiblnkAllocatesThem) {
    TempDir tmp;
    ShellLinkData data = Link("C:\\Program Files\\App\\app.exe");
    data.description = "App";
    data.workingDir = "C:\\Program Files\\App";
    data.arguments = "--flag";
    data.iconLocation = "C:\\Program Files\\App\\app.ico";
    const std::string good = BuildShellLink(data);
    CShellLink link;
    WriteFile(tmp / "good.lnk", good);
    ASSERT_TRUE(link.Load((tmp / "good.lnk").string()));
    EXPECT_EQ(link.GetPath(), "C:\\Program Files\\App\\app.exe");

    // The location block claims nearly 4 GiB; then a string, then an extra-data block, that
    // run past the end of the file.
    std::string huge = good;
    huge.replace(0x4C, 4, std::string("\x00\xf7\xff\xff", 4));
    WriteFile(tmp / "huge.lnk", huge);
    EXPECT_FALSE(link.Load((tmp / "huge.lnk").string()));
    EXPECT_EQ(link.Resolve(nullptr, 2), 0);
    std::string longString = good.substr(0, good.size() - 8);
    WriteFile(tmp / "short.lnk", longString);
    EXPECT_FALSE(link.Load((tmp / "short.lnk").string()));
    WriteFile(tmp / "block.lnk", good.substr(0, good.size() - 4) +
                                     std::string("\x00\x01\x00\x00\x02\x00\x00\xa0", 8) + std::string(4, '\0'));
    EXPECT_FALSE(link.Load((tmp / "block.lnk").string()));

    // The hand-made and Wine-made shortcuts among the fuzz seeds all load.
    for (const auto& entry : fs::directory_iterator(fs::path(QV_SOURCE_DIR) / "fuzz/corpus/shell_link")) {
        if (entry.path().extension() != ".lnk") continue;
        EXPECT_TRUE(link.Load(entry.path().string())) << entry.path();
    }
}

TEST(ShellLinkFiles, LinksWrittenByWinesShellLoadAndResolve) {
    TempDir tmp;
    fs::path prefix = UnpackFreshPrefix(tmp.path());
    ASSERT_FALSE(prefix.empty());
    qv::SetActivePrefix(std::make_shared<qv::Prefix>(prefix));
    const fs::path dir = fs::path(QV_SOURCE_DIR) / "tests/fixtures/wine-lnk";
    CShellLink link;
    ASSERT_TRUE(link.Load((dir / "made_by_wine.lnk").string()));
    EXPECT_EQ(link.Resolve(nullptr, 2), 1);
    EXPECT_EQ(link.GetPath(), "C:\\windows\\notepad.exe");
    ASSERT_TRUE(link.Load((dir / "made_by_wine_gone.lnk").string()));
    EXPECT_EQ(link.Resolve(nullptr, 2), 2);
    EXPECT_EQ(link.GetPath(), "C:\\Program Files\\Gone\\gone.exe");
    qv::SetActivePrefix(nullptr);
}
