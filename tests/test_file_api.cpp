#include <gtest/gtest.h>
#include <shlwapi.h>
#include <sys/stat.h>
#include <windows.h>

#include <fcntl.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/win32/wildcard_match.h"
#include "small_prefix.h"

namespace fs = std::filesystem;

namespace {

class FileApiTest : public qvtest::SmallPrefixTest {
protected:
    struct Entry {
        std::string name;
        WIN32_FIND_DATAA data;
    };
    // Every entry a search yields, in order; the error of the first call when it fails.
    std::vector<Entry> FindAll(const std::string& pattern, DWORD* error = nullptr) {
        std::vector<Entry> entries;
        WIN32_FIND_DATAA data;
        HANDLE search = FindFirstFileA(pattern.c_str(), &data);
        if (search == INVALID_HANDLE_VALUE) {
            if (error) *error = GetLastError();
            return entries;
        }
        do entries.push_back({data.cFileName, data});
        while (FindNextFileA(search, &data));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
        EXPECT_TRUE(FindClose(search));
        return entries;
    }
    std::vector<std::string> Names(const std::string& pattern) {
        std::vector<std::string> names;
        for (const Entry& entry : FindAll(pattern)) names.push_back(entry.name);
        return names;
    }
};

using Strings = std::vector<std::string>;

TEST_F(FileApiTest, SearchesListDotEntriesFirstThenNamesInCaseInsensitiveOrder) {
    MakeFile("data/beta.txt");
    MakeFile("data/Alpha.TXT");
    MakeFile("data/gamma.log");
    MakeFolder("data/Sub");
    MakeFile("data/README");
    EXPECT_EQ(Names("C:\\data\\*"), (Strings{".", "..", "Alpha.TXT", "beta.txt", "gamma.log", "README", "Sub"}));
    EXPECT_EQ(Names("C:\\DATA\\*.*"), Names("C:\\data\\*"));
    EXPECT_EQ(Names("c:/data/*.txt"), (Strings{"Alpha.TXT", "beta.txt"}));
    EXPECT_EQ(Names("C:\\data\\?????.*"), (Strings{"Alpha.TXT", "gamma.log"}));
    EXPECT_EQ(Names("C:\\data\\readme.*"), (Strings{"README"}));
    EXPECT_EQ(Names("C:\\data\\*."), (Strings{".", "..", "README", "Sub"}));
    // A plain name finds that one entry, whatever its case.
    EXPECT_EQ(Names("C:\\data\\ALPHA.txt"), (Strings{"Alpha.TXT"}));
    EXPECT_EQ(Names("C:\\data\\sub"), (Strings{"Sub"}));
}

TEST_F(FileApiTest, SearchesReportWindowsErrors) {
    MakeFolder("data");
    DWORD error = 0;
    EXPECT_TRUE(FindAll("C:\\data\\*.none", &error).empty());
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(FindAll("C:\\missing\\*", &error).empty());
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(FindAll("C:\\data\\", &error).empty());
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(FindAll("C:\\d*\\x", &error).empty());
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_NAME));

    WIN32_FIND_DATAA data;
    EXPECT_FALSE(FindNextFileA(reinterpret_cast<HANDLE>(0x1234), &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    HANDLE search = FindFirstFileA("C:\\data\\*", &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(FindClose(search));
    EXPECT_FALSE(FindClose(search));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(FileApiTest, EntriesDeletedDuringASearchArePassedOver) {
    MakeFile("data/a.txt");
    fs::path b = MakeFile("data/b.txt");
    MakeFile("data/c.txt");
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA("C:\\data\\*.txt", &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(data.cFileName, "a.txt");
    fs::remove(b);
    ASSERT_TRUE(FindNextFileA(search, &data));
    EXPECT_STREQ(data.cFileName, "c.txt");
    EXPECT_FALSE(FindNextFileA(search, &data));
    FindClose(search);
}

TEST_F(FileApiTest, FindDataCarriesAttributesSizesAndTimes) {
    fs::path file = MakeFile("data/file.bin", std::string(5000, 'z'));
    fs::path readOnly = MakeFile("data/locked.txt");
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::path outside = temp_.path() / "outside";
    fs::create_directories(outside);
    fs::create_symlink(outside, DriveC() / "data" / "Linked");
    fs::create_symlink(temp_.path() / "nothing", DriveC() / "data" / "dangling");
    // 2020-01-01 00:00:00 UTC and half a second.
    timespec times[2] = {{1577836800, 500000000}, {1577836800, 500000000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);

    std::map<std::string, WIN32_FIND_DATAA> found;
    for (const Entry& entry : FindAll("C:\\data\\*")) found[entry.name] = entry.data;
    const WIN32_FIND_DATAA& bin = found.at("file.bin");
    EXPECT_EQ(bin.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(bin.nFileSizeLow, 5000u);
    EXPECT_EQ(bin.nFileSizeHigh, 0u);
    uint64_t written = (uint64_t{bin.ftLastWriteTime.dwHighDateTime} << 32) | bin.ftLastWriteTime.dwLowDateTime;
    EXPECT_EQ(written, 132223104005000000ULL);
    EXPECT_EQ(found.at("locked.txt").dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(found.at(".").dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(found.at("Linked").dwFileAttributes,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
    EXPECT_EQ(found.at("dangling").dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT));
    EXPECT_EQ(found.at("Linked").cAlternateFileName[0], '\0');
}

TEST_F(FileApiTest, AttributesAndExistenceTests) {
    MakeFile("data/file.txt");
    EXPECT_EQ(GetFileAttributesA("C:\\DATA\\FILE.TXT"), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesA("C:\\data\\"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(GetFileAttributesA("C:\\data\\none.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesA("C:\\none\\none.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesA(nullptr), INVALID_FILE_ATTRIBUTES);

    EXPECT_EQ(PathIsDirectoryA("c:\\Data"), static_cast<BOOL>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_FALSE(PathIsDirectoryA("C:\\data\\file.txt"));
    EXPECT_TRUE(PathFileExistsA("C:\\data\\file.txt"));
    EXPECT_FALSE(PathFileExistsA("C:\\data\\none"));
    EXPECT_FALSE(PathFileExistsA(nullptr));
}

TEST_F(FileApiTest, CreateDirectoryReportsWhatStandsInTheWay) {
    EXPECT_TRUE(CreateDirectoryA("C:\\New Folder", nullptr));
    EXPECT_TRUE(fs::is_directory(DriveC() / "New Folder"));
    EXPECT_FALSE(CreateDirectoryA("c:\\NEW FOLDER", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(CreateDirectoryA("C:\\missing\\child", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(CreateDirectoryA("C:\\bad*name", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_FALSE(fs::exists(DriveC() / "bad*name"));
}

TEST_F(FileApiTest, CurrentDirectoryFollowsWindowsRulesAndBufferSizes) {
    MakeFolder("Work/Sub");
    MakeFile("Work/file.txt");
    char buffer[MAX_PATH];
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\Work\\"));
    EXPECT_EQ(GetCurrentDirectoryA(MAX_PATH, buffer), 7u);
    EXPECT_STREQ(buffer, "C:\\Work");
    ASSERT_TRUE(SetCurrentDirectoryA("sub"));
    EXPECT_EQ(GetCurrentDirectoryA(3, buffer), 12u);  // too small: the size needed
    EXPECT_EQ(GetCurrentDirectoryA(0, nullptr), 12u);
    EXPECT_EQ(GetCurrentDirectoryA(12, buffer), 11u);
    EXPECT_STREQ(buffer, "C:\\Work\\sub");
    EXPECT_EQ(Names("..\\*.txt"), (Strings{"file.txt"}));

    EXPECT_FALSE(SetCurrentDirectoryA("C:\\Work\\file.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
    EXPECT_FALSE(SetCurrentDirectoryA("C:\\Work\\none"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    GetCurrentDirectoryA(MAX_PATH, buffer);
    EXPECT_STREQ(buffer, "C:\\Work\\sub");
}

TEST_F(FileApiTest, SystemFoldersUseWindowsBufferRules) {
    char buffer[MAX_PATH];
    EXPECT_EQ(GetSystemDirectoryA(buffer, MAX_PATH), 19u);
    EXPECT_STREQ(buffer, "C:\\windows\\system32");
    EXPECT_EQ(GetWindowsDirectoryA(buffer, MAX_PATH), 10u);
    EXPECT_STREQ(buffer, "C:\\windows");
    std::strcpy(buffer, "untouched");
    EXPECT_EQ(GetWindowsDirectoryA(buffer, 10), 11u);
    EXPECT_STREQ(buffer, "untouched");
}

TEST(WildcardMatch, FollowsTheWindowsPatternRules) {
    EXPECT_TRUE(qv::MatchesWildcard("anything", "*"));
    EXPECT_TRUE(qv::MatchesWildcard("noext", "*.*"));
    EXPECT_TRUE(qv::MatchesWildcard(".", "*.*"));
    EXPECT_TRUE(qv::MatchesWildcard("Report.DOC", "*.doc"));
    EXPECT_TRUE(qv::MatchesWildcard("a.b.c", "*.c"));
    EXPECT_TRUE(qv::MatchesWildcard("file1.txt", "file?.txt"));
    EXPECT_FALSE(qv::MatchesWildcard("file12.txt", "file?.txt"));
    EXPECT_FALSE(qv::MatchesWildcard("file.txt", "*.doc"));
    EXPECT_TRUE(qv::MatchesWildcard("ÉTÉ.TXT", "été.*"));
    EXPECT_FALSE(qv::MatchesWildcard("abc", "ab"));
    EXPECT_TRUE(qv::MatchesWildcard("aaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", "*a*a*a*a*a*a*a*b"));
}

}  // namespace
