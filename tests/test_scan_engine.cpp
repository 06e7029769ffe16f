// The scan driver and its first scanners on a small prefix: which entries become rows, the
// stop flag, and the endings that move the bar.
#include <gtest/gtest.h>

#include <windows.h>

#include "app/derived_paths.h"
#include "scan/scan_engine.h"
#include "recording_sinks.h"
#include "small_prefix.h"
#include "vendor/core/system32.h"

using namespace qvtest;

namespace {

using Rows = qvtest::RecordedRows;
using Statuses = qvtest::RecordedStatuses;

struct FakeBar : IScanProgress {
    int pos = 0;
    std::vector<int> shown;
    bool timerStopped = false;
    int Position() override { return pos; }
    void SetPosition(int p) override { pos = p; }
    void Step() override { pos = std::min(100, pos + 1); }
    void ShowPercent(int p) override { shown.push_back(p); }
    void Reset() override { pos = 0; }
    void StopTimer() override { timerStopped = true; }
    void Sleep(int) override {}
};

const std::string kAppPaths = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
const std::string kSharedDlls = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";

class ScanEngineTest : public SmallPrefixTest {
protected:
    void App(const std::string& name, const std::string& value) {
        ASSERT_TRUE(CSystem32::SetRegistryValue(kAppPaths + name, "", value, HKEY_LOCAL_MACHINE));
    }
    std::vector<std::string> Descriptions(const std::string& problem) {
        std::vector<std::string> out;
        for (const ScanFinding& f : rows.rows)
            if (f.problem == problem) out.push_back(f.description);
        std::sort(out.begin(), out.end());
        return out;
    }
    Rows rows;
    Statuses status;
    FakeBar bar;
};

}  // namespace

TEST_F(ScanEngineTest, ApplicationPathsListOnlyProgramsThatAreGone) {
    MakeFile("App/here.exe");
    MakeFile("App/witharg.exe");
    App("gone.exe", "C:\\App\\gone.exe");
    App("quoted.exe", "\"C:\\App\\quoted.exe\"");
    App("vars.exe", "%ProgramFiles%\\App\\vars.exe");
    App("here.exe", "c:\\app\\HERE.EXE");
    App("witharg.exe", "C:\\App\\witharg.exe /x");        // exists: a working entry stays
    App("gonearg.exe", "C:\\App\\gonearg.exe /x");        // missing with arguments: listed
    CSystem32::SetRegistryValue(kAppPaths + "nodefault.exe", "Path", "C:\\Nowhere", HKEY_LOCAL_MACHINE);
    CSystem32::SetRegistryValue(kAppPaths + "number.exe", "", 5, HKEY_LOCAL_MACHINE);
    CSystem32::SetRegistryValue(kSharedDlls, "C:\\App\\here.exe", 1, HKEY_LOCAL_MACHINE);
    CSystem32::SetRegistryValue(kSharedDlls, "C:\\App\\lost.dll", 2, HKEY_LOCAL_MACHINE);
    CSystem32::SetRegistryValue(kSharedDlls, "", 1, HKEY_LOCAL_MACHINE);

    CScanEngine engine(rows, status, &bar);
    engine.PrepareStart();
    engine.RunScan();
    EXPECT_EQ(Descriptions("Application Path"),
              (std::vector<std::string>{"gone.exeC:\\App\\gone.exe", "gonearg.exeC:\\App\\gonearg.exe /x",
                                        "quoted.exeC:\\App\\quoted.exe"}));
    EXPECT_EQ(Descriptions("Shared DLLs"), (std::vector<std::string>{"C:\\App\\lost.dll"}));
    for (const ScanFinding& f : rows.rows) {
        if (f.problem == "Application Path") {
            EXPECT_EQ(f.key, kAppPaths + f.description.substr(0, f.description.find(".exe") + 4));
            EXPECT_EQ(f.kind, "KEY");
        } else {
            EXPECT_EQ(f.key, kSharedDlls);
            EXPECT_EQ(f.kind, "VAL");
        }
        EXPECT_EQ(f.rootKey, "HKEY_LOCAL_MACHINE");
    }
    // The application path scanner adds its rows while it scans, before the row steps of the
    // stores: the shared DLL rows come later and so stand above them.
    EXPECT_EQ(rows.rows.front().problem, "Shared DLLs");
    EXPECT_EQ(rows.rows.back().problem, "Application Path");
    EXPECT_NE(std::find(status.texts.begin(), status.texts.end(),
                        "Scanning Application Paths:HKLM\\" + kAppPaths + "gone.exe"),
              status.texts.end());
    EXPECT_NE(std::find(status.texts.begin(), status.texts.end(), "Scanning Share Dlls: C:\\App\\lost.dll"),
              status.texts.end());

    // The complete scan fills the bar to 100 and ends with "Scan completed!".
    EXPECT_EQ(bar.shown.back(), 100);
    EXPECT_EQ(bar.pos, 100);
    EXPECT_EQ(status.texts.back(), "Scan completed!");
    EXPECT_TRUE(bar.timerStopped);

    // A second scan starts from empty stores and an empty list.
    engine.RunScan();
    EXPECT_EQ(Descriptions("Application Path").size(), 3u);
    EXPECT_EQ(engine.m_stores.m_aMissingSharedDlls.size(), 1u);
}

TEST_F(ScanEngineTest, StopAndExitEndings) {
    App("gone.exe", "C:\\App\\gone.exe");
    // Stopped before the phases: they are skipped, no rows are made, the bar runs down.
    // RunScan resets the bar first; a stop during the scan finds it where the timer left it.
    struct Stopped : FakeBar {
        void Reset() override {}
    } stoppedBar;
    stoppedBar.pos = 40;
    CScanEngine stopped(rows, status, &stoppedBar);
    stopped.m_bStop = 1;
    stopped.m_bAborted = 1;
    stopped.RunScan();
    EXPECT_TRUE(rows.rows.empty());
    EXPECT_EQ(rows.clears, 0);
    ASSERT_EQ(stoppedBar.shown.size(), 41u);
    EXPECT_EQ(stoppedBar.shown.front(), 40);
    EXPECT_EQ(stoppedBar.shown.back(), 0);
    EXPECT_EQ(std::count(status.texts.begin(), status.texts.end(), "Verifying the Errors..."), 3);
    EXPECT_EQ(status.texts.back(), "Scan Abort by user!");

    // Closing: neither the bar nor the status line moves at the end.
    status.texts.clear();
    Stopped exitBar;
    exitBar.pos = 50;
    CScanEngine closing(rows, status, &exitBar);
    closing.m_bStop = 1;
    closing.m_bExiting = 1;
    closing.RunScan();
    EXPECT_TRUE(exitBar.shown.empty());
    EXPECT_EQ(exitBar.pos, 50);
    EXPECT_EQ(status.texts.back(), "Verifying the Errors...");
}
