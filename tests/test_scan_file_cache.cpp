// What a scan remembers of the disk (file_lookup_cache.h, file_verified_memo.h) and the
// status texts it no longer makes for every entry: the answers with the cache are the
// answers without it, names are matched without regard to case in any script, what cannot
// be read is never called missing, and every scan looks at the disk afresh.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/prefix/case_insensitive_name.h"
#include "platform/prefix/drive_map.h"
#include "platform/prefix/file_lookup_cache.h"
#include "platform/win32/file_system_view.h"
#include "platform/win32/path_presence.h"
#include "recording_sinks.h"
#include "scan/scan_engine.h"
#include "scan/status_mailbox.h"
#include "small_prefix.h"
#include "vendor/core/file_verified_memo.h"
#include "vendor/core/registry_object.h"
#include "vendor/core/system32.h"

namespace fs = std::filesystem;

namespace {

const std::string kSharedDlls = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";

class ScanFileCacheTest : public qvtest::SmallPrefixTest {
protected:
    void SetUp() override {
        SmallPrefixTest::SetUp();
        MakeFile("App/here.dll");
        MakeFile("App/Ärger.DLL");
        MakeFile("App/ΣΟΦΙΑ.exe");
        MakeFile("App/Program Files Long Name.txt");
        MakeFile("App/Case/a.dll", "lower");
        MakeFile("App/Case/A.dll", "upper");
        MakeFolder("App/Folder");
        fs::create_symlink("here.dll", DriveC() / "App/link.dll");
        fs::create_symlink("nowhere.dll", DriveC() / "App/dangling.dll");
        fs::create_symlink("Loop", DriveC() / "Loop");  // a link to itself: cannot be entered
        fs::create_symlink("../gone-drive", root_ / "dosdevices/d:");
    }

    struct Answer {
        DWORD attributes;
        DWORD error;
        int verified;
        bool operator==(const Answer&) const = default;
    };
    // Every way a scan asks whether a path exists, asked of the disk and then with a scan's
    // cache and memo: the answers must not differ.
    static void ExpectListingsAnswerAsTheDisk(const std::vector<std::string>& paths) {
        struct Seen {
            bool exists;
            DWORD attributes;
            DWORD error;
            bool folder;
            int verified;
            bool operator==(const Seen&) const = default;
        };
        auto look = [](const std::string& path) {
            SetLastError(0);
            DWORD attributes = GetFileAttributesA(path.c_str());
            DWORD error = attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : 0;
            DWORD presence = qv::PresenceAttributes(path.c_str());
            // Where the attributes are known, the folder bit agrees with them.
            EXPECT_EQ(presence == INVALID_FILE_ATTRIBUTES, attributes == INVALID_FILE_ATTRIBUTES) << path;
            if (presence == INVALID_FILE_ATTRIBUTES) {
                EXPECT_EQ(GetLastError(), error) << path;
            }
            const bool folder = presence != INVALID_FILE_ATTRIBUTES && (presence & FILE_ATTRIBUTE_DIRECTORY);
            if (attributes != INVALID_FILE_ATTRIBUTES) {
                EXPECT_EQ(folder, (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) << path;
            }
            return Seen{FileExists(path), attributes, error, folder, CRegistryObject::FileVerified(path)};
        };
        std::vector<Seen> without;
        for (const std::string& path : paths) without.push_back(look(path));
        qv::ScopedFileLookupCache files;
        CFileVerifiedMemo verdicts;
        for (size_t i = 0; i < paths.size(); ++i) EXPECT_EQ(look(paths[i]), without[i]) << paths[i];
    }

    static Answer Ask(const std::string& path) {
        SetLastError(0);
        DWORD attributes = GetFileAttributesA(path.c_str());
        DWORD error = attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : 0;
        return {attributes, error, CRegistryObject::FileVerified(path)};
    }
};

TEST_F(ScanFileCacheTest, AnswersWithTheCacheAreTheAnswersWithout) {
    const std::vector<std::string> paths = {
        "C:\\App\\here.dll",        "c:\\APP\\HERE.DLL",          "C:\\App\\gone.dll",
        "C:\\App\\ärger.dll",       "C:\\APP\\äRGER.dll",         "C:\\App\\σοφια.EXE",
        "C:\\App\\PROG~1.TXT",      "C:\\App\\here",              "C:\\App\\Folder",
        "C:\\App\\Folder\\",        "C:\\App\\link.dll",          "C:\\App\\dangling.dll",
        "C:\\App\\Case\\A.dll",     "C:\\App\\Case\\a.dll",       "C:\\App\\Case\\a.DLL",
        "C:\\Gone\\x.dll",          "C:\\App\\here.dll\\x.dll",   "C:\\Loop\\x.dll",
        "D:\\x.dll",                "C:\\App\\Gone\\Deeper\\x.dll"};
    // The short name of the long file, as Wine makes it up.
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA("C:\\App\\Program Files Long Name.txt", &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    FindClose(h);
    std::vector<std::string> all = paths;
    all.push_back(std::string("C:\\App\\") + data.cAlternateFileName);

    std::vector<Answer> without;
    for (const std::string& path : all) without.push_back(Ask(path));
    for (int round = 0; round < 2; ++round) {  // the second round answers from memory
        qv::ScopedFileLookupCache files;
        CFileVerifiedMemo verdicts;
        for (size_t i = 0; i < all.size(); ++i) {
            for (int again = 0; again < 2; ++again)
                EXPECT_EQ(Ask(all[i]), without[i]) << all[i] << (again ? " (asked again)" : "");
        }
    }
    // The exact spelling wins among names that differ only in case; others take one of them.
    qv::ScopedFileLookupCache files;
    const fs::path folder = DriveC() / "App/Case";
    EXPECT_EQ(qv::FindNameIgnoringCase(folder, "a.dll"), "a.dll");
    EXPECT_EQ(qv::FindNameIgnoringCase(folder, "A.dll"), "A.dll");
    EXPECT_EQ(qv::FindNameIgnoringCase(folder, "a.DLL"), "A.dll");
    EXPECT_EQ(qv::FindNameIgnoringCase(DriveC() / "App", "ÄRGER.dll"), "Ärger.DLL");
    EXPECT_EQ(qv::FindNameIgnoringCase(DriveC() / "App", "ARGER.DLL"), std::nullopt);  // Ä is not A
}

TEST_F(ScanFileCacheTest, WhatCannotBeReadIsNeverCalledMissing) {
    for (bool cached : {false, true}) {
        std::optional<qv::ScopedFileLookupCache> files;
        if (cached) files.emplace();
        SCOPED_TRACE(cached ? "with the cache" : "without the cache");
        // Below a link that loops, nothing can be looked at: unknown, so present.
        EXPECT_EQ(GetFileAttributesA("C:\\Loop\\x.dll"), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_TRUE(CRegistryObject::FileVerified("C:\\Loop\\x.dll"));
        EXPECT_TRUE(CRegistryObject::FileVerified("C:\\Loop\\Deeper\\x.dll"));
        // A drive whose folder is gone is not mapped: unknown as well.
        EXPECT_TRUE(CRegistryObject::FileVerified("D:\\x.dll"));
        // A folder that is surely missing makes its files missing.
        EXPECT_FALSE(CRegistryObject::FileVerified("C:\\Gone\\x.dll"));
        EXPECT_EQ(GetFileAttributesA("C:\\Gone\\x.dll"), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
        EXPECT_EQ(GetFileAttributesA("C:\\App\\gone.dll"), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    }
}

TEST_F(ScanFileCacheTest, EveryScanSeesTheDiskAfresh) {
    ASSERT_TRUE(CSystem32::SetRegistryValue(kSharedDlls, "C:\\App\\late.dll", 1, HKEY_LOCAL_MACHINE));
    ASSERT_TRUE(CSystem32::SetRegistryValue(kSharedDlls, "C:\\App\\here.dll", 1, HKEY_LOCAL_MACHINE));
    qvtest::RecordedRows rows;
    qvtest::RecordedStatuses status;
    CScanEngine engine(rows, status);
    engine.PrepareStart();
    engine.RunScan();
    EXPECT_EQ(engine.m_stores.m_aMissingSharedDlls, std::vector<std::string>{"C:\\App\\late.dll"});

    // Created in a folder the first scan listed, and the other one deleted.
    MakeFile("App/LATE.DLL");
    fs::remove(DriveC() / "App/here.dll");
    engine.PrepareStart();
    engine.RunScan();
    EXPECT_EQ(engine.m_stores.m_aMissingSharedDlls, std::vector<std::string>{"C:\\App\\here.dll"});
    // Nothing is remembered once the scan has ended.
    EXPECT_EQ(qv::CurrentFileLookupCache(), nullptr);
    EXPECT_EQ(CFileVerifiedMemo::Current(), nullptr);
}

TEST_F(ScanFileCacheTest, TheCacheBelongsToTheThreadThatMadeIt) {
    qv::ScopedFileLookupCache files;
    EXPECT_EQ(GetFileAttributesA("C:\\App\\new.dll"), INVALID_FILE_ATTRIBUTES);  // remembered here
    MakeFile("App/new.dll");
    DWORD seenElsewhere = INVALID_FILE_ATTRIBUTES;
    std::thread other([&] { seenElsewhere = GetFileAttributesA("C:\\App\\new.dll"); });
    other.join();
    EXPECT_NE(seenElsewhere, INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA("C:\\App\\new.dll"), INVALID_FILE_ATTRIBUTES);  // as this scan first saw it
}

TEST(NameHashIgnoringCase, NamesThatCompareEqualHashAlike) {
    const std::pair<const char*, const char*> equal[] = {
        {"Program Files", "PROGRAM FILES"}, {"Ärger.dll", "äRGER.DLL"}, {"ΣΟΦΙΑ", "σοφια"},
        {"\xE2\x84\xAA", "k"},  // the Kelvin sign folds to a plain k
        {"bad\xFF", "BAD\xFF"}};
    for (const auto& [a, b] : equal) {
        if (!qv::NamesEqualIgnoringCase(a, b)) continue;  // a locale without the mapping
        EXPECT_EQ(qv::HashNameIgnoringCase(a), qv::HashNameIgnoringCase(b)) << a << " / " << b;
    }
    EXPECT_TRUE(qv::NamesEqualIgnoringCase("Ärger.dll", "äRGER.DLL"));
    EXPECT_FALSE(qv::NamesEqualIgnoringCase("Ärger.dll", "Arger.dll"));
    EXPECT_FALSE(qv::NamesEqualIgnoringCase("bad\xFF", "bad\xC3\xBF"));  // a raw byte is not ÿ
    EXPECT_FALSE(qv::NamesEqualIgnoringCase("ab", "abc"));
}

TEST(EntryStatus, TextsAreMadeOnlyWhenTheStatusLineWouldShowThem) {
    CStatusMailbox box;
    EXPECT_TRUE(box.Wanted());
    EXPECT_TRUE(box.Put("a"));
    EXPECT_FALSE(box.Wanted());  // a delivery is on its way
    box.Take();
    EXPECT_FALSE(box.Wanted());  // too soon after the last one
    std::this_thread::sleep_for(CStatusMailbox::kInterval + std::chrono::milliseconds(5));
    EXPECT_TRUE(box.Wanted());
}

}  // namespace

// A sink that wants no entry texts still gets the scan's closing text, and the entries all
// count for the progress meter.
TEST_F(ScanFileCacheTest, AQuietStatusLineStillSeesTheEndAndTheWorkIsCounted) {
    struct Quiet : IStatusSink {
        std::vector<std::string> texts;
        void PostStatus(const std::string& text) override { texts.push_back(text); }
        bool StatusWanted() override { return false; }
    } quiet;
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(CSystem32::SetRegistryValue(kSharedDlls, "C:\\App\\x" + std::to_string(i) + ".dll", 1,
                                                HKEY_LOCAL_MACHINE));
    qvtest::RecordedRows rows;
    CScanEngine engine(rows, quiet);
    engine.PrepareStart();
    EXPECT_EQ(engine.Work().Percent(), 0);
    EXPECT_EQ(engine.ScanSharedDlls(), 1);
    EXPECT_TRUE(quiet.texts.empty());
    EXPECT_GT(engine.Work().Percent(), 0);  // the entries were counted all the same
    engine.RunScan();
    ASSERT_FALSE(quiet.texts.empty());
    EXPECT_EQ(quiet.texts.back(), "Scan completed!");
    EXPECT_EQ(engine.m_stores.m_aMissingSharedDlls.size(), 50u);
}

// The scan's shortcuts answer existence from folder listings: FileExists without a search
// handle, and FileVerified's attribute query from the type the listing gave. Links (whatever
// they point to), folders named like files and names found by their short form must come
// out as a search and a full status read would have them.
TEST_F(ScanFileCacheTest, ExistenceFromListingsMatchesSearchesAndStatus) {
    MakeFolder("App/sub.dll");
    fs::create_symlink("Folder", DriveC() / "App/folderlink.dll");
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA("C:\\App\\Program Files Long Name.txt", &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    FindClose(h);
    const std::vector<std::string> paths = {
        "C:\\App\\here.dll",     "C:\\APP\\HERE.DLL",        "C:\\App\\gone.dll",
        "C:\\App\\sub.dll",      "C:\\App\\SUB.DLL\\",       "C:\\App\\folderlink.dll",
        "C:\\App\\link.dll",     "C:\\App\\dangling.dll",    "C:\\App\\Folder",
        "C:\\App\\here.dll.. ",  "C:\\App\\.",               "C:\\App\\",
        "C:\\App\\*.dll",        "C:\\Gone\\x.dll",          "C:\\Loop\\x.dll",
        "C:\\App\\ärger.dll",    "C:\\App\\Case\\a.DLL",     "D:\\x.dll",
        "C:\\App\\here.dll\\x",  "C:\\App\\..",              "C:\\App\\sub.dll,1",
        "C:\\App\\here.dll,1",   "C:\\App\\folderlink.dll,1", std::string("C:\\App\\") + data.cAlternateFileName};
    ExpectListingsAnswerAsTheDisk(paths);

    // What the cases stand for, so that both answers cannot be wrong alike.
    EXPECT_TRUE(FileExists("C:\\App\\sub.dll"));  // a search finds folders too
    // A library with a resource number is a file, never a folder (a linked one neither).
    EXPECT_FALSE(CRegistryObject::FileVerified("C:\\App\\sub.dll,1"));
    EXPECT_FALSE(CRegistryObject::FileVerified("C:\\App\\folderlink.dll,1"));
    EXPECT_TRUE(CRegistryObject::FileVerified("C:\\App\\here.dll,1"));
    // "." and ".." are in every folder, though no listing holds them.
    EXPECT_TRUE(FileExists("C:\\App\\."));
    EXPECT_TRUE(FileExists("C:\\App\\.."));
    EXPECT_TRUE(FileExists("C:\\App\\folderlink.dll"));
    EXPECT_NE(qv::PresenceAttributes("C:\\App\\folderlink.dll") & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_TRUE(FileExists("C:\\App\\dangling.dll"));
    EXPECT_FALSE(FileExists("C:\\App\\gone.dll"));
    EXPECT_TRUE(FileExists("C:\\App\\here.dll.. "));  // blanks and dots at the end are ignored
}

// The same in a 64-bit prefix, as a 32-bit and as a 64-bit program sees it: system32 is
// redirected for the first except its shared folders, so a name must be looked for in the
// folder the whole path leads to; odd spellings ("\\?\", "..", a drive without a
// separator) must resolve as the file functions resolve them.
TEST_F(ScanFileCacheTest, ListingsAnswerAsTheDiskInEveryViewAndSpelling) {
    qvtest::WriteFile(root_ / "system.reg", "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n");
    qv::SetActivePrefix(std::make_shared<qv::Prefix>(root_));
    ASSERT_TRUE(qv::ActivePrefixIs64Bit());
    MakeFile("windows/system32/only64.dll");
    MakeFile("windows/syswow64/only32.dll");
    MakeFile("windows/system32/drivers/etc/hosts");
    MakeFile("windows/system32/spool/drivers/x.dll");
    MakeFile("windows/syswow64/regedit.exe");
    MakeFolder("windows/syswow64/drivers");
    qv::StoreCurrentWindowsDirectory("C:\\App");
    const std::vector<std::string> paths = {
        "C:\\windows\\system32\\only64.dll",     "C:\\windows\\system32\\only32.dll",
        "C:\\windows\\sysnative\\only64.dll",    "C:\\windows\\sysnative\\only32.dll",
        "C:\\windows\\system32\\drivers\\etc\\hosts", "C:\\windows\\system32\\drivers\\etc",
        "C:\\windows\\system32\\drivers",        "C:\\windows\\system32\\spool\\drivers\\x.dll",
        "C:\\windows\\system32\\spool",          "C:\\windows\\regedit.exe",
        "C:\\windows\\system32\\gone\\x.dll",   "\\\\?\\C:\\App\\here.dll",
        "\\\\?\\C:\\App\\here.dll.",          "C:\\App\\Gone\\..\\here.dll",
        "C:\\App\\here.dll\\..\\gone.dll",      "C:\\Loop\\Deeper\\x.dll",
        "C:here.dll",                          "C:gone.dll",
        "here.dll",                            "Case\\a.DLL",
        "C:/App//here.dll",                    "c:\\app\\CASE\\"};
    for (qv::FileSystemView view : {qv::FileSystemView::Bits64, qv::FileSystemView::Bits32}) {
        SCOPED_TRACE(view == qv::FileSystemView::Bits32 ? "32-bit view" : "64-bit view");
        qv::ScopedFileSystemView scope(view);
        ExpectListingsAnswerAsTheDisk(paths);
    }
    // What some of the cases stand for.
    qv::ScopedFileSystemView scope(qv::FileSystemView::Bits32);
    qv::ScopedFileLookupCache files;
    EXPECT_TRUE(FileExists("C:\\windows\\system32\\only32.dll"));
    EXPECT_FALSE(FileExists("C:\\windows\\system32\\only64.dll"));
    EXPECT_TRUE(FileExists("C:\\windows\\system32\\drivers\\etc\\hosts"));
    EXPECT_TRUE(FileExists("C:gone.dll") == false && FileExists("C:here.dll"));
}
