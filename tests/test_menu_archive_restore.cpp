// The archives of Wine menu files on the restore list: their times from their names, their
// order and file counts, and what a restore of one says and does.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "backup/backup_list_rows.h"
#include "backup/menu_archive_entries.h"
#include "backup/menu_archive_restore.h"
#include "menus/menu_archive.h"
#include "menus/menu_clean.h"
#include "menus/menu_home.h"
#include "message_box_recorder.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;

// TZ=UTC for one test, the previous value put back afterwards; a home in a temporary folder.
class MenuArchiveRowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("TZ")) m_oldZone = old;
        setenv("TZ", "UTC", 1);
        tzset();
        fs::create_directories(m_temp.path() / "home");
    }
    void TearDown() override {
        if (m_oldZone) setenv("TZ", m_oldZone->c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }
    menus::MenuHome Home() const { return menus::MenuHome::FromVariables({{"HOME", (m_temp.path() / "home").string()}}); }
    fs::path Folder() const { return menus::MenuBackupFolder(Home()); }
    // An archive of `names` (each holding its own name) with that file name in the backup
    // folder.
    fs::path MakeArchive(const std::string& name, const std::vector<std::string>& names) {
        std::vector<menus::ArchivedFile> files;
        for (const std::string& n : names) {
            menus::ArchivedFile f;
            f.name = n;
            f.content = "[Desktop Entry]\nName=" + n + "\n";
            f.mode = 0644;
            f.mtime.tv_sec = 1700000000;
            files.push_back(f);
        }
        fs::create_directories(Folder());
        std::string error;
        EXPECT_TRUE(menus::WriteMenuArchive(Folder() / name, files, error)) << error;
        return Folder() / name;
    }

    qvtest::TempDir m_temp;

private:
    std::optional<std::string> m_oldZone;
};

constexpr int64_t kDec09_2026_0147 = 1796780820;  // Dec 09 2026 1:47:00 AM UTC

TEST_F(MenuArchiveRowsTest, ArchiveNamesGiveTheTimeOfTheirClean) {
    EXPECT_EQ(qv::MenuArchiveNameTime("menu-entries-20261209-014700.tar"), kDec09_2026_0147);
    EXPECT_EQ(qv::MenuArchiveNameTime("menu-entries-20261209-014759-2.tar"), kDec09_2026_0147 + 59);
    for (const char* other : {"menu-entries-20261209-0147.tar", "menu-entries-2026120x-014700.tar",
                              "menu-entries-20261309-014700.tar", "menu-entries-20261209-014700.tgz",
                              "menu-entries-20261209-014700x.tar", "entries-20261209-014700.tar", "menu-entries-.tar"})
        EXPECT_EQ(qv::MenuArchiveNameTime(other), std::nullopt) << other;
}

TEST_F(MenuArchiveRowsTest, ArchivesAreListedNewestFirstWithTheirFileCounts) {
    const fs::path older = MakeArchive("menu-entries-20261209-014700.tar",
                                       {".local/share/applications/wine/Programs/A.desktop", "Desktop/A.desktop"});
    const fs::path second = MakeArchive("menu-entries-20261209-014700-2.tar", {".local/share/applications/x.desktop"});
    const fs::path newer = MakeArchive("menu-entries-20261210-090000.tar", {".local/share/applications/y.desktop"});
    // An archive copied elsewhere and back keeps the time of its name, not of the copy.
    ::utimbuf times{1000, 1000};
    ASSERT_EQ(::utime(newer.c_str(), &times), 0);
    // A damaged archive is listed with its size, without a count.
    qvtest::WriteFile(Folder() / "menu-entries-20261201-120000.tar", std::string(700, 'x'));
    // Anything else in the folder is no archive.
    qvtest::WriteFile(Folder() / "notes.txt", "x");

    const std::vector<qv::MenuArchiveEntry> entries = qv::ListMenuArchiveEntries(Home());
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].path, newer);
    EXPECT_EQ(entries[0].created, kDec09_2026_0147 + 86400 + 7 * 3600 + 13 * 60);
    EXPECT_EQ(entries[0].files, 1u);
    // Two archives of one second: the numbered one was written later.
    EXPECT_EQ(entries[1].path, second);
    EXPECT_EQ(entries[2].path, older);
    EXPECT_EQ(entries[2].created, kDec09_2026_0147);
    EXPECT_EQ(entries[2].files, 2u);
    EXPECT_EQ(entries[2].size, fs::file_size(older));
    EXPECT_EQ(entries[3].files, std::nullopt);
    EXPECT_EQ(entries[3].size, 700u);
    EXPECT_TRUE(qv::ListMenuArchiveEntries(menus::MenuHome::FromVariables({{"HOME", "/nonexistent"}})).empty());
}

TEST_F(MenuArchiveRowsTest, ARestoreSaysHowManyFilesWentBackAndWhichWereLeft) {
    menus::MenuRestoreResult all;
    all.ok = true;
    all.restored = {"/h/a.desktop", "/h/b.desktop"};
    EXPECT_EQ(qv::DescribeMenuRestore(all, "Dec 09 2026 1:47 AM").status, "Put back 2 Wine menu files.");
    EXPECT_EQ(qv::DescribeMenuRestore(all, "Dec 09 2026 1:47 AM").result, qv::MenuArchiveRestore::Result::Restored);
    all.restored.resize(1);
    EXPECT_EQ(qv::DescribeMenuRestore(all, "w").status, "Put back 1 Wine menu file.");
    all.restored.clear();
    EXPECT_EQ(qv::DescribeMenuRestore(all, "w").status, "Nothing to put back: the Wine menu files of w are all in place already.");

    menus::MenuRestoreResult some;
    some.restored = {"/h/a.desktop"};
    for (int i = 0; i < 7; ++i) some.refused.push_back("/h/" + std::to_string(i) + ".desktop: a different file is there now.");
    const qv::MenuArchiveRestore partly = qv::DescribeMenuRestore(some, "w");
    EXPECT_EQ(partly.result, qv::MenuArchiveRestore::Result::Partly);
    EXPECT_EQ(partly.status, "Put back 1 Wine menu file; 7 were left as they were.");
    // The tip names the first of them and counts the rest.
    EXPECT_NE(partly.details.find("\n/h/0.desktop: a different file"), std::string::npos) << partly.details;
    EXPECT_NE(partly.details.find("\n/h/4.desktop"), std::string::npos);
    EXPECT_EQ(partly.details.find("/h/5.desktop"), std::string::npos);
    EXPECT_NE(partly.details.find("and 2 more."), std::string::npos);
    some.restored.clear();
    some.refused.resize(1);
    EXPECT_EQ(qv::DescribeMenuRestore(some, "w").status, "Put back no Wine menu file; 1 was left as it was.");

    menus::MenuRestoreResult broken;
    broken.error = "The archive /x.tar cannot be restored: it ends early.";
    const qv::MenuArchiveRestore failed = qv::DescribeMenuRestore(broken, "w");
    EXPECT_EQ(failed.result, qv::MenuArchiveRestore::Result::Failed);
    EXPECT_EQ(failed.status, "Not restored: the Wine menu files of w.");
    EXPECT_NE(failed.details.find(broken.error), std::string::npos);
}

TEST_F(MenuArchiveRowsTest, RestoringARowAsksThenPutsTheFilesBackAndNeverOverAChangedOne) {
    const fs::path home = m_temp.path() / "home";
    const fs::path archive =
        MakeArchive("menu-entries-20261209-014700.tar", {".local/share/applications/wine-extension-txt.desktop",
                                                         ".local/share/applications/wine/Programs/App.desktop"});
    std::vector<qv::BackupListRow> rows = qv::MakeBackupListRows({}, qv::ListMenuArchiveEntries(Home()));
    ASSERT_EQ(rows.size(), 1u);
    // A file changed since the clean is there in place of one of them.
    fs::create_directories(home / ".local/share/applications");
    qvtest::WriteFile(home / ".local/share/applications/wine-extension-txt.desktop", "mine\n");

    qvtest::MessageBoxRecorder boxes(IDNO);
    qv::MenuArchiveRestore done = qv::RestoreMenuArchive(rows[0], Home());
    EXPECT_EQ(done.result, qv::MenuArchiveRestore::Result::Declined);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_NE(boxes.shown[0].find("put back the Wine menu files\nof " + rows[0].when), std::string::npos) << boxes.shown[0];
    EXPECT_FALSE(fs::exists(home / ".local/share/applications/wine/Programs/App.desktop"));

    boxes.answer = IDYES;
    done = qv::RestoreMenuArchive(rows[0], Home());
    EXPECT_EQ(done.result, qv::MenuArchiveRestore::Result::Partly);
    EXPECT_EQ(done.status, "Put back 1 Wine menu file; 1 was left as it was.");
    EXPECT_NE(done.details.find("wine-extension-txt.desktop"), std::string::npos);
    EXPECT_EQ(qvtest::ReadFile(home / ".local/share/applications/wine/Programs/App.desktop"),
              "[Desktop Entry]\nName=.local/share/applications/wine/Programs/App.desktop\n");
    EXPECT_EQ(qvtest::ReadFile(home / ".local/share/applications/wine-extension-txt.desktop"), "mine\n");

    // A damaged archive: a box says why, and nothing changed.
    qvtest::WriteFile(archive, std::string(1024, 'x'));
    const size_t before = boxes.shown.size();
    done = qv::RestoreMenuArchive(rows[0], Home());
    EXPECT_EQ(done.result, qv::MenuArchiveRestore::Result::Failed);
    ASSERT_EQ(boxes.shown.size(), before + 2);  // the question, then the failure
    EXPECT_EQ(boxes.shown.back().rfind("The Wine menu files could not be put back", 0), 0u) << boxes.shown.back();

    // A gone archive is said so before anything is asked.
    fs::remove(archive);
    done = qv::RestoreMenuArchive(rows[0], Home());
    EXPECT_EQ(done.result, qv::MenuArchiveRestore::Result::NotFound);
    EXPECT_EQ(boxes.shown.size(), before + 3);
    EXPECT_EQ(done.status, "Not restored: the Wine menu files of " + rows[0].when + " are no longer in the backup folder.");
}

}  // namespace
