// The shortcut scanners walk only folders of the prefix. Wine links the profile's Desktop
// to the user's home, which holds the home's own shortcuts and other prefixes' ones: judged
// against this prefix they would all look broken. A desktop or Start Menu folder, or a
// folder below one, that leads outside drive_c is skipped with a note, in the status line,
// the stores and the repair's notes.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

#include "app/derived_paths.h"
#include "app/shell_link_writer.h"
#include "message_box_recorder.h"
#include "results/scan_repair.h"
#include "scan/scan_engine.h"
#include "recording_sinks.h"
#include "small_prefix.h"
#include "vendor/core/system32.h"

using namespace qvtest;
namespace fs = std::filesystem;

namespace {

const std::string kDesktop = "C:\\users\\tester\\Desktop";
const std::string kPrograms = "C:\\users\\tester\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";

bool AnyEquals(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

std::string Joined(const std::vector<std::string>& texts) {
    std::string all;
    for (const std::string& t : texts) all += t + "\n";
    return all;
}

class ShortcutFolderOutsideTest : public SmallPrefixTest {
protected:
    using NoRows = RecordedRows;
    using Statuses = RecordedStatuses;

    void SetUp() override {
        SmallPrefixTest::SetUp();
        RefreshDerivedPaths();
        fs::create_directories(temp_.path() / "home");
        home_ = fs::canonical(temp_.path() / "home");
        fs::create_directories(Profile() / "AppData/Roaming/Microsoft/Windows/Start Menu/Programs");
    }

    fs::path Profile() const { return DriveC() / "users/tester"; }

    // A folder outside the prefix full of shortcuts whose targets this prefix lacks.
    fs::path BrokenShortcutsOutside(const std::string& relative) {
        fs::path folder = home_ / relative;
        fs::create_directories(folder / "Sub");
        ShellLinkData link;
        link.targetPath = "C:\\Program Files\\Elsewhere\\app.exe";
        EXPECT_TRUE(WriteShellLinkFile(folder / "app.lnk", link));
        EXPECT_TRUE(WriteShellLinkFile(folder / "Sub/deeper.lnk", link));
        WriteFile(folder / "notes.url", "[InternetShortcut]\r\nURL=file:///C:/Elsewhere/notes.txt\r\n");
        return folder;
    }

    void BrokenShortcutInside(const fs::path& file) {
        fs::create_directories(file.parent_path());
        ShellLinkData link;
        link.targetPath = "C:\\Gone\\gone.exe";
        ASSERT_TRUE(WriteShellLinkFile(file, link));
    }

    void Scan() {
        NoRows rows;
        Statuses statuses;
        CScanEngine engine(rows, statuses);
        engine.PrepareStart();
        engine.ScanShortcutsFirstGroup();
        engine.ScanShortcutsSecondGroup();
        stores_ = engine.m_stores;
        statuses_ = statuses.texts;
    }

    std::string Outside(const std::string& windows, const fs::path& real) const {
        return "Skipped " + windows + ": it leads outside the prefix (to " + real.string() + ").";
    }

    fs::path home_;
    CFindingStores stores_;
    std::vector<std::string> statuses_;
};

}  // namespace

TEST_F(ShortcutFolderOutsideTest, ADesktopLinkedToTheHomeIsNotWalked) {
    fs::path desktop = BrokenShortcutsOutside("Desktop");
    fs::create_directory_symlink(desktop, Profile() / "Desktop");
    BrokenShortcutInside(Profile() / "AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Old/old.lnk");

    Scan();
    EXPECT_EQ(stores_.m_aMissingShortcuts, std::vector<std::string>{});
    EXPECT_EQ(stores_.m_aStartMenuShortcuts, std::vector<std::string>{kPrograms + "\\Old\\old.lnk"});
    const std::string note = Outside(kDesktop, desktop);
    EXPECT_EQ(stores_.m_aShortcutFolderNotes, std::vector<std::string>{note});
    EXPECT_TRUE(AnyEquals(statuses_, note)) << Joined(statuses_);

    // The repair shows the scan's note with its own.
    MessageBoxRecorder boxes{IDYES};
    CBackupStore store;
    CScanRepair repair(store);
    ASSERT_EQ(repair.FixSelected({}, stores_), RepairOutcome::Repaired);
    EXPECT_TRUE(AnyEquals(repair.Notes(), note)) << Joined(repair.Notes());
}

// A desktop named by a Z: path in the registry leads out of the prefix just the same.
TEST_F(ShortcutFolderOutsideTest, ADesktopOnDriveZIsNotWalked) {
    fs::path desktop = BrokenShortcutsOutside("z-desktop");
    std::string z = "Z:" + desktop.string();
    std::replace(z.begin(), z.end(), '/', '\\');
    ASSERT_TRUE(CSystem32::SetRegistryValue("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                                            "Desktop", z, HKEY_CURRENT_USER));
    Scan();
    EXPECT_EQ(stores_.m_aMissingShortcuts, std::vector<std::string>{});
    EXPECT_EQ(stores_.m_aShortcutFolderNotes, std::vector<std::string>{Outside(z, desktop)});
}

// Inside a desktop of the prefix, a folder linked out is skipped and the rest walked: the
// prefix's own broken shortcuts are still listed, and a folder linked to another place
// inside the prefix is walked.
TEST_F(ShortcutFolderOutsideTest, FoldersLinkedOutBelowADesktopOfThePrefixAreSkipped) {
    const fs::path desktop = Profile() / "Desktop";
    BrokenShortcutInside(desktop / "gone.lnk");
    BrokenShortcutInside(DriveC() / "users/Public/Desktop/public gone.lnk");
    fs::path games = BrokenShortcutsOutside("Games");
    fs::path other = BrokenShortcutsOutside("other prefix/Start Menu");
    fs::create_directory_symlink(games, desktop / "Games");
    fs::create_directory_symlink(DriveC() / "users/Public/Desktop", desktop / "Public");
    const fs::path programs = Profile() / "AppData/Roaming/Microsoft/Windows/Start Menu/Programs";
    fs::create_directory_symlink(other, programs / "Other");

    Scan();
    EXPECT_EQ(stores_.m_aMissingShortcuts,
              (std::vector<std::string>{kDesktop + "\\gone.lnk", kDesktop + "\\Public\\public gone.lnk"}));
    EXPECT_EQ(stores_.m_aStartMenuShortcuts, std::vector<std::string>{});
    std::vector<std::string> notes = stores_.m_aShortcutFolderNotes;
    std::sort(notes.begin(), notes.end());
    ASSERT_EQ(notes.size(), 2u) << Joined(notes);
    EXPECT_EQ(notes[0], Outside(kPrograms + "\\Other", other));
    EXPECT_EQ(notes[1], Outside(kDesktop + "\\Games", games));
    for (const std::string& note : notes) EXPECT_TRUE(AnyEquals(statuses_, note)) << note;
}

// A desktop whose links go round in a loop is not walked either, and says why.
TEST_F(ShortcutFolderOutsideTest, ADesktopOfLinksInALoopIsNotWalked) {
    fs::create_symlink("Desktop", Profile() / "Desktop");
    Scan();
    ASSERT_EQ(stores_.m_aShortcutFolderNotes.size(), 1u);
    EXPECT_EQ(stores_.m_aShortcutFolderNotes[0].rfind("Skipped " + kDesktop + ": its links cannot be resolved (", 0), 0u)
        << stores_.m_aShortcutFolderNotes[0];
}

// A desktop that is a link to another folder of the prefix is walked like any other.
TEST_F(ShortcutFolderOutsideTest, ADesktopLinkedInsideThePrefixIsWalked) {
    BrokenShortcutInside(DriveC() / "Desktops/tester/gone.lnk");
    fs::create_directory_symlink(DriveC() / "Desktops/tester", Profile() / "Desktop");
    Scan();
    EXPECT_EQ(stores_.m_aMissingShortcuts, std::vector<std::string>{kDesktop + "\\gone.lnk"});
    EXPECT_EQ(stores_.m_aShortcutFolderNotes, std::vector<std::string>{});
}
