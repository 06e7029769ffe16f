// The rows of the restore list: kind and size beside the time, newest first, each row bound
// to its file and listing text.
#include "backup/backup_list_rows.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

using qv::BackupFileEntry;
using qv::BackupKind;

// TZ=UTC for one test, the previous value put back afterwards.
class BackupListRowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("TZ")) m_oldZone = old;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TearDown() override {
        if (m_oldZone) setenv("TZ", m_oldZone->c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }
    static BackupFileEntry Entry(const std::string& name, int64_t created, uint64_t size) {
        return {"listing of " + name, "C:\\users\\me\\AppData\\Roaming\\Quorvane\\Backup\\" + name, created, 0, size};
    }

private:
    std::optional<std::string> m_oldZone;
};

constexpr int64_t kJun06_2025_1905 = 1749236700;  // Jun 06 2025 7:05 PM UTC

TEST_F(BackupListRowsTest, KindsComeFromTheStoresFileNamePrefixes) {
    EXPECT_EQ(qv::BackupKindOfFile("FullBackup[Jun-06-2025 7-05 PM].reg"), BackupKind::Full);
    EXPECT_EQ(qv::BackupKindOfFile("C:\\x\\Backup\\SystemBackup[Jun-06-2025 7-05 PM].reg"), BackupKind::System);
    EXPECT_EQ(qv::BackupKindOfFile("/home/me/Backup/PartialBackup[Jun-06-2025 7-05 PM] (2).reg"), BackupKind::Fix);
    EXPECT_EQ(qv::BackupKindOfFile("fullbackup[Jun-06-2025 7-05 PM].REG"), BackupKind::Full);
    // Only the file's own name counts, not a folder called like a kind.
    EXPECT_EQ(qv::BackupKindOfFile("C:\\FullBackup\\mine.reg"), BackupKind::Other);
    EXPECT_EQ(qv::BackupKindOfFile("Backup.reg"), BackupKind::Other);
    EXPECT_EQ(qv::BackupKindName(BackupKind::Fix), "fix backup");
    EXPECT_EQ(qv::BackupKindName(BackupKind::Other), "backup");
}

TEST_F(BackupListRowsTest, SizesReadInBytesKilobytesAndMegabytes) {
    EXPECT_EQ(qv::BackupSizeText(0), "0 bytes");
    EXPECT_EQ(qv::BackupSizeText(1), "1 byte");
    EXPECT_EQ(qv::BackupSizeText(1023), "1023 bytes");
    EXPECT_EQ(qv::BackupSizeText(1024), "1.0 KB");
    EXPECT_EQ(qv::BackupSizeText(2765), "2.7 KB");
    EXPECT_EQ(qv::BackupSizeText(10 * 1024 - 30), "10 KB");  // 9.97 does not show as "10.0"
    EXPECT_EQ(qv::BackupSizeText(48 * 1024), "48 KB");
    // Just below a megabyte rounds to 1024 KB: written as the next unit.
    EXPECT_EQ(qv::BackupSizeText(1024 * 1024 - 100), "1.0 MB");
    EXPECT_EQ(qv::BackupSizeText(5347737), "5.1 MB");
    EXPECT_EQ(qv::BackupSizeText(uint64_t(3) << 30), "3.0 GB");
}

TEST_F(BackupListRowsTest, RowsAreNewestFirstWithKindAndSizeAndKeepTheirFiles) {
    std::vector<BackupFileEntry> entries = {
        Entry("FullBackup[Jun-06-2025 7-05 PM].reg", kJun06_2025_1905, 5347737),
        Entry("PartialBackup[Jun-07-2025 9-30 AM].reg", kJun06_2025_1905 + 14 * 3600 + 25 * 60, 2765),
        Entry("SystemBackup[Jun-01-2025 8-00 AM].reg", kJun06_2025_1905 - 5 * 86400 - 11 * 3600 - 5 * 60, 5300000),
        Entry("notes.reg", kJun06_2025_1905 + 30, 300),
    };
    std::vector<qv::BackupListRow> rows = qv::MakeBackupListRows(entries);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].text, "Jun 07 2025 9:30 AM \u2014 fix backup, 2.7 KB");
    EXPECT_EQ(rows[1].text, "Jun 06 2025 7:05 PM \u2014 backup, 300 bytes");
    EXPECT_EQ(rows[2].text, "Jun 06 2025 7:05 PM \u2014 full backup, 5.1 MB");
    EXPECT_EQ(rows[3].text, "Jun 01 2025 8:00 AM \u2014 system backup, 5.1 MB");
    EXPECT_EQ(rows[3].when, "Jun 01 2025 8:00 AM");
    // Each row still carries the listing text and the file it was made from.
    EXPECT_EQ(rows[0].entry.listingText, entries[1].listingText);
    EXPECT_EQ(rows[0].entry.path, entries[1].path);
    EXPECT_EQ(rows[2].entry.path, entries[0].path);
    EXPECT_EQ(rows[3].kind, BackupKind::System);

    // Within one second the finer part of the time orders them; backups of the very same
    // time stay in the folder's order, each with its own file.
    std::vector<BackupFileEntry> same = {Entry("FullBackup[a].reg", 100, 10), Entry("FullBackup[a] (2).reg", 100, 20),
                                         Entry("SystemBackup[a].reg", 100, 30)};
    same[2].createdFraction = 5;
    rows = qv::MakeBackupListRows(same);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].entry.path, same[2].path);
    EXPECT_EQ(rows[1].entry.path, same[0].path);
    EXPECT_EQ(rows[2].entry.path, same[1].path);
    EXPECT_TRUE(qv::MakeBackupListRows({}).empty());
}

TEST_F(BackupListRowsTest, MenuArchivesTakeTheirPlaceInTimeAmongTheRegistryBackups) {
    // An archive between two registry backups, one of an unreadable archive (its size only)
    // the oldest, and one within the same second as the full backup, later in it.
    std::vector<BackupFileEntry> entries = {
        Entry("FullBackup[Jun-06-2025 7-05 PM].reg", kJun06_2025_1905, 5347737),
        Entry("PartialBackup[Jun-07-2025 9-30 AM].reg", kJun06_2025_1905 + 14 * 3600 + 25 * 60, 2765),
    };
    entries[0].createdFraction = 1000;
    auto archive = [](const std::string& name, int64_t created, uint64_t size, std::optional<size_t> files) {
        qv::MenuArchiveEntry a;
        a.path = "/home/me/.local/share/quorvane/menu-backups/" + name;
        a.created = created;
        a.size = size;
        a.files = files;
        return a;
    };
    std::vector<qv::MenuArchiveEntry> archives = {
        archive("menu-entries-20250607-010000.tar", kJun06_2025_1905 + 6 * 3600 - 300, 310 * 1024, 28),
        archive("menu-entries-20250601-080000.tar", kJun06_2025_1905 - 5 * 86400 - 11 * 3600 - 5 * 60, 700, std::nullopt),
        archive("menu-entries-20250606-190500.tar", kJun06_2025_1905, 1536, 1),
    };
    archives[2].createdFraction = 2000;
    const std::vector<qv::BackupListRow> rows = qv::MakeBackupListRows(entries, archives);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0].text, "Jun 07 2025 9:30 AM \u2014 fix backup, 2.7 KB");
    EXPECT_EQ(rows[1].text, "Jun 07 2025 1:00 AM \u2014 Wine menu files, 28 files, 310 KB");
    EXPECT_EQ(rows[2].text, "Jun 06 2025 7:05 PM \u2014 Wine menu files, 1 file, 1.5 KB");
    EXPECT_EQ(rows[3].text, "Jun 06 2025 7:05 PM \u2014 full backup, 5.1 MB");
    EXPECT_EQ(rows[4].text, "Jun 01 2025 8:00 AM \u2014 Wine menu files, 700 bytes");
    // An archive's row knows it is one, and its archive; a registry backup's row its file.
    EXPECT_TRUE(rows[1].IsMenuArchive());
    EXPECT_EQ(rows[1].kind, BackupKind::MenuFiles);
    EXPECT_EQ(rows[1].menuArchive, archives[0].path);
    EXPECT_EQ(rows[1].File(), archives[0].path.string());
    EXPECT_EQ(rows[1].when, "Jun 07 2025 1:00 AM");
    EXPECT_EQ(rows[1].entry.path, "");
    EXPECT_FALSE(rows[3].IsMenuArchive());
    EXPECT_EQ(rows[3].File(), entries[0].path);
    EXPECT_TRUE(rows[3].menuArchive.empty());
    EXPECT_EQ(rows[4].menuArchive, archives[1].path);

    // Archives alone make rows too.
    EXPECT_EQ(qv::MakeBackupListRows({}, {archives[1]}).size(), 1u);
}

}  // namespace
