// Backups that a repair relies on: never mixed into another file, bound to their file on
// restore, exact for names that .reg text has trouble with, and absent when nothing was
// deleted.
#include <gtest/gtest.h>

#include <windows.h>

#include "app/derived_paths.h"
#include "backup/backup_store.h"
#include "backup/partial_backup_check.h"
#include "backup/reg_import.h"
#include "backup/regedit_command.h"
#include "backup/regedit_export.h"
#include "fake_wine_server.h"
#include "message_box_recorder.h"
#include "platform/prefix/drive_map.h"
#include "platform/registry/atomic_file.h"
#include "platform/registry/reg_text.h"
#include "platform/registry/registry_store.h"
#include "results/scan_repair.h"
#include "small_prefix.h"
#include "vendor/core/system32.h"

using namespace qvtest;
namespace fs = std::filesystem;

namespace {

const std::string kAppPaths = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
const std::string kDlls = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";

std::vector<uint8_t> Utf16Z(std::u16string_view s) {
    std::vector<uint8_t> d;
    for (char16_t c : s) {
        d.push_back(static_cast<uint8_t>(c));
        d.push_back(static_cast<uint8_t>(c >> 8));
    }
    d.push_back(0);
    d.push_back(0);
    return d;
}

class BackupSafetyTest : public SmallPrefixTest {
protected:
    void SetUp() override {
        SmallPrefixTest::SetUp();
        RefreshDerivedPaths();
    }
    qv::RegistryStore& Registry() { return qv::ActivePrefix()->Registry(); }

    // Sets a value with names exactly as given (any UTF-16 units) below HKLM.
    void SetExact(std::u16string_view path, std::u16string_view name, std::u16string_view text) {
        auto lock = Registry().WriteLock();
        long err = 0;
        qv::reg::Key* k = Registry().Create(qv::RegRoot::LocalMachine, path, nullptr, &err);
        ASSERT_NE(k, nullptr) << err;
        ASSERT_EQ(Registry().SetValue(k, name, REG_SZ, Utf16Z(text)), 0);
        ASSERT_EQ(Registry().Commit(), 0) << Registry().LastError();
    }
    std::string ExportText(const std::string& key) {
        std::u16string text;
        std::string error;
        if (!qv::RegeditExportText(Registry(), key, text, error)) return "missing: " + error;
        return qv::reg::ToUtf8(text);
    }
    fs::path Unix(const std::string& windowsPath) { return *qv::WindowsToUnixPath(*qv::ActivePrefix(), windowsPath); }
    fs::path BackupFolder() { return Unix(GetBackupFolder()); }
    std::vector<fs::path> BackupFiles() {
        std::vector<fs::path> out;
        if (fs::exists(BackupFolder()))
            for (const auto& e : fs::directory_iterator(BackupFolder())) out.push_back(e.path());
        return out;
    }
    RepairRow Row(const std::string& category, const std::string& item, const std::string& key, const char* kind) {
        return {{category, item, key, "HKEY_LOCAL_MACHINE", kind}, true};
    }

    MessageBoxRecorder boxes{IDYES};
    CBackupStore store;
    const CFindingStores noCache;
};

}  // namespace

TEST_F(BackupSafetyTest, AFixNeverAppendsToABackupOfTheSameMinute) {
    CSystem32::SetRegistryValue(kDlls, "C:\\gone.dll", 1, HKEY_LOCAL_MACHINE);
    const std::string before = ExportText("HKEY_LOCAL_MACHINE\\" + kDlls);
    // What a full disk or a killed fix leaves: an empty file and a cut-off one, under the
    // names this minute's backup would take.
    std::string wanted = store.MakeBackupFileName("PartialBackup");
    fs::path empty = Unix(wanted);
    WriteFile(empty, "");
    fs::path cut = empty.parent_path() / (empty.stem().string() + " (2).reg");
    const std::string cutText =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\r\n\"a\"=hex:01,\\\r\n";
    WriteFile(cut, cutText);

    CScanRepair repair(store);
    std::vector<RepairRow> rows{Row("Shared DLLs", "C:\\gone.dll", kDlls, "VAL")};
    ASSERT_EQ(repair.FixSelected(rows, noCache), RepairOutcome::Repaired);
    EXPECT_EQ(ReadFile(empty), "");
    EXPECT_EQ(ReadFile(cut), cutText);
    fs::path backup = Unix(repair.BackupPath());
    EXPECT_NE(backup, empty);
    EXPECT_NE(backup, cut);
    EXPECT_EQ(store.FindBackupFile(backup.string()), repair.BackupPath());
    EXPECT_NE(ExportText("HKEY_LOCAL_MACHINE\\" + kDlls), before);

    EXPECT_TRUE(store.RestoreBackupFile(repair.BackupPath()));
    EXPECT_EQ(ExportText("HKEY_LOCAL_MACHINE\\" + kDlls), before);
    // No temporary file stays behind.
    for (const fs::path& f : BackupFiles()) EXPECT_EQ(f.extension(), ".reg") << f;
}

TEST_F(BackupSafetyTest, RestoreTakesTheFileChosenAmongBackupsOfOneMinute) {
    CSystem32::SetRegistryValue(kDlls, "C:\\first.dll", 1, HKEY_LOCAL_MACHINE);
    CSystem32::SetRegistryValue(kDlls, "C:\\second.dll", 2, HKEY_LOCAL_MACHINE);
    CScanRepair first(store), second(store);
    std::vector<RepairRow> a{Row("Shared DLLs", "C:\\first.dll", kDlls, "VAL")};
    std::vector<RepairRow> b{Row("Shared DLLs", "C:\\second.dll", kDlls, "VAL")};
    ASSERT_EQ(first.FixSelected(a, noCache), RepairOutcome::Repaired);
    ASSERT_EQ(second.FixSelected(b, noCache), RepairOutcome::Repaired);
    ASSERT_NE(first.BackupPath(), second.BackupPath());

    // Every spelling of the second file names it: Windows path, drive_c, dosdevices, relative.
    fs::path real = fs::canonical(Unix(second.BackupPath()));
    fs::path viaDosdevices = root_ / "dosdevices" / "c:" / fs::relative(real, fs::canonical(DriveC()));
    std::error_code ec;
    fs::path cwd = fs::current_path();
    fs::current_path(real.parent_path());
    EXPECT_EQ(store.FindBackupFile(real.filename().string()), second.BackupPath());
    fs::current_path(cwd, ec);
    for (const std::string& name : {second.BackupPath(), real.string(), viaDosdevices.string()})
        EXPECT_EQ(store.FindBackupFile(name), second.BackupPath()) << name;
    EXPECT_EQ(store.FindBackupFile((DriveC() / "windows").string()), "");

    ASSERT_TRUE(store.RestoreBackupFile(second.BackupPath()));
    int v = 0;
    EXPECT_TRUE(CSystem32::GetRegistryValue(kDlls, "C:\\second.dll", v, HKEY_LOCAL_MACHINE));
    EXPECT_FALSE(CSystem32::GetRegistryValue(kDlls, "C:\\first.dll", v, HKEY_LOCAL_MACHINE));
}

TEST_F(BackupSafetyTest, ASecondFullBackupInTheSameMinuteHoldsTheLaterRegistry) {
    std::string error;
    std::string one = store.MakeRegistryBackup("FullBackup", nullptr, error);
    ASSERT_FALSE(one.empty()) << error;
    CSystem32::SetRegistryValue("Software\\Later", "x", 7, HKEY_CURRENT_USER);
    std::string two = store.MakeRegistryBackup("FullBackup", nullptr, error);
    ASSERT_FALSE(two.empty()) << error;
    EXPECT_NE(one, two);
    const std::string later("L\0a\0t\0e\0r\0", 10);  // the key's name in the UTF-16 export
    EXPECT_EQ(ReadFile(Unix(one)).find(later), std::string::npos);
    EXPECT_NE(ReadFile(Unix(two)).find(later), std::string::npos);
}

TEST_F(BackupSafetyTest, ARefusedFixLeavesNoBackupAndChangesNothing) {
    CSystem32::SetRegistryValue(kDlls, "C:\\gone.dll", 1, HKEY_LOCAL_MACHINE);
    const std::string system = ReadFile(root_ / "system.reg");
    std::vector<RepairRow> rows{Row("Shared DLLs", "C:\\gone.dll", kDlls, "VAL")};
    {
        FakeWineServer wine(root_);
        CScanRepair repair(store);
        EXPECT_EQ(repair.FixSelected(rows, noCache), RepairOutcome::RegistryRefused);
        EXPECT_NE(repair.Problem().find("wineserver -k"), std::string::npos) << repair.Problem();
    }
    // The disk fills up while the deletions are saved.
    qv::SetWriteFaultHook([](size_t) { return false; });
    CScanRepair repair(store);
    EXPECT_EQ(repair.FixSelected(rows, noCache), RepairOutcome::RegistryRefused);
    qv::SetWriteFaultHook(nullptr);
    EXPECT_TRUE(repair.BackupPath().empty());
    EXPECT_EQ(ReadFile(root_ / "system.reg"), system);
    for (const fs::path& f : BackupFiles()) ADD_FAILURE() << "left behind: " << f;
}

// Names that Wine's registry holds and .reg text struggles with, below a key a fix deletes:
// after the fix and a restore of its backup the key is as before, or the row was refused
// with its reason and nothing was deleted.
TEST_F(BackupSafetyTest, AwkwardNamesComeBackExactlyOrAreRefused) {
    struct Case {
        std::u16string key;    // below the deleted key
        std::u16string value;  // name of a value in it
        bool refused;
    };
    const Case cases[] = {
        {u"plain", u"line\nbreak", false},
        {u"plain", u"carriage\rreturn", false},
        {u"plain", u"quote\"and\\backslash", false},
        {u"line\nbreak", u"v", true},
        {u"carriage\rreturn", u"v", true},
        {std::u16string(u"\0starts with nul", 16), u"v", true},
        {u"lone \xD800 high", u"v", true},
        {u"plain", u"lone \xDC00 low", true},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(qv::PrintableName(c.key) + " / " + qv::PrintableName(c.value));
        std::string app = "gone" + std::to_string(n++) + ".exe";
        std::u16string top = qv::reg::ToUtf16(kAppPaths + "\\" + app);
        SetExact(top, u"", u"C:\\gone.exe");
        SetExact(top + u"\\" + c.key, c.value, u"data");
        const std::string before = ExportText("HKEY_LOCAL_MACHINE\\" + kAppPaths + "\\" + app);
        size_t files = BackupFiles().size();

        CScanRepair repair(store);
        std::vector<RepairRow> rows{Row("Application Path", app, kAppPaths + "\\" + app, "KEY")};
        ASSERT_EQ(repair.FixSelected(rows, noCache), RepairOutcome::Repaired);
        if (c.refused) {
            ASSERT_EQ(repair.Refused().size(), 1u);
            EXPECT_TRUE(repair.LeftAlone(0));
            EXPECT_EQ(repair.RepairedCount(), 0u);
            EXPECT_EQ(ExportText("HKEY_LOCAL_MACHINE\\" + kAppPaths + "\\" + app), before);
            EXPECT_NE(boxes.shown.back().find(repair.Refused()[0].second), std::string::npos);
        } else {
            EXPECT_TRUE(repair.Refused().empty());
            EXPECT_EQ(ExportText("HKEY_LOCAL_MACHINE\\" + kAppPaths + "\\" + app).rfind("missing", 0), 0u);
            ASSERT_TRUE(store.RestoreBackupFile(repair.BackupPath()));
            EXPECT_EQ(ExportText("HKEY_LOCAL_MACHINE\\" + kAppPaths + "\\" + app), before);
        }
        // A repair that keeps every row writes no backup of nothing.
        EXPECT_EQ(BackupFiles().size(), files + (c.refused ? 0 : 1));
        for (const fs::path& f : BackupFiles()) EXPECT_LT(fs::file_size(f), 1u << 20) << f;
    }
}

TEST_F(BackupSafetyTest, TheWholeRegistryExportGivesAwkwardNamesBackExactly) {
    const std::u16string base = u"Software\\Awkward";
    const std::u16string names[] = {u"line\nbreak", u"carriage\rreturn", std::u16string(u"\0nul first", 10),
                                    u"lone \xD800", u"quote\"]bracket"};
    for (const std::u16string& k : names)
        for (const std::u16string& v : names) SetExact(base + u"\\" + k, v, u"x\r\ny");
    const std::string before = ExportText("HKEY_LOCAL_MACHINE\\Software\\Awkward");
    fs::path file = temp_.path() / "all.reg";
    qv::RegeditResult r = qv::RunRegedit({"/e", file.string()});
    ASSERT_EQ(r.status, 0) << r.messages;
    ASSERT_TRUE(CSystem32::DeleteRegistryKey("Software\\Awkward", HKEY_LOCAL_MACHINE));
    r = qv::RunRegedit({"/s", file.string()});
    ASSERT_EQ(r.status, 0) << r.messages;
    EXPECT_EQ(ExportText("HKEY_LOCAL_MACHINE\\Software\\Awkward"), before);
    auto lock = Registry().ReadLock();
    for (const std::u16string& k : names) {
        const qv::reg::Key* key = Registry().Find(qv::RegRoot::LocalMachine, base + u"\\" + k);
        ASSERT_NE(key, nullptr) << qv::PrintableName(k);
        EXPECT_EQ(key->Name(), k);
        EXPECT_EQ(key->Values().size(), std::size(names));
    }
}

TEST_F(BackupSafetyTest, TheReadBackCheckNamesWhatABackupWouldGetWrong) {
    CSystem32::SetRegistryValue(kDlls, "C:\\a.dll", 1, HKEY_LOCAL_MACHINE);
    std::vector<qv::BackupEntry> entries{{"HKEY_LOCAL_MACHINE", kDlls, "C:\\a.dll", false}};
    const std::string good = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\" + kDlls +
                             "]\r\n\"C:\\\\a.dll\"=dword:00000001\r\n";
    EXPECT_EQ(qv::CompareBackupWithRegistry(Registry(), good, entries), "");
    std::string wrongData = good;
    wrongData.replace(wrongData.find("00000001"), 8, "00000002");
    EXPECT_NE(qv::CompareBackupWithRegistry(Registry(), wrongData, entries).find("would come back different"),
              std::string::npos);
    EXPECT_NE(qv::CompareBackupWithRegistry(Registry(), good.substr(0, good.size() - 30), entries), "");
    EXPECT_NE(qv::CompareBackupWithRegistry(Registry(), "", entries).find("cannot be read back"), std::string::npos);
}

TEST_F(BackupSafetyTest, AnExportWhileWineRunsWarnsThatItReadsTheFilesOnDisk) {
    fs::path file = temp_.path() / "all.reg";
    qv::RegeditResult quiet = qv::RunRegedit({"/e", file.string()});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.messages, "");
    FakeWineServer wine(root_);
    qv::RegeditResult r = qv::RunRegedit({"/e", file.string()});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.messages.find("Wine is running"), std::string::npos) << r.messages;
    EXPECT_NE(r.messages.find("on disk"), std::string::npos) << r.messages;
}

TEST_F(BackupSafetyTest, ABackupOfAPrefixWithAnUnreadableFileFailsAndSaysWhich) {
    for (bool folder : {false, true}) {
        fs::remove(root_ / "system.reg");
        if (folder)
            fs::create_directory(root_ / "system.reg");
        else
            WriteFile(root_ / "system.reg", "");
        qv::SetActivePrefix(std::make_shared<qv::Prefix>(root_));
        RefreshDerivedPaths();
        std::string error;
        EXPECT_EQ(store.MakeRegistryBackup("FullBackup", nullptr, error), "");
        EXPECT_NE(error.find("system.reg"), std::string::npos) << error;
        for (const fs::path& f : BackupFiles()) ADD_FAILURE() << "left behind: " << f;
        fs::remove_all(root_ / "system.reg");
    }
}

// The registry finds values without regard to case: a row whose name differs from the stored
// one only in case deletes the stored value, so that value is what the backup must hold. A
// value row on a key with subkeys, and one for the default value, are backed up too.
TEST_F(BackupSafetyTest, AValueRowBacksUpTheValueItsDeletionRemoves) {
    const std::string run = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    CSystem32::SetRegistryValue(kDlls, "C:\\Windows\\Gone.dll", 7, HKEY_LOCAL_MACHINE);
    CSystem32::SetRegistryValue(run, "Gone", "C:\\gone.exe", HKEY_LOCAL_MACHINE);
    CSystem32::SetRegistryValue(run + "\\AutorunsDisabled", "Other", "C:\\other.exe", HKEY_LOCAL_MACHINE);
    CSystem32::SetRegistryValue(kAppPaths + "\\gone.exe", "", "C:\\gone.exe", HKEY_LOCAL_MACHINE);
    CSystem32::SetRegistryValue(kAppPaths + "\\gone.exe", "Path", "C:\\", HKEY_LOCAL_MACHINE);
    const std::string dlls = ExportText("HKEY_LOCAL_MACHINE\\" + kDlls), runs = ExportText("HKEY_LOCAL_MACHINE\\" + run),
                      app = ExportText("HKEY_LOCAL_MACHINE\\" + kAppPaths + "\\gone.exe");
    std::vector<RepairRow> rows{Row("Shared DLLs", "c:\\windows\\gone.dll", kDlls, "VAL"),
                                Row("Startup Programs", "Gone", run, "VAL"),
                                Row("x", "", kAppPaths + "\\gone.exe", "VAL")};
    CScanRepair repair(store);
    ASSERT_EQ(repair.FixSelected(rows, noCache), RepairOutcome::Repaired) << repair.Problem();
    int v = 0;
    EXPECT_FALSE(CSystem32::GetRegistryValue(kDlls, "C:\\Windows\\Gone.dll", v, HKEY_LOCAL_MACHINE));
    ASSERT_TRUE(store.RestoreBackupFile(repair.BackupPath()));
    EXPECT_EQ(ExportText("HKEY_LOCAL_MACHINE\\" + kDlls), dlls);
    EXPECT_EQ(ExportText("HKEY_LOCAL_MACHINE\\" + run), runs);
    EXPECT_EQ(ExportText("HKEY_LOCAL_MACHINE\\" + kAppPaths + "\\gone.exe"), app);
}

// Another program changes the files while the user reads the confirmation: the deletions,
// taken from what was backed up, are not put on top of its version.
TEST_F(BackupSafetyTest, AChangeSavedBetweenBackupAndDeletionStopsTheDeletion) {
    const std::string uninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Gone";
    CSystem32::SetRegistryValue(uninstall, "DisplayName", "Gone", HKEY_LOCAL_MACHINE);
    qv::SetMessageBoxHandler([&](const std::string& text, const std::string&, unsigned type) {
        boxes.shown.push_back(text);
        if ((type & 0xF) != MB_YESNO) return IDOK;
        qv::RegistryStore other(root_);
        auto lock = other.WriteLock();
        long err = 0;
        qv::reg::Key* k = other.Create(qv::RegRoot::LocalMachine, qv::reg::ToUtf16(uninstall), nullptr, &err);
        other.SetValue(k, u"SaveGamePath", REG_SZ, Utf16Z(u"C:\\saves"));
        EXPECT_EQ(other.Commit(), 0) << other.LastError();
        return IDYES;
    });
    CScanRepair repair(store);
    std::vector<RepairRow> rows{Row("Add or Remove Programs", "Gone", uninstall, "KEY")};
    EXPECT_EQ(repair.FixSelected(rows, noCache), RepairOutcome::RegistryRefused);
    EXPECT_NE(repair.Problem().find("changed by another program"), std::string::npos) << repair.Problem();
    std::string path;
    EXPECT_TRUE(CSystem32::GetRegistryValue(uninstall, "SaveGamePath", path, HKEY_LOCAL_MACHINE));
    for (const fs::path& f : BackupFiles()) ADD_FAILURE() << "left behind: " << f;
}
