// Full and system backups, restore, restore points and rollback.
#include <gtest/gtest.h>

#include <windows.h>

#include "app/derived_paths.h"
#include "app/settings.h"
#include "backup/backup_store.h"
#include "backup/regedit_export.h"
#include "message_box_recorder.h"
#include "platform/prefix/drive_map.h"
#include "platform/prefix/prefix.h"
#include "platform/prefix/restore_points.h"
#include "platform/registry/reg_text.h"
#include "platform/registry/registry_store.h"
#include "temp_dir.h"
#include "vendor/core/system32.h"

using namespace qvtest;
namespace fs = std::filesystem;

namespace {

class BackupRestoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = UnpackFreshPrefix(tmp.path());
        ASSERT_FALSE(root.empty());
        Open();
    }
    void TearDown() override {
        qv::SetActivePrefix(nullptr);
    }
    void Open() {
        prefix = std::make_shared<qv::Prefix>(root);
        qv::SetActivePrefix(prefix);
        RefreshDerivedPaths();
    }
    std::string Export(const std::string& key) {
        std::u16string text;
        std::string error;
        if (!qv::RegeditExportText(prefix->Registry(), key, text, error)) return "missing";
        return qv::reg::ToUtf8(text);
    }
    TempDir tmp;
    fs::path root;
    std::shared_ptr<qv::Prefix> prefix;
    MessageBoxRecorder boxes{IDYES};
    std::vector<std::string>& shown = boxes.shown;
    CBackupStore store;
};

const char kMouse[] = "HKEY_CURRENT_USER\\Control Panel\\Mouse";

}  // namespace

TEST_F(BackupRestoreTest, AFullBackupBringsRemovedKeysBack) {
    const std::string mouse = Export(kMouse);
    std::string error;
    std::string path = store.MakeRegistryBackup("FullBackup", nullptr, error);
    ASSERT_FALSE(path.empty()) << error;
    EXPECT_NE(path.find("\\Quorvane\\Backup\\FullBackup["), std::string::npos);
    std::string last;
    ASSERT_TRUE(CSystem32::GetRegistryValue(settings::kOptionsKey, settings::kLastBackup, last, HKEY_LOCAL_MACHINE));
    EXPECT_EQ(store.ListBackups(), std::vector<std::string>{last});
    // The same minute gives a second file; the first is never overwritten.
    std::string again = store.MakeRegistryBackup("FullBackup", nullptr, error);
    EXPECT_NE(again, path);
    EXPECT_EQ(store.ListBackups().size(), 2u);

    ASSERT_TRUE(CSystem32::DeleteRegistryKey("Control Panel\\Mouse", HKEY_CURRENT_USER));
    ASSERT_TRUE(CSystem32::SetRegistryValue("Software\\Added Later", "x", 1, HKEY_CURRENT_USER));
    EXPECT_TRUE(store.RestoreBackupFile(path));
    EXPECT_EQ(Export(kMouse), mouse);
}

TEST_F(BackupRestoreTest, ARollbackGivesTheFilesBackExactly) {
    const std::string before = ReadFile(root / "user.reg"), system = ReadFile(root / "system.reg");
    qv::RestorePoint point;
    std::string error;
    ASSERT_TRUE(qv::CreatePrefixRestorePoint(root, "before", point, error)) << error;
    CSystem32::DeleteRegistryKey("Control Panel\\Mouse", HKEY_CURRENT_USER);
    CSystem32::SetRegistryValue("Software\\Added Later", "x", 1, HKEY_CURRENT_USER);
    CSystem32::SetRegistryValue("Software\\Added Later", "y", 2, HKEY_LOCAL_MACHINE);
    qv::RestorePoint saved;
    ASSERT_TRUE(qv::RollBackToRestorePoint(root, point.sequence, saved, error)) << error;
    EXPECT_EQ(ReadFile(root / "user.reg"), before);
    EXPECT_EQ(ReadFile(root / "system.reg"), system);
    EXPECT_EQ(saved.sequence, point.sequence + 1);
    prefix->Registry().ReloadChangedFiles();
    int v;
    EXPECT_FALSE(CSystem32::GetRegistryValue("Software\\Added Later", "x", v, HKEY_CURRENT_USER));
    EXPECT_EQ(qv::ListRestorePoints(root).size(), 2u);
    EXPECT_FALSE(qv::RollBackToRestorePoint(root, 99, saved, error));
}

TEST_F(BackupRestoreTest, FailuresStoreNothingAndChangeNothing) {
    // No backup folder can be made: no file, no "Last Backup", so the next start tries again.
    fs::path backup = *qv::WindowsToUnixPath(*prefix, GetBackupFolder());
    fs::create_directories(backup.parent_path().parent_path());
    WriteFile(backup.parent_path(), "a file, not a folder");
    std::string error;
    EXPECT_TRUE(store.MakeRegistryBackup("SystemBackup", nullptr, error).empty());
    std::string last;
    EXPECT_FALSE(CSystem32::GetRegistryValue(settings::kOptionsKey, settings::kLastBackup, last, HKEY_LOCAL_MACHINE));
    fs::remove(backup.parent_path());

    // A backup edited by hand: the restore names the line and changes nothing.
    std::string path = store.MakeRegistryBackup("FullBackup", nullptr, error);
    ASSERT_FALSE(path.empty()) << error;
    fs::path file = *qv::WindowsToUnixPath(*prefix, path);
    std::string text = ReadFile(file);
    text.resize(text.size() / 2 + 1);  // cut in the middle (an odd byte count in UTF-16)
    WriteFile(file, text);
    const std::string userBefore = ReadFile(root / "user.reg");
    CSystem32::DeleteRegistryKey("Control Panel\\Mouse", HKEY_CURRENT_USER);
    const std::string afterDelete = ReadFile(root / "user.reg");
    CSystem32::GetRegistryValue(settings::kOptionsKey, settings::kLastBackup, last, HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(store.RestoreBackup(last));
    EXPECT_EQ(ReadFile(root / "user.reg"), afterDelete);
    ASSERT_FALSE(shown.empty());
    EXPECT_NE(shown.back().find("line 1"), std::string::npos) << shown.back();
    EXPECT_NE(userBefore, afterDelete);

    // An unknown listing text.
    EXPECT_FALSE(store.RestoreBackup("  Jan,01 1999 1:00 AM "));
    EXPECT_EQ(shown.back(), "Cannot found the backup file\nto Jan,01 1999 1:00 AM");
}

TEST_F(BackupRestoreTest, TheFirstStartWritesASystemBackup) {
    store.DoSystemBackup();
    auto files = store.ListBackupFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_NE(files[0].second.find("SystemBackup["), std::string::npos);
}
