// What a repair tells the user afterwards (what it really removed, what it did not and why,
// how to undo it), and the details of a row before it: where the entry is and why it is
// listed.
#include <gtest/gtest.h>

#include <windows.h>

#include "app/derived_paths.h"
#include "message_box_recorder.h"
#include "platform/prefix/drive_map.h"
#include "platform/text/shell_word.h"
#include "results/finding_details.h"
#include "results/repair_summary.h"
#include "results/scan_repair.h"
#include "small_prefix.h"
#include "vendor/core/system32.h"

using namespace qvtest;
namespace fs = std::filesystem;

namespace {

const std::string kAppPaths = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
const std::string kDlls = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";
const std::string kFileExts = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts";

class RepairAccountTest : public SmallPrefixTest {
protected:
    void SetUp() override {
        SmallPrefixTest::SetUp();
        RefreshDerivedPaths();
    }
};

TEST_F(RepairAccountTest, TheSummaryCountsOnlyWhatWasRemovedAndNamesTheRestWithTheUndoCommand) {
    MakeFile("Live/live.dll");
    CSystem32::SetRegistryValue(kDlls, "C:\\Gone\\a.dll", 1, HKEY_LOCAL_MACHINE);
    CSystem32::SetRegistryValue(kDlls, "C:\\Gone\\b.dll", 1, HKEY_LOCAL_MACHINE);
    CSystem32::SetRegistryValue(kDlls, "C:\\Live\\live.dll", 1, HKEY_LOCAL_MACHINE);
    std::vector<RepairRow> rows = {
        {{"Shared DLLs", "C:\\Gone\\a.dll", kDlls, "HKEY_LOCAL_MACHINE", "VAL"}, true},
        {{"Shared DLLs", "C:\\Gone\\b.dll", kDlls, "HKEY_LOCAL_MACHINE", "VAL"}, true},
        {{"Shared DLLs", "C:\\Live\\live.dll", kDlls, "HKEY_LOCAL_MACHINE", "VAL"}, false},
        // A row whose "key" is an extension and its program: there is no such key.
        {{"File Extensions", ".sblog    \"C:\\Gone\\blog.exe\"", kFileExts + "\\.sblog    \"C:\\Gone\\blog.exe\"",
          "HKEY_CURRENT_USER", "KEY"},
         true},
        {{"Missing Shortcuts", "C:\\users\\tester\\Desktop\\old.lnk", "", "NULL", "NULL"}, true},
        // The whole App Paths key: protected, left alone.
        {{"Application Path", "x", kAppPaths, "HKEY_LOCAL_MACHINE", "KEY"}, true},
    };
    CSystem32::SetRegistryValue(kAppPaths + "\\x.exe", "", "C:\\x.exe", HKEY_LOCAL_MACHINE);
    MessageBoxRecorder boxes{IDYES};
    CBackupStore store;
    CScanRepair repair(store);
    RepairProgress progress;
    repair.SetProgress(&progress);
    ASSERT_EQ(repair.FixSelected(rows, CFindingStores{}), RepairOutcome::Repaired);
    EXPECT_EQ(progress.phase.load(), RepairProgress::kDone);
    using R = RepairRowResult;
    EXPECT_EQ(repair.RowResults(), (std::vector<R>{R::Removed, R::Removed, R::Unchecked, R::NotInRegistry,
                                                   R::NothingToRemove, R::LeftAlone}));
    EXPECT_EQ(repair.RemovedCount(), 2u);

    const std::string text = RepairSummaryText(repair, rows, root_);
    EXPECT_EQ(text.rfind("Removed 2 entries from the registry.", 0), 0u) << text;
    EXPECT_NE(text.find("Nothing was removed for 2 rows:"), std::string::npos) << text;
    EXPECT_NE(text.find("File Extensions: .sblog"), std::string::npos) << text;
    EXPECT_NE(text.find("old.lnk (a shortcut row deletes no file)"), std::string::npos) << text;
    EXPECT_NE(text.find("1 row was left alone"), std::string::npos) << text;
    // The backup named by its real path, not through the drive's link.
    const fs::path backup = fs::canonical(*qv::WindowsToUnixPath(*qv::ActivePrefix(), repair.BackupPath()));
    EXPECT_EQ(text.find("dosdevices"), std::string::npos) << text;
    EXPECT_NE(text.find("quorvane-regedit --prefix " + qv::ShellWord(root_.string()) + " /s " +
                        qv::ShellWord(backup.string())),
              std::string::npos)
        << text;
}

TEST_F(RepairAccountTest, ADeclinedRepairReportsNothingRemovedAndAsksThroughItsMessenger) {
    CSystem32::SetRegistryValue(kDlls, "C:\\Gone\\a.dll", 1, HKEY_LOCAL_MACHINE);
    std::vector<RepairRow> rows = {{{"Shared DLLs", "C:\\Gone\\a.dll", kDlls, "HKEY_LOCAL_MACHINE", "VAL"}, true}};
    MessageBoxRecorder boxes{IDYES};  // must not be asked: the messenger answers
    CBackupStore store;
    CScanRepair repair(store);
    std::vector<std::string> asked;
    repair.SetMessenger([&](const std::string&, const std::string& caption, unsigned) {
        asked.push_back(caption);
        return IDNO;
    });
    EXPECT_EQ(repair.FixSelected(rows, CFindingStores{}), RepairOutcome::Declined);
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(repair.RemovedCount(), 0u);
    int v = 0;
    EXPECT_TRUE(CSystem32::GetRegistryValue(kDlls, "C:\\Gone\\a.dll", v, HKEY_LOCAL_MACHINE));
}

TEST_F(RepairAccountTest, DetailsSayWhereTheEntryIsWhatItHoldsAndWhatIsMissing) {
    MakeFile("Live/live.exe");
    MakeFile("windows/help/live.hlp");
    CSystem32::SetRegistryValue(kAppPaths + "\\gone.exe", "", "C:\\Gone\\gone.exe", HKEY_LOCAL_MACHINE);
    CSystem32::SetRegistryValue(kAppPaths + "\\gone.exe", "Path", "C:\\Gone", HKEY_LOCAL_MACHINE);
    CSystem32::SetRegistryValue(kAppPaths + "\\live.exe", "", "C:\\Live\\live.exe", HKEY_LOCAL_MACHINE);
    CSystem32::SetRegistryValue("SOFTWARE\\Microsoft\\Windows\\Help", "gone.hlp", "C:\\windows\\help",
                                HKEY_LOCAL_MACHINE);

    FindingDetails app = ExplainFinding({"Application Path", "gone.exe", kAppPaths + "\\gone.exe", "HKEY_LOCAL_MACHINE", "KEY"});
    EXPECT_EQ(app.location, "HKEY_LOCAL_MACHINE\\" + kAppPaths + "\\gone.exe");
    EXPECT_EQ(app.entry, "Key with 2 values; (Default) = C:\\Gone\\gone.exe");
    EXPECT_EQ(app.reason, "C:\\Gone\\gone.exe does not exist");

    FindingDetails help = ExplainFinding(
        {"System Help Files", "gone.hlp", "SOFTWARE\\Microsoft\\Windows\\Help", "HKEY_LOCAL_MACHINE", "VAL"});
    EXPECT_EQ(help.entry, "Value \"gone.hlp\" = C:\\windows\\help");
    EXPECT_EQ(help.reason, "C:\\windows\\help\\gone.hlp does not exist");

    // Put right since the scan: said so, not claimed missing.
    FindingDetails live = ExplainFinding({"Application Path", "live.exe", kAppPaths + "\\live.exe", "HKEY_LOCAL_MACHINE", "KEY"});
    EXPECT_EQ(live.reason.find("does not exist"), std::string::npos) << live.reason;

    FindingDetails ext = ExplainFinding({"File Extensions", ".sblog  \"C:\\Gone\\blog.exe\" %1",
                                         kFileExts + "\\.sblog  \"C:\\Gone\\blog.exe\" %1", "HKEY_CURRENT_USER", "KEY"});
    EXPECT_EQ(ext.entry, "The key is not in the registry.");
    EXPECT_NE(ext.reason.find("C:\\Gone\\blog.exe"), std::string::npos) << ext.reason;

    FindingDetails lnk = ExplainFinding({"Missing Shortcuts", "C:\\users\\tester\\Desktop\\none.lnk", "", "NULL", "NULL"});
    EXPECT_EQ(lnk.location, "C:\\users\\tester\\Desktop\\none.lnk");
    EXPECT_EQ(lnk.entry, "The shortcut file cannot be read.");
}

}  // namespace
