// Clearing cached internet files and cookies on a small prefix whose folders lead out of it
// in every way a profile can: shell folders naming Z:\ or a linked Documents folder, links
// in place of the folders or of a folder above them, links and loops inside, and folders
// swapped between the scan and the repair. Decoy files outside the prefix must survive
// every repair unchanged; the files the scan counted inside must go, and only those.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <map>

#include "app/derived_paths.h"
#include "cache_scan.h"
#include "message_box_recorder.h"
#include "platform/prefix/confined_folder.h"
#include "results/scan_repair.h"
#include "small_prefix.h"
#include "vendor/core/system32.h"

using namespace qvtest;
namespace fs = std::filesystem;

namespace {

const char kUserShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kLegacyCache[] = "Local Settings/Temporary Internet Files/Content.IE5";
const char kINetCache[] = "AppData/Local/Microsoft/Windows/INetCache";
const char kINetCookies[] = "AppData/Local/Microsoft/Windows/INetCookies";

std::string ZDrive(const fs::path& unix) {
    std::string text = "Z:" + unix.string();
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

bool AnyContains(const std::vector<std::string>& texts, const std::string& part) {
    return std::any_of(texts.begin(), texts.end(), [&](const std::string& t) { return t.find(part) != std::string::npos; });
}

std::string Joined(const std::vector<std::string>& texts) {
    std::string all;
    for (const std::string& t : texts) all += t + "\n";
    return all;
}

class CacheCleanupTest : public SmallPrefixTest {
protected:
    void SetUp() override {
        SmallPrefixTest::SetUp();
        RefreshDerivedPaths();
        fs::create_directories(temp_.path() / "outside");
        outside_ = fs::canonical(temp_.path() / "outside");
    }

    fs::path Profile() const { return DriveC() / "users/tester"; }

    // A decoy tree outside the prefix shaped like a cookie folder and a cache base at once:
    // cookie files, other files, cache subfolders with files and a deeper folder.
    fs::path Decoys(const std::string& relative) {
        fs::path folder = outside_ / relative;
        for (const char* name : {"tester@site[1].txt", "notes.txt", "letter.odt", "index.dat", "AB12/page.htm",
                                 "AB12/style.css", "CD34/banner.gif", "CD34/deep/inner.htm", "Content.IE5/AB12/x.htm",
                                 "IE/EF56/y.htm", "Temporary Internet Files/Content.IE5/AB12/z.htm"})
            Decoy(folder / name);
        return folder;
    }
    void Decoy(const fs::path& file) {
        fs::create_directories(file.parent_path());
        WriteFile(file, "decoy " + file.string());
        decoys_[file] = "decoy " + file.string();
    }
    void ExpectDecoysIntact() {
        ASSERT_FALSE(decoys_.empty());
        for (const auto& [file, content] : decoys_) {
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(file))) << file;
            EXPECT_EQ(ReadFile(file), content) << file;
        }
    }

    // Files inside the prefix that a scan is expected to count.
    fs::path Counted(const std::string& relative) { return MakeFile("users/tester/" + relative, "cached"); }

    void SetShellFolder(const std::string& key, const std::string& name, const std::string& value) {
        ASSERT_TRUE(CSystem32::SetRegistryValue(key, name, value, HKEY_CURRENT_USER));
    }

    // A fix of no registry rows, answered yes: it clears what `scan` counted.
    void Fix(const CacheScan& scan) {
        MessageBoxRecorder boxes{IDYES};
        CBackupStore store;
        CScanRepair repair(store);
        ASSERT_EQ(repair.FixSelected({}, scan.stores), RepairOutcome::Repaired);
        deletedCache_ = repair.DeletedTempInternetFiles();
        deletedCookies_ = repair.DeletedCookies();
        notes_ = repair.Notes();
    }

    // Every count is what was deleted: nothing counted stayed, nothing else went.
    void ExpectCountsDeleted(const CacheScan& scan, size_t cache, size_t cookies) {
        EXPECT_EQ(scan.stores.m_aTempInternetFiles.size(), cache);
        EXPECT_EQ(scan.stores.m_aCookieFiles.size(), cookies);
        EXPECT_EQ(scan.stores.m_aTempInternetFileRecords.size(), cache);
        EXPECT_EQ(scan.stores.m_aCookieFileRecords.size(), cookies);
        EXPECT_EQ(deletedCache_, cache);
        EXPECT_EQ(deletedCookies_, cookies);
    }

    fs::path outside_;
    std::map<fs::path, std::string> decoys_;
    size_t deletedCache_ = 0;
    size_t deletedCookies_ = 0;
    std::vector<std::string> notes_;
};

// ---- shell folders that name folders outside the prefix --------------------------------

enum class OutsideBy { kZDrive, kLinkedDocuments };

class ShellFolderOutsideTest : public CacheCleanupTest,
                               public ::testing::WithParamInterface<std::tuple<const char*, OutsideBy>> {};

TEST_P(ShellFolderOutsideTest, NothingThereIsCountedOrDeleted) {
    const auto [key, by] = GetParam();
    std::string cookies, cache;
    if (by == OutsideBy::kZDrive) {
        cookies = ZDrive(Decoys("z/Cookies"));
        cache = ZDrive(Decoys("z/Cache"));
    } else {
        // Wine links Documents to the user's home; folders below it are the user's files.
        fs::path documents = Decoys("home/Documents");
        Decoys("home/Documents/Cookies");
        Decoys("home/Documents/Cache");
        fs::create_directory_symlink(documents, Profile() / "Documents");
        cookies = "C:\\users\\tester\\Documents\\Cookies";
        cache = "C:\\users\\tester\\Documents\\Cache";
    }
    SetShellFolder(key, "Cookies", cookies);
    SetShellFolder(key, "Cache", cache);

    CacheScan scan = ScanCaches();
    EXPECT_EQ(scan.cacheFound, 0);
    EXPECT_EQ(scan.cookiesFound, 0);
    EXPECT_TRUE(AnyContains(scan.stores.m_aCookieFolderNotes, "Skipped " + cookies + ": it leads outside the prefix (to "))
        << Joined(scan.stores.m_aCookieFolderNotes);
    EXPECT_TRUE(AnyContains(scan.stores.m_aTempInternetFolderNotes, "Skipped " + cache + "\\Content.IE5: it leads outside"))
        << Joined(scan.stores.m_aTempInternetFolderNotes);
    EXPECT_TRUE(AnyContains(scan.statuses, "it leads outside the prefix"));
    Fix(scan);
    ExpectCountsDeleted(scan, 0, 0);
    EXPECT_TRUE(AnyContains(notes_, "Skipped " + cookies + ": it leads outside the prefix"));
    ExpectDecoysIntact();
}

INSTANTIATE_TEST_SUITE_P(Keys, ShellFolderOutsideTest,
                         ::testing::Combine(::testing::Values(kUserShellFolders, kShellFolders),
                                            ::testing::Values(OutsideBy::kZDrive, OutsideBy::kLinkedDocuments)));

// ---- the folders themselves, or a folder above them, linked out -------------------------

enum class LinkedOut {
    kCookiesAndContentIE5,      // profile\Cookies and ...\Content.IE5 are links out
    kLocalSettings,             // "Local Settings" is a link out
    kTemporaryInternetFiles,    // the folder between is a link out
    kShellFolderTargets,        // INetCookies and INetCache\Content.IE5 are links out
};

class LinkedOutTest : public CacheCleanupTest, public ::testing::WithParamInterface<LinkedOut> {};

TEST_P(LinkedOutTest, TheLinkIsSkippedAndOnlyTheFilesInsideGo) {
    std::vector<fs::path> inside;
    std::string skipped;
    switch (GetParam()) {
        case LinkedOut::kCookiesAndContentIE5:
            fs::create_directories(Profile() / kLegacyCache);
            fs::remove(Profile() / kLegacyCache);
            fs::create_directory_symlink(Decoys("cache"), Profile() / kLegacyCache);
            fs::create_directory_symlink(Decoys("cookies"), Profile() / "Cookies");
            skipped = "C:\\users\\tester\\Cookies";
            break;
        case LinkedOut::kLocalSettings:
            fs::create_directory_symlink(Decoys("local"), Profile() / "Local Settings");
            skipped = "C:\\users\\tester\\Local Settings\\Temporary Internet Files\\Content.IE5";
            break;
        case LinkedOut::kTemporaryInternetFiles:
            fs::create_directories(Profile() / "Local Settings");
            fs::create_directory_symlink(Decoys("tif"), Profile() / "Local Settings/Temporary Internet Files");
            skipped = "C:\\users\\tester\\Local Settings\\Temporary Internet Files\\Content.IE5";
            break;
        case LinkedOut::kShellFolderTargets:
            fs::create_directories(Profile() / kINetCache);
            fs::create_directory_symlink(Decoys("inetcookies"), Profile() / kINetCookies);
            fs::create_directory_symlink(Decoys("inetcache"), Profile() / kINetCache / "Content.IE5");
            skipped = "C:\\users\\tester\\AppData\\Local\\Microsoft\\Windows\\INetCookies";
            break;
    }
    // The folders the profile's shell folders name, inside the prefix, take over where they
    // are not links themselves.
    if (GetParam() != LinkedOut::kShellFolderTargets) {
        inside.push_back(Counted(std::string(kINetCookies) + "/tester@inside[1].txt"));
        inside.push_back(Counted(std::string(kINetCache) + "/Content.IE5/Q7XK2M4P/inside.htm"));
    }
    inside.push_back(Counted(std::string(kINetCache) + "/IE/H5RW2E9K/inside.js"));

    CacheScan scan = ScanCaches();
    const std::vector<std::string> notes = [&] {
        std::vector<std::string> all = scan.stores.m_aTempInternetFolderNotes;
        all.insert(all.end(), scan.stores.m_aCookieFolderNotes.begin(), scan.stores.m_aCookieFolderNotes.end());
        return all;
    }();
    EXPECT_TRUE(AnyContains(notes, "Skipped " + skipped + ": it leads outside the prefix (to " + outside_.string()))
        << Joined(notes);
    Fix(scan);
    const size_t cookies = GetParam() == LinkedOut::kShellFolderTargets ? 0 : 1;
    ExpectCountsDeleted(scan, inside.size() - cookies, cookies);
    for (const fs::path& file : inside) EXPECT_FALSE(fs::exists(file)) << file;
    ExpectDecoysIntact();
}

INSTANTIATE_TEST_SUITE_P(Links, LinkedOutTest,
                         ::testing::Values(LinkedOut::kCookiesAndContentIE5, LinkedOut::kLocalSettings,
                                           LinkedOut::kTemporaryInternetFiles, LinkedOut::kShellFolderTargets));

// ---- links and loops inside -------------------------------------------------------------

TEST_F(CacheCleanupTest, LinksInsideAreNeitherCountedNorFollowedNorDeleted) {
    fs::path outside = Decoys("target");
    const fs::path cache = Profile() / kLegacyCache;
    const fs::path cookies = Profile() / "Cookies";
    std::vector<fs::path> counted = {Counted(std::string(kLegacyCache) + "/AB12/page.htm"),
                                     Counted(std::string(kLegacyCache) + "/AB12/style.css"),
                                     Counted(std::string(kLegacyCache) + "/CD34/a.htm"),
                                     Counted("Cookies/a.txt"), Counted("Cookies/B.TXT")};
    std::vector<fs::path> staying = {Counted(std::string(kLegacyCache) + "/index.dat"),
                                     Counted(std::string(kLegacyCache) + "/CD34/deeper/inner.htm"),
                                     Counted("Cookies/index.dat"), Counted("Cookies/sub.txt/inner.txt")};
    std::vector<fs::path> links = {cache / "AB12/file link.htm", cache / "AB12/folder link", cache / "AB12/self",
                                   cache / "LINKSUB", cache / "LOOP", cookies / "evil.txt", cookies / "folder.txt",
                                   cookies / "dangling.txt"};
    fs::create_symlink(outside / "notes.txt", links[0]);
    fs::create_directory_symlink(outside / "AB12", links[1]);
    fs::create_directory_symlink(cache / "AB12", links[2]);
    fs::create_directory_symlink(outside, links[3]);
    fs::create_directory_symlink(cache, links[4]);
    fs::create_symlink(outside / "tester@site[1].txt", links[5]);
    fs::create_directory_symlink(outside, links[6]);
    fs::create_symlink(outside / "gone.txt", links[7]);

    CacheScan scan = ScanCaches();
    std::vector<std::string> names = scan.stores.m_aTempInternetFiles;
    EXPECT_EQ(names, (std::vector<std::string>{"page.htm", "style.css", "a.htm"}));
    EXPECT_EQ(scan.stores.m_aCookieFiles, (std::vector<std::string>{"B.TXT", "a.txt"}));
    EXPECT_TRUE(scan.stores.m_aTempInternetFolderNotes.empty()) << Joined(scan.stores.m_aTempInternetFolderNotes);
    Fix(scan);
    ExpectCountsDeleted(scan, 3, 2);
    EXPECT_TRUE(notes_.empty()) << Joined(notes_);
    for (const fs::path& file : counted) EXPECT_FALSE(fs::exists(file)) << file;
    for (const fs::path& file : staying) EXPECT_TRUE(fs::exists(file)) << file;
    for (const fs::path& link : links) EXPECT_TRUE(fs::is_symlink(link)) << link;
    ExpectDecoysIntact();
}

TEST_F(CacheCleanupTest, LinkLoopsAreSkippedWithANote) {
    fs::create_directories(Profile() / "Local Settings/Temporary Internet Files");
    fs::create_directory_symlink("Content.IE5", Profile() / kLegacyCache);  // a link to itself
    fs::create_directory_symlink("Cookies2", Profile() / "Cookies");
    fs::create_directory_symlink("Cookies", Profile() / "Cookies2");
    fs::path cookie = Counted(std::string(kINetCookies) + "/tester@inside[1].txt");
    fs::path cached = Counted(std::string(kINetCache) + "/IE/AB12/inside.htm");

    CacheScan scan = ScanCaches();
    EXPECT_TRUE(AnyContains(scan.stores.m_aCookieFolderNotes, "Skipped C:\\users\\tester\\Cookies: its links cannot be resolved"))
        << Joined(scan.stores.m_aCookieFolderNotes);
    EXPECT_TRUE(AnyContains(scan.stores.m_aTempInternetFolderNotes, "Content.IE5: its links cannot be resolved"))
        << Joined(scan.stores.m_aTempInternetFolderNotes);
    Fix(scan);
    ExpectCountsDeleted(scan, 1, 1);
    EXPECT_FALSE(fs::exists(cookie));
    EXPECT_FALSE(fs::exists(cached));
}

// ---- exactly what was counted ------------------------------------------------------------

TEST_F(CacheCleanupTest, TheRepairDeletesExactlyWhatTheScanCounted) {
    const fs::path cache = Profile() / kLegacyCache;
    for (auto [name, count] : {std::pair{"A1", 10}, {"B2", 0}, {"C3", 5}}) {
        fs::create_directories(cache / name);
        for (int i = 0; i < count; ++i) Counted(std::string(kLegacyCache) + "/" + name + "/f" + std::to_string(i));
    }
    fs::path loose = Counted(std::string(kLegacyCache) + "/index.dat");
    for (const char* f : {"a.txt", "b.txt", "index.dat"}) Counted(std::string("Cookies/") + f);
    // The shell folders' cache is not the one scanned while the profile's own is there.
    fs::path other = Counted(std::string(kINetCache) + "/Content.IE5/Q7XK2M4P/news.htm");

    CacheScan scan = ScanCaches();
    EXPECT_EQ(TotalItemCount(0, scan.stores), 17);
    // Files that come after the scan stay.
    fs::path later = Counted(std::string(kLegacyCache) + "/A1/later.htm");
    fs::path laterCookie = Counted("Cookies/later.txt");
    Fix(scan);
    ExpectCountsDeleted(scan, 15, 2);
    EXPECT_TRUE(notes_.empty()) << Joined(notes_);
    EXPECT_TRUE(fs::exists(later));
    EXPECT_TRUE(fs::exists(laterCookie));
    EXPECT_TRUE(fs::exists(Profile() / "Cookies/index.dat"));  // not a .txt file: not a cookie
    EXPECT_TRUE(fs::exists(loose));
    EXPECT_TRUE(fs::exists(other));
    EXPECT_FALSE(fs::exists(cache / "C3"));  // emptied, so removed
    EXPECT_TRUE(fs::exists(cache / "B2"));   // held nothing counted
    EXPECT_EQ(std::distance(fs::directory_iterator(cache / "A1"), fs::directory_iterator()), 1);
}

TEST_F(CacheCleanupTest, FoldersSwappedAfterTheScanLeadNowhere) {
    const fs::path cache = Profile() / kLegacyCache;
    Counted(std::string(kLegacyCache) + "/AB12/page.htm");
    Counted(std::string(kLegacyCache) + "/CD34/banner.gif");
    Counted(std::string(kLegacyCache) + "/EF56/replaced.htm");
    Counted("Cookies/tester@site[1].txt");
    CacheScan scan = ScanCaches();
    ASSERT_EQ(scan.stores.m_aTempInternetFiles.size(), 3u);
    ASSERT_EQ(scan.stores.m_aCookieFiles.size(), 1u);

    // A subfolder and the cookie folder become links to folders outside holding files of
    // the same names; a counted file becomes a link to an outside file; another is replaced.
    fs::path decoys = Decoys("swapped");
    Decoy(decoys / "Cookies/tester@site[1].txt");
    Decoy(decoys / "CD34/banner.gif");
    fs::remove_all(cache / "AB12");
    fs::create_directory_symlink(decoys / "AB12", cache / "AB12");
    fs::rename(Profile() / "Cookies", Profile() / "Cookies.old");
    fs::create_directory_symlink(decoys / "Cookies", Profile() / "Cookies");
    fs::remove(cache / "CD34/banner.gif");
    fs::create_symlink(decoys / "CD34/banner.gif", cache / "CD34/banner.gif");
    WriteFile(cache / "EF56/new.tmp", "a new file under the old name");
    fs::rename(cache / "EF56/new.tmp", cache / "EF56/replaced.htm");

    Fix(scan);
    EXPECT_EQ(deletedCache_, 0u);
    EXPECT_EQ(deletedCookies_, 0u);
    EXPECT_TRUE(AnyContains(notes_, "AB12: it is no longer the folder inside the prefix that the scan listed"))
        << Joined(notes_);
    EXPECT_TRUE(AnyContains(notes_, "Cookies: it is no longer the folder")) << Joined(notes_);
    EXPECT_TRUE(fs::is_symlink(cache / "CD34/banner.gif"));
    EXPECT_EQ(ReadFile(cache / "EF56/replaced.htm"), "a new file under the old name");
    EXPECT_TRUE(fs::exists(Profile() / "Cookies.old/tester@site[1].txt"));  // moved: no longer where counted
    ExpectDecoysIntact();
}

// ---- the system's and the user's own folders --------------------------------------------

class OwnFolderTest : public CacheCleanupTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(OwnFolderTest, IsNeverACookieOrCacheFolder) {
    const std::string folder = GetParam();
    for (const char* f : {"readme.txt", "users/tester/notes.txt", "windows/system.txt", "users/tester/Documents/letter.txt",
                          "users/tester/IE/AB12/page.htm", "users/tester/Documents/IE/AB12/page.htm"})
        MakeFile(f, "own");
    SetShellFolder(kUserShellFolders, "Cookies", folder);
    SetShellFolder(kUserShellFolders, "Cache", folder);
    CacheScan scan = ScanCaches();
    EXPECT_TRUE(scan.stores.m_aCookieFiles.empty());
    EXPECT_TRUE(scan.stores.m_aTempInternetFiles.empty());
    EXPECT_TRUE(AnyContains(scan.stores.m_aCookieFolderNotes, "Skipped " + folder + ": it is "))
        << Joined(scan.stores.m_aCookieFolderNotes);
    EXPECT_TRUE(AnyContains(scan.stores.m_aTempInternetFolderNotes, "Skipped " + folder + ": it is "))
        << Joined(scan.stores.m_aTempInternetFolderNotes);
    Fix(scan);
    for (const char* f : {"readme.txt", "users/tester/notes.txt", "windows/system.txt", "users/tester/Documents/letter.txt",
                          "users/tester/IE/AB12/page.htm", "users/tester/Documents/IE/AB12/page.htm"})
        EXPECT_TRUE(fs::exists(DriveC() / f)) << f;
}

INSTANTIATE_TEST_SUITE_P(Folders, OwnFolderTest,
                         ::testing::Values("C:\\", "C:\\windows", "C:\\users\\tester", "C:\\users\\tester\\Documents"));

TEST_F(CacheCleanupTest, ACacheSubfolderThatIsAnOwnFolderIsSkipped) {
    // Documents placed inside the cache by the registry: its files are the user's.
    SetShellFolder(kUserShellFolders, "Personal", "C:\\users\\tester\\AppData\\Local\\Microsoft\\Windows\\INetCache\\IE\\Docs");
    fs::path letter = Counted(std::string(kINetCache) + "/IE/Docs/letter.odt");
    fs::path page = Counted(std::string(kINetCache) + "/IE/AB12/page.htm");
    CacheScan scan = ScanCaches();
    EXPECT_EQ(scan.stores.m_aTempInternetFiles, (std::vector<std::string>{"page.htm"}));
    EXPECT_TRUE(AnyContains(scan.stores.m_aTempInternetFolderNotes, "IE\\Docs: it is "))
        << Joined(scan.stores.m_aTempInternetFolderNotes);
    Fix(scan);
    EXPECT_TRUE(fs::exists(letter));
    EXPECT_FALSE(fs::exists(page));
}

// ---- the descriptor walk on its own -----------------------------------------------------

TEST_F(CacheCleanupTest, ConfinedFolderRefusesLinksAndStrangeNames) {
    fs::path real = MakeFolder("a/b");
    fs::create_directory_symlink(outside_, DriveC() / "a/out");
    fs::path driveC = qv::RealDriveC(*qv::ActivePrefix());
    ASSERT_FALSE(driveC.empty());
    EXPECT_TRUE(qv::ConfinedFolder::Open(driveC, {"a", "b"}).IsOpen());
    EXPECT_TRUE(qv::ConfinedFolder::Open(driveC, {}).IsOpen());
    for (const std::vector<std::string>& names : std::vector<std::vector<std::string>>{
             {"a", "out"}, {"a", ".."}, {"a", "."}, {"a", ""}, {"a/b"}, {"a", "missing"}})
        EXPECT_FALSE(qv::ConfinedFolder::Open(driveC, names).IsOpen()) << names.back();

    qv::FolderPlace out = qv::PlaceFolder(driveC, DriveC() / "a/out");
    EXPECT_EQ(out.kind, qv::FolderPlace::kOutside);
    EXPECT_EQ(out.real, fs::canonical(outside_));
    qv::FolderPlace in = qv::PlaceFolder(driveC, DriveC() / "a/out/../b");  // ".." after the link: outside's parent
    EXPECT_NE(in.kind, qv::FolderPlace::kInside);
    qv::FolderPlace b = qv::PlaceFolder(driveC, real);
    EXPECT_EQ(b.kind, qv::FolderPlace::kInside);
    EXPECT_EQ(b.components, (std::vector<std::string>{"a", "b"}));
    // A sibling whose name starts with drive_c's is not inside it.
    fs::create_directories(root_ / "drive_c2");
    EXPECT_EQ(qv::PlaceFolder(driveC, root_ / "drive_c2").kind, qv::FolderPlace::kOutside);
}

}  // namespace
