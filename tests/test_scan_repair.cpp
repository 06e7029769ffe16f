// The repair: what is backed up, what is deleted, and when nothing may be deleted.
#include <gtest/gtest.h>

#include <windows.h>

#include "app/derived_paths.h"
#include "cache_scan.h"
#include "message_box_recorder.h"
#include "platform/prefix/drive_map.h"
#include "results/scan_repair.h"
#include "small_prefix.h"
#include "vendor/core/system32.h"

using namespace qvtest;
namespace fs = std::filesystem;

namespace {

const std::string kDlls = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";

class ScanRepairTest : public SmallPrefixTest {
protected:
    void SetUp() override {
        SmallPrefixTest::SetUp();
        RefreshDerivedPaths();
        for (int i = 0; i < 10; ++i) {
            CSystem32::SetRegistryValue(kDlls, "C:\\dll" + std::to_string(i) + ".dll", i, HKEY_LOCAL_MACHINE);
            rows.push_back({{"Shared DLLs", "C:\\dll" + std::to_string(i) + ".dll", kDlls, "HKEY_LOCAL_MACHINE", "VAL"},
                            false});
        }
    }
    void TearDown() override {
        SmallPrefixTest::TearDown();
    }
    bool Has(int i) {
        int v;
        return CSystem32::GetRegistryValue(kDlls, "C:\\dll" + std::to_string(i) + ".dll", v, HKEY_LOCAL_MACHINE);
    }
    fs::path BackupFile(const CScanRepair& r) { return *qv::WindowsToUnixPath(*qv::ActivePrefix(), r.BackupPath()); }

    std::vector<RepairRow> rows;
    CFindingStores stores;  // what a scan of the caches found; nothing unless a test scans
    MessageBoxRecorder boxes{IDYES};
    std::vector<std::string>& shown = boxes.shown;
    int& answer = boxes.answer;
    CBackupStore store;
};

}  // namespace

TEST_F(ScanRepairTest, CheckedRowsAreBackedUpThenDeletedTheOthersStay) {
    for (int i : {0, 3, 7}) rows[i].checked = true;
    CScanRepair repair(store);
    EXPECT_EQ(repair.FixSelected(rows, stores), RepairOutcome::Repaired);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(Has(i), i != 0 && i != 3 && i != 7) << i;
    std::string backup = ReadFile(BackupFile(repair));
    EXPECT_EQ(backup.rfind("Windows Registry Editor Version 5.00\r\n", 0), 0u);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(backup.find("\"C:\\\\dll" + std::to_string(i) + ".dll\"=dword:") != std::string::npos,
                  i == 0 || i == 3 || i == 7)
            << i;
    EXPECT_NE(fs::path(repair.BackupPath()).string().find("PartialBackup["), std::string::npos);
}

TEST_F(ScanRepairTest, DecliningChangesNothingButKeepsTheBackup) {
    rows[2].checked = true;
    answer = IDNO;
    CScanRepair repair(store);
    EXPECT_EQ(repair.FixSelected(rows, stores), RepairOutcome::Declined);
    EXPECT_TRUE(Has(2));
    EXPECT_TRUE(fs::exists(BackupFile(repair)));
}

TEST_F(ScanRepairTest, NothingIsDeletedWithoutACompleteBackup) {
    rows[1].checked = true;
    // The backup folder cannot be made: a file stands where the product folder goes.
    fs::path appData = *qv::WindowsToUnixPath(*qv::ActivePrefix(), GetBackupFolder());
    fs::create_directories(appData.parent_path().parent_path());
    WriteFile(appData.parent_path(), "not a folder");
    CScanRepair repair(store);
    EXPECT_EQ(repair.FixSelected(rows, stores), RepairOutcome::BackupIncomplete);
    EXPECT_TRUE(Has(1));
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back().rfind("The backup of the selected entries could not be completed", 0), 0u);
}

TEST_F(ScanRepairTest, RowsNamingContainersOrRootsAreRefused) {
    const std::vector<ScanFinding> refused = {
        {"x", "", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths", "HKEY_LOCAL_MACHINE", "KEY"},
        {"x", "", "software\\\\microsoft\\windows\\currentversion\\uninstall\\", "HKEY_LOCAL_MACHINE", "KEY"},
        {"x", "", "", "HKEY_CURRENT_USER", "KEY"},
        {"x", "", "Software", "HKEY_CURRENT_USER", "KEY"},
        {"x", "", "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts", "HKEY_CURRENT_USER", "KEY"},
        {"x", "", "", "HKEY_CLASSES_ROOT", "KEY"},
        {"x", "v", "", "HKEY_LOCAL_MACHINE", "VAL"},
        {"x", "", "SOFTWARE\\X", "HKEY_USERS", "KEY"},
    };
    for (const ScanFinding& f : refused) EXPECT_TRUE(CScanRepair::IsProtected(f)) << f.key;
    const std::vector<ScanFinding> allowed = {
        {"x", "", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\gone.exe", "HKEY_LOCAL_MACHINE", "KEY"},
        {"x", "v", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "HKEY_CURRENT_USER", "VAL"},
        {"x", "", ".gone", "HKEY_CLASSES_ROOT", "KEY"},
        {"x", "C:\\file.lnk", "", "NULL", "NULL"},
    };
    for (const ScanFinding& f : allowed) EXPECT_FALSE(CScanRepair::IsProtected(f)) << f.key;

    // A refused row stays in the registry; the others of the same fix go.
    CSystem32::SetRegistryValue("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Keep", "x", 1,
                                HKEY_LOCAL_MACHINE);
    rows[4].checked = true;
    rows.push_back({{"Add or Remove Programs", "", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                     "HKEY_LOCAL_MACHINE", "KEY"},
                    true});
    CScanRepair repair(store);
    EXPECT_EQ(repair.FixSelected(rows, stores), RepairOutcome::Repaired);
    EXPECT_FALSE(Has(4));
    int v = 0;
    EXPECT_TRUE(CSystem32::GetRegistryValue("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Keep", "x", v,
                                            HKEY_LOCAL_MACHINE));
}

TEST_F(ScanRepairTest, GoneEntriesFileRowsAndTheCachesAfterAFix) {
    CSystem32::DeleteRegistryValue(kDlls, "C:\\dll5.dll", HKEY_LOCAL_MACHINE);
    rows[5].checked = true;
    rows.push_back({{"Missing Shortcuts", "C:\\users\\tester\\Desktop\\old.lnk", "", "NULL", "NULL"}, true});
    fs::path shortcut = MakeFile("users/tester/Desktop/old.lnk");
    fs::path cached = MakeFile("users/tester/Local Settings/Temporary Internet Files/Content.IE5/AB12CD34/page.htm");
    fs::path loose = MakeFile("users/tester/Local Settings/Temporary Internet Files/Content.IE5/index.dat");
    fs::path cookie = MakeFile("users/tester/Cookies/tester@example.txt");
    stores = ScanCaches().stores;
    CScanRepair repair(store);
    EXPECT_EQ(repair.FixSelected(rows, stores), RepairOutcome::Repaired);
    EXPECT_TRUE(fs::exists(shortcut));  // a file row only leaves the list
    EXPECT_FALSE(fs::exists(cached.parent_path()));
    EXPECT_TRUE(fs::exists(loose));  // files directly in the cache folder stay
    EXPECT_FALSE(fs::exists(cookie));

    EXPECT_EQ(repair.DeletedTempInternetFiles(), 1u);
    EXPECT_EQ(repair.DeletedCookies(), 1u);
    EXPECT_TRUE(repair.Notes().empty());

    stores = CFindingStores{};
    stores.m_aCookieFiles = {"a", "b"};
    stores.m_aTempInternetFiles = {"c"};
    EXPECT_EQ(TotalItemCount(7, stores), 10);
    EXPECT_EQ(TotalItemCount(0, CFindingStores{}), 0);
}
