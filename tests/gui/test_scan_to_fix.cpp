// Scan to Fix through the windows: the scan page runs the real scan on a small prefix and
// hands its rows to the results page, which repairs what is checked.
#include <windows.h>

#include <atomic>
#include <functional>
#include <map>
#include <utility>
#include <string>
#include <vector>

#include "app/prefix_choice.h"
#include "app/program_options.h"
#include "app/string_table.h"
#include "backup/backup_store.h"
#include "gui_test_support.h"
#include "pages/exit_pop_dlg.h"
#include "pages/options_page.h"
#include "platform/registry/registry_batch.h"
#include "platform/win32/message_box.h"
#include "fake_wineboot.h"
#include "menus/menu_clean.h"
#include "menus/menu_home.h"
#include "message_box_recorder.h"
#include "results/scan_result_page.h"
#include "scan/optimize_registry_page.h"
#include "shell/command_ids.h"
#include "shell/quorvane_main_dlg.h"
#include "vendor/core/system32.h"

namespace {

const char kAppPaths[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
const char kSharedDlls[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";

// Answers message boxes by caption and records what was asked.
class Answers {
public:
    explicit Answers(std::map<std::string, int> byCaption) : m_byCaption(std::move(byCaption)) {
        m_previous = qv::SetMessageBoxHandler([this](const std::string&, const std::string& caption, unsigned) {
            m_asked.push_back(caption);
            auto it = m_byCaption.find(caption);
            return it != m_byCaption.end() ? it->second : IDNO;
        });
    }
    ~Answers() { qv::SetMessageBoxHandler(m_previous); }
    const std::vector<std::string>& Asked() const { return m_asked; }

private:
    std::map<std::string, int> m_byCaption;
    std::vector<std::string> m_asked;
    qv::MessageBoxHandler m_previous;
};

// Passes rows on to the results page and runs `first` when the first group arrives (on the
// window's thread, while the worker waits for the group to be taken).
class RowTap : public IFindingSink {
public:
    RowTap(IFindingSink& next, std::function<void()> first) : m_next(next), m_first(std::move(first)) {}
    void AddFinding(const ScanFinding& f) override {
        m_next.AddFinding(f);
        if (m_first) std::exchange(m_first, nullptr)();
    }
    void ClearFindings() override { m_next.ClearFindings(); }

private:
    IFindingSink& m_next;
    std::function<void()> m_first;
};

class ScanToFixTest : public guitest::MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        // The bar's timer ticks every 2 ms and the worker's pauses vanish, so a test runs
        // the whole page in a moment; the order of events is unchanged.
        CTopicDlgOptimizeRegistry::SetTimings(2, 0.0);
        CTopicDlgScanResult::SetFixPause(0);
    }
    void TearDown() override {
        MainWindowTest::TearDown();
        CTopicDlgOptimizeRegistry::SetTimings(200, 1.0);
        CTopicDlgScanResult::SetFixPause(200);
    }

    // `count` stale application paths and shared DLLs (files that do not exist) and one
    // live entry of each.
    void MakeStaleEntries(int appPaths, int sharedDlls) {
        MakeFile("Live/live.exe");
        qv::RegistryBatch batch;
        for (int i = 0; i < appPaths; ++i)
            CSystem32::SetRegistryValue(std::string(kAppPaths) + "\\gone" + std::to_string(i) + ".exe", "",
                                        "C:\\Gone\\gone" + std::to_string(i) + ".exe", HKEY_LOCAL_MACHINE);
        CSystem32::SetRegistryValue(std::string(kAppPaths) + "\\live.exe", "", "C:\\Live\\live.exe",
                                    HKEY_LOCAL_MACHINE);
        for (int i = 0; i < sharedDlls; ++i)
            CSystem32::SetRegistryValue(kSharedDlls, "C:\\Gone\\lib" + std::to_string(i) + ".dll", 1,
                                        HKEY_LOCAL_MACHINE);
        CSystem32::SetRegistryValue(kSharedDlls, "C:\\Live\\live.exe", 1, HKEY_LOCAL_MACHINE);
        ASSERT_EQ(batch.Commit(), ERROR_SUCCESS);
    }

    static bool EntryExists(const ScanFinding& f) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, f.key.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
        bool exists = true;
        if (f.kind == "VAL") {
            DWORD size = 0;
            exists = RegQueryValueExA(key, f.description.c_str(), nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS;
        }
        RegCloseKey(key);
        return exists;
    }

    CTopicDlgOptimizeRegistry& ScanPage() { return *dynamic_cast<CTopicDlgOptimizeRegistry*>(m_dlg->m_pScanPage); }
    CTopicDlgScanResult& ResultPage() { return *dynamic_cast<CTopicDlgScanResult*>(m_dlg->m_pScanResultPage); }

    // Opens the window and scans to the end.
    void ScanToTheEnd() {
        CQuorvaneDlg& dlg = OpenMainWindow();
        dlg.StartScan();
        ASSERT_TRUE(guitest::PumpUntil([&] { return dlg.m_pScanResultPage->IsShown(); }, std::chrono::seconds(20)));
    }

    // Presses Fix and waits until the repair on the page's worker has ended and its messages
    // (answered by the test) have been shown.
    static void FixAndWait(CTopicDlgScanResult& page) {
        page.FixButton().Click();
        ASSERT_TRUE(guitest::PumpUntil([&] { return !page.FixRunning(); }, std::chrono::seconds(20)));
        guitest::Pump();
    }

    static std::vector<ScanFinding> Findings(const std::vector<RepairRow>& rows) {
        std::vector<ScanFinding> out;
        for (const RepairRow& r : rows) out.push_back(r.finding);
        return out;
    }
};

TEST_F(ScanToFixTest, AScanThatRunsToTheEndFillsTheBarAndShowsTheResultsWithTheStaleEntries) {
    MakeStaleEntries(4, 5);
    ScanToTheEnd();
    CTopicDlgOptimizeRegistry& scan = ScanPage();
    EXPECT_FALSE(scan.IsShown());
    EXPECT_EQ(scan.StatusText(), std::string(StringText(127)));
    ASSERT_FALSE(scan.PercentTrail().empty());
    EXPECT_EQ(scan.PercentTrail().back(), 100);
    EXPECT_EQ(scan.BarPosition(), 100);
    EXPECT_FALSE(scan.TimerRunning());

    std::vector<RepairRow> rows = ResultPage().ReadRows();
    int appPaths = 0, sharedDlls = 0;
    for (const RepairRow& r : rows) {
        EXPECT_FALSE(r.checked);
        EXPECT_EQ(r.finding.description.find("live"), std::string::npos) << r.finding.description;
        if (r.finding.problem == StringText(170)) ++appPaths;
        if (r.finding.problem == StringText(131)) ++sharedDlls;
    }
    EXPECT_EQ(appPaths, 4);
    EXPECT_EQ(sharedDlls, 5);
    // The newest row is on top: the shared DLL rows are transferred after the application
    // path scanner has added its own, so they come first.
    ASSERT_GE(rows.size(), 9u);
    EXPECT_EQ(rows[0].finding.problem, StringText(131));
    EXPECT_EQ(rows[0].finding.kind, "VAL");
    EXPECT_EQ(rows.back().finding.problem, StringText(170));
    EXPECT_EQ(rows.back().finding.kind, "KEY");
    EXPECT_EQ(ResultPage().CaptionText(),
              std::string(StringText(202)) + std::to_string(rows.size() + ScanPage().Stores().CachedFileCount()));

    // A second scan starts from an empty list: no row of the first is listed twice.
    m_dlg->StartScan();
    ASSERT_TRUE(guitest::PumpUntil([&] { return !m_dlg->ScanRun().IsRunning() && m_dlg->m_pScanResultPage->IsShown(); },
                                   std::chrono::seconds(20)));
    EXPECT_EQ(ResultPage().ReadRows().size(), rows.size());
}

TEST_F(ScanToFixTest, AStoppedScanRunsTheBarDownToZeroAndReturnsHome) {
    MakeStaleEntries(200, 0);
    CQuorvaneDlg& dlg = OpenMainWindow();
    CTopicDlgOptimizeRegistry& scan = ScanPage();
    int barAtStop = -1;
    // The first rows arrive while the application path scanner runs: the bar stands at 45
    // and the user presses Stop (once the rows are in).
    RowTap tap(ResultPage(), [&] {
        scan.PreviewProgress(45, "");
        wxTheApp->CallAfter([&] {
            barAtStop = scan.BarPosition();
            scan.StopButton().Click();  // returns once the worker has ended
        });
    });
    scan.SetResultSink(&tap);
    dlg.StartScan();
    ASSERT_TRUE(guitest::PumpUntil([&] { return barAtStop >= 0 && !dlg.ScanRun().IsRunning(); }, std::chrono::seconds(20)));
    guitest::Pump();

    // From the stop's percentage down to 0, one at a time, then the abort text.
    const std::vector<int>& trail = scan.PercentTrail();
    ASSERT_GE(barAtStop, 45);
    ASSERT_GE(trail.size(), static_cast<size_t>(barAtStop + 1));
    std::vector<int> runDown(trail.end() - (barAtStop + 1), trail.end());
    std::vector<int> expected;
    for (int n = barAtStop; n >= 0; --n) expected.push_back(n);
    EXPECT_EQ(runDown, expected);
    EXPECT_EQ(scan.BarPosition(), 0);
    EXPECT_EQ(scan.StatusText(), std::string(StringText(128)));
    EXPECT_TRUE(dlg.ScanRun().m_bAborted);
    EXPECT_EQ(scan.Engine().m_bPhase1Done, 0);
    // The scanner stopped at once: not every stale entry was reached.
    EXPECT_LT(ResultPage().List().GetItemCount(), 200);
    EXPECT_TRUE(dlg.m_pHomePage->IsShown());
    EXPECT_FALSE(dlg.m_pScanResultPage->IsShown());
    EXPECT_FALSE(dlg.m_pScanPage->IsShown());
}

TEST_F(ScanToFixTest, FixWithRowsCheckedAtZeroThreeAndSevenDeletesExactlyThoseEntries) {
    MakeStaleEntries(5, 5);
    ScanToTheEnd();
    CTopicDlgScanResult& page = ResultPage();
    std::vector<ScanFinding> before = Findings(page.ReadRows());
    ASSERT_GE(before.size(), 10u);
    for (long row : {0L, 3L, 7L}) page.List().CheckItem(row, true);

    Answers answers({{std::string(StringText(187)), IDYES}, {std::string(StringText(188)), IDNO}});
    FixAndWait(page);

    // The question, the summary, the restart.
    EXPECT_EQ(answers.Asked(), (std::vector<std::string>{std::string(StringText(187)), std::string(StringText(107)),
                                                         std::string(StringText(188))}));
    EXPECT_EQ(page.LastSummary().rfind("Removed 3 entries from the registry.", 0), 0u) << page.LastSummary();
    std::vector<ScanFinding> expected;
    for (size_t i = 0; i < before.size(); ++i) {
        bool fixed = i == 0 || i == 3 || i == 7;
        EXPECT_EQ(EntryExists(before[i]), !fixed) << i << " " << before[i].description;
        if (!fixed) expected.push_back(before[i]);
    }
    EXPECT_EQ(Findings(page.ReadRows()), expected);
    // The partial backup of this minute is on disk; "No" to the restart leads home.
    CBackupStore store;
    EXPECT_FALSE(store.GetFileCreationText(store.MakeBackupFileName("PartialBackup")).empty());
    EXPECT_TRUE(m_dlg->m_pHomePage->IsShown());
}

TEST_F(ScanToFixTest, FixClearsTheCachedFilesTheScanCountedAndNamesTheFoldersLeftAlone) {
    MakeStaleEntries(1, 1);
    const std::string local = "users/tester/AppData/Local/Microsoft/Windows/";
    const auto cookie = MakeFile(local + "INetCookies/tester@site[1].txt");
    const auto cached = MakeFile(local + "INetCache/Content.IE5/AB12/page.htm");
    // The profile's own cookie folder leads to the user's files outside the prefix.
    const auto outside = temp_.path() / "home" / "cookies";
    std::filesystem::create_directories(outside);
    qvtest::WriteFile(outside / "letter.txt", "keep");
    std::filesystem::create_directory_symlink(outside, DriveC() / "users/tester/Cookies");
    ScanToTheEnd();
    EXPECT_EQ(ScanPage().Stores().CachedFileCount(), 2u);
    const auto later = MakeFile(local + "INetCookies/later.txt");  // after the scan: stays

    // Fix waits for a checked row.
    EXPECT_FALSE(ResultPage().FixButton().IsEnabled());
    ResultPage().List().CheckAll();
    EXPECT_TRUE(ResultPage().FixButton().IsEnabled());
    Answers answers({{std::string(StringText(187)), IDYES}, {std::string(StringText(188)), IDNO}});
    FixAndWait(ResultPage());
    // The deleted files are counted no more.
    EXPECT_EQ(ScanPage().Stores().CachedFileCount(), 0u);
    EXPECT_EQ(ResultPage().TotalItemCount(), 0);

    EXPECT_EQ(answers.Asked(), (std::vector<std::string>{std::string(StringText(187)), std::string(StringText(107)),
                                                         std::string(StringText(188))}));
    EXPECT_FALSE(std::filesystem::exists(cookie));
    EXPECT_FALSE(std::filesystem::exists(cached));
    EXPECT_TRUE(std::filesystem::exists(later));
    EXPECT_EQ(qvtest::ReadFile(outside / "letter.txt"), "keep");
}

TEST_F(ScanToFixTest, DecliningTheConfirmationChangesNothingInTheRegistryOrTheList) {
    MakeStaleEntries(3, 3);
    ScanToTheEnd();
    CTopicDlgScanResult& page = ResultPage();
    page.SelectAllBox().SetValue(true);
    wxCommandEvent click(wxEVT_CHECKBOX, page.SelectAllBox().GetId());
    click.SetInt(1);
    click.SetEventObject(&page.SelectAllBox());
    page.SelectAllBox().HandleWindowEvent(click);
    std::vector<RepairRow> before = page.ReadRows();
    ASSERT_GE(before.size(), 6u);
    for (const RepairRow& r : before) ASSERT_TRUE(r.checked);

    Answers answers({{std::string(StringText(187)), IDNO}});
    FixAndWait(page);

    EXPECT_EQ(answers.Asked(), std::vector<std::string>{std::string(StringText(187))});
    for (const RepairRow& r : before) EXPECT_TRUE(EntryExists(r.finding)) << r.finding.description;
    // The results stay on show, rows and checks as they were, for another try.
    EXPECT_EQ(page.ReadRows().size(), before.size());
    for (const RepairRow& r : page.ReadRows()) EXPECT_TRUE(r.checked);
    EXPECT_EQ(Findings(page.ReadRows()), Findings(before));
    EXPECT_TRUE(m_dlg->m_pScanResultPage->IsShown());
    EXPECT_TRUE(page.FixButton().IsEnabled());
}

TEST_F(ScanToFixTest, ClosingDuringAScanWaitsForTheWorkerWithoutMovingTheBarOrTheStatus) {
    MakeStaleEntries(200, 0);
    CQuorvaneDlg& dlg = OpenMainWindow();
    CTopicDlgOptimizeRegistry& scan = ScanPage();
    int barAtClose = -1;
    bool workerEndedBeforePopUp = false;
    int barAtPopUp = -1;
    std::string statusAtPopUp;
    RowTap tap(ResultPage(), [&] {
        scan.PreviewProgress(45, "");
        wxTheApp->CallAfter([&] {
            barAtClose = scan.BarPosition();
            guitest::WhenModal([&](wxDialog* dialog) {
                workerEndedBeforePopUp = !dlg.ScanRun().IsRunning();
                barAtPopUp = scan.BarPosition();
                statusAtPopUp = scan.StatusText();
                dialog->Close();  // the system's close: the program goes on
            });
            dlg.RunCommand(cmd::kClose);
        });
    });
    scan.SetResultSink(&tap);
    dlg.StartScan();
    ASSERT_TRUE(guitest::PumpUntil([&] { return barAtPopUp >= 0; }, std::chrono::seconds(20)));
    EXPECT_TRUE(workerEndedBeforePopUp);
    EXPECT_GE(barAtClose, 45);
    EXPECT_EQ(barAtPopUp, barAtClose);
    EXPECT_NE(statusAtPopUp, std::string(StringText(128)));
    EXPECT_NE(statusAtPopUp, std::string(StringText(127)));
}

// An environment variable set for the test's length.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (m_old) {
            ::setenv(m_name, m_old->c_str(), 1);
        } else {
            ::unsetenv(m_name);
        }
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

TEST_F(ScanToFixTest, SwitchingPrefixStartsAFreshWindowWithThatPrefixsFindingsAndSettings) {
    namespace fs = std::filesystem;
    ScopedEnv state("XDG_STATE_HOME", (temp_.path() / "state").string());
    ScopedEnv wineprefix("WINEPREFIX", root_.string());
    // This prefix: a stale application path, update checks on.
    MakeStaleEntries(1, 0);
    SetSetting("CheckUpdate", 1);
    // The other prefix: its own stale entry, update checks off.
    const fs::path other = temp_.path() / "Other Prefix";
    fs::create_directories(other / "drive_c/windows/system32");
    fs::create_directories(other / "dosdevices");
    fs::create_symlink("../drive_c", other / "dosdevices/c:");
    std::shared_ptr<qv::Prefix> first = qv::ActivePrefix();
    qv::SetActivePrefix(std::make_shared<qv::Prefix>(other));
    {
        qv::RegistryBatch batch;
        CSystem32::SetRegistryValue(std::string(kAppPaths) + "\\elsewhere.exe", "", "C:\\Elsewhere\\elsewhere.exe",
                                    HKEY_LOCAL_MACHINE);
        SetSetting("CheckUpdate", 0);
        ASSERT_EQ(batch.Commit(), ERROR_SUCCESS);
    }
    qv::SetActivePrefix(first);

    CQuorvaneDlg& dlg = OpenMainWindow();
    EXPECT_TRUE(static_cast<CTopicDlgOptions*>(dlg.m_pOptionsPage)->CheckUpdateBox().GetValue());
    ASSERT_TRUE(dlg.SwitchToPrefix(other));
    // The window ends; the choice is remembered and handed to the next start.
    ASSERT_TRUE(guitest::PumpUntil([] { return CQuorvaneDlg::GetMainDlg() == nullptr; }));
    m_dlg = nullptr;
    EXPECT_EQ(RequestedPrefixSwitch(), std::optional<fs::path>(other));
    EXPECT_EQ(RememberedPrefix(), std::optional<fs::path>(fs::canonical(other)));
    RequestPrefixSwitch(std::nullopt);

    // The next start, as the program makes it: --prefix on the chosen folder.
    ChoosePrefixOnCommandLine(other.string());
    ASSERT_EQ(qv::OpenUserPrefix()->Root(), other);
    CQuorvaneDlg& again = OpenMainWindow();
    EXPECT_EQ(again.PrefixLabel().GetText().rfind("Prefix: Other Prefix", 0), 0u) << again.PrefixLabel().GetText();
    EXPECT_FALSE(static_cast<CTopicDlgOptions*>(again.m_pOptionsPage)->CheckUpdateBox().GetValue());
    again.StartScan();
    ASSERT_TRUE(guitest::PumpUntil([&] { return again.m_pScanResultPage->IsShown(); }, std::chrono::seconds(20)));
    std::vector<std::string> descriptions;
    for (const RepairRow& row : ResultPage().ReadRows()) descriptions.push_back(row.finding.description);
    auto holds = [&](const std::string& text) {
        for (const std::string& d : descriptions)
            if (d.find(text) != std::string::npos) return true;
        return false;
    };
    EXPECT_TRUE(holds("elsewhere.exe"));
    EXPECT_FALSE(holds("gone0.exe"));
}

// "Yes" to the restart runs wineboot -r on a worker: the window stays responsive and busy
// (no navigation, no Fix) until it is done, then says how it went and goes home.
TEST_F(ScanToFixTest, TheRestartRunsOnAWorkerAndSaysHowItWent) {
    MakeStaleEntries(2, 0);
    ScanToTheEnd();
    CTopicDlgScanResult& page = ResultPage();
    for (int status : {0, 3}) {
        SCOPED_TRACE(status);
        if (page.List().GetItemCount() == 0) {
            MakeStaleEntries(2, 0);
            m_dlg->ShowPage(0);
            m_dlg->StartScan();
            ASSERT_TRUE(guitest::PumpUntil([&] { return page.IsShown(); }, std::chrono::seconds(20)));
        }
        page.List().CheckItem(0, true);
        qvtest::FakeWineboot wineboot(status, 0.5);
        qvtest::MessageBoxRecorder boxes(IDYES);
        page.FixButton().Click();
        ASSERT_TRUE(guitest::PumpUntil([&] { return page.RestartRunning(); }, std::chrono::seconds(20)));
        // While wineboot runs the window's thread keeps turning, and nothing else may start.
        int turns = 0;
        EXPECT_TRUE(guitest::PumpUntil([&] { return ++turns > 5; }, std::chrono::milliseconds(300)));
        EXPECT_TRUE(page.RestartRunning());
        EXPECT_FALSE(page.FixButton().IsEnabled());
        EXPECT_FALSE(m_dlg->NavigationEnabled());
        ASSERT_TRUE(guitest::PumpUntil([&] { return !page.RestartRunning(); }, std::chrono::seconds(20)));
        guitest::Pump();
        EXPECT_EQ(wineboot.Record(), "-r|" + root_.string());
        ASSERT_FALSE(boxes.shown.empty());
        const std::string& last = boxes.shown.back();
        if (status == 0)
            EXPECT_EQ(last, std::string(StringText(925)));
        else
            EXPECT_EQ(last, std::string(StringText(926)) + "wineboot -r ended with status 3.");
        EXPECT_TRUE(m_dlg->m_pHomePage->IsShown());
        EXPECT_TRUE(m_dlg->NavigationEnabled());
    }
}

// The menu entries Wine left for a deleted prefix are rows of their own category; Fix
// archives and removes the checked one (with its icon), and the summary says how to undo it.
TEST_F(ScanToFixTest, WineMenuEntriesOfADeletedPrefixAreListedAndFixedWithAnArchive) {
    MakeStaleEntries(1, 0);
    const std::filesystem::path home = temp_.path() / "home";
    const std::filesystem::path apps = home / ".local/share/applications";
    const std::string gone = (temp_.path() / "deleted-prefix").string();
    auto entry = [&](const std::string& name) {
        return "[Desktop Entry]\nName=" + name + "\nExec=env WINEPREFIX=\"" + gone + "\" wine-stable C:\\\\\\\\" + name +
               ".exe \nType=Application\nIcon=ABCD_" + name + ".0\n";
    };
    std::filesystem::create_directories(apps / "wine/Programs/Old");
    qvtest::WriteFile(apps / "wine/Programs/Old/Atlas.desktop", entry("Atlas"));
    qvtest::WriteFile(apps / "wine/Programs/Old/Beacon.desktop", entry("Beacon"));
    const std::filesystem::path icon = home / ".local/share/icons/hicolor/32x32/apps/ABCD_Atlas.0.png";
    std::filesystem::create_directories(icon.parent_path());
    qvtest::WriteFile(icon, "png");
    CQuorvaneDlg& dlg = OpenMainWindow();
    const menus::MenuHome menuHome = menus::MenuHome::FromVariables({{"HOME", home.string()}});
    ScanPage().Engine().m_menuHome = menuHome;
    dlg.StartScan();
    ASSERT_TRUE(guitest::PumpUntil([&] { return dlg.m_pScanResultPage->IsShown(); }, std::chrono::seconds(20)));

    CTopicDlgScanResult& page = ResultPage();
    long atlas = -1, menuRows = 0;
    for (long i = 0; i < page.List().GetItemCount(); ++i) {
        if (page.List().CellText(i, 0) != std::string(StringText(139))) continue;
        ++menuRows;
        if (page.List().CellText(i, 1).rfind("Atlas (", 0) == 0) atlas = i;
    }
    EXPECT_EQ(menuRows, 2);
    ASSERT_GE(atlas, 0);
    page.List().CheckItem(atlas, true);
    Answers answers({{std::string(StringText(187)), IDYES}, {std::string(StringText(188)), IDNO}});
    FixAndWait(page);

    EXPECT_FALSE(std::filesystem::exists(apps / "wine/Programs/Old/Atlas.desktop"));
    EXPECT_FALSE(std::filesystem::exists(icon));
    EXPECT_TRUE(std::filesystem::exists(apps / "wine/Programs/Old/Beacon.desktop"));
    EXPECT_NE(page.LastSummary().find("Archived and removed 2 files"), std::string::npos) << page.LastSummary();
    EXPECT_NE(page.LastSummary().find("quorvane-cli menu-entries restore"), std::string::npos);
    // No registry row was checked: no registry backup of nothing.
    EXPECT_EQ(page.LastSummary().find("kept in the backup file"), std::string::npos);
    const std::vector<std::filesystem::path> archives = menus::ListMenuArchives(menuHome);
    ASSERT_EQ(archives.size(), 1u);
    ASSERT_TRUE(menus::RestoreMenuFiles(menuHome, archives[0]).ok);
    EXPECT_EQ(qvtest::ReadFile(apps / "wine/Programs/Old/Atlas.desktop"), entry("Atlas"));
    EXPECT_EQ(qvtest::ReadFile(icon), "png");
}

}  // namespace
