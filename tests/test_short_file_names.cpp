// Short (8.3) names as Wine makes them up, checked against what Wine 8 itself gave for the
// names of tests/fixtures/short-names, and short paths resolved by every path check.
#include "platform/prefix/short_file_name.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/shell_link_writer.h"
#include "platform/prefix/drive_map.h"
#include "small_prefix.h"
#include "vendor/core/registry_object.h"
#include "vendor/core/shell_link.h"

namespace fs = std::filesystem;

namespace {

// One line of the fixture: a path below the folder Wine filled, and its short form.
struct WinePair {
    std::string longPath;
    std::string shortPath;
};

std::vector<WinePair> ReadWinePairs() {
    std::vector<WinePair> pairs;
    std::ifstream in(fs::path(QV_SOURCE_DIR) / "tests" / "fixtures" / "short-names" / "wine-short-names.txt");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        pairs.push_back({line.substr(0, tab), line.substr(tab + 1)});
    }
    return pairs;
}

std::vector<std::string> SplitBackslashes(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t cut; (cut = path.find('\\', start)) != std::string::npos; start = cut + 1)
        parts.push_back(path.substr(start, cut - start));
    parts.push_back(path.substr(start));
    return parts;
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return text;
}

TEST(ShortFileName, EveryNameWineShortenedGetsWinesShortName) {
    std::vector<WinePair> pairs = ReadWinePairs();
    ASSERT_GE(pairs.size(), 60u);
    int valid = 0;
    int hashed = 0;
    for (const WinePair& pair : pairs) {
        std::vector<std::string> longNames = SplitBackslashes(pair.longPath);
        std::vector<std::string> shortNames = SplitBackslashes(pair.shortPath);
        ASSERT_EQ(longNames.size(), shortNames.size()) << pair.longPath;
        for (size_t i = 0; i < longNames.size(); ++i) {
            const std::string& longName = longNames[i];
            const std::string& shortName = shortNames[i];
            if (shortName == longName) {
                // Wine keeps a valid 8.3 name as it is, in its own case.
                EXPECT_TRUE(qv::IsShortNameValid(longName)) << longName;
                EXPECT_EQ(qv::ShortNameOf(longName), "") << longName;
                ++valid;
            } else {
                EXPECT_FALSE(qv::IsShortNameValid(longName)) << longName;
                EXPECT_EQ(qv::ShortNameOf(longName), shortName) << longName;
                EXPECT_TRUE(qv::MayBeHashedShortName(shortName)) << shortName;
                ++hashed;
            }
        }
    }
    EXPECT_GE(valid, 8);
    EXPECT_GE(hashed, 50);
}

TEST(ShortFileName, OnlyNamesShapedLikeMadeUpOnesAreLookedForByHash) {
    for (const char* name : {"PROG~FBU", "prog~fbu", "PROG~FBU.TXT", "A~~~~52H.ABC", "_~~~~2TG"})
        EXPECT_TRUE(qv::MayBeHashedShortName(name)) << name;
    for (const char* name : {"PRO~FBU", "PROGR~1", "PROG~FBU.TEXT", "PROG~FB U", "PROG~FBUX", "Program Files",
                             "PROG~F+U", "~PROGFBU", "PROG~FB\xC3\xA9"})
        EXPECT_FALSE(qv::MayBeHashedShortName(name)) << name;
    EXPECT_TRUE(qv::IsShortNameValid("."));
    EXPECT_TRUE(qv::IsShortNameValid(".."));
    EXPECT_FALSE(qv::IsShortNameValid("..."));
    EXPECT_FALSE(qv::IsShortNameValid("name."));
    EXPECT_FALSE(qv::IsShortNameValid("a:b"));
}

class ShortPathTest : public qvtest::SmallPrefixTest {
protected:
    static bool Verified(const std::string& text) { return CRegistryObject::FileVerified(text) != 0; }
    std::string Mapped(const std::string& windowsPath) {
        std::optional<fs::path> path = qv::WindowsToUnixPath(*qv::ActivePrefix(), windowsPath);
        return path ? fs::weakly_canonical(*path).string() : "<none>";
    }
    std::string OnDisk(const std::string& relative) {
        return fs::weakly_canonical(DriveC() / relative).string();
    }
};

TEST_F(ShortPathTest, EveryShortPathOfTheWineFixtureLeadsToItsLongFile) {
    std::vector<WinePair> pairs = ReadWinePairs();
    // The same entries as Wine made: folders where a nested path goes through one.
    std::set<std::string> folders;
    for (const WinePair& pair : pairs) {
        std::vector<std::string> parts = SplitBackslashes(pair.longPath);
        std::string folder;
        for (size_t i = 0; i + 1 < parts.size(); ++i) folders.insert(folder += (i ? "/" : "") + parts[i]);
    }
    std::map<std::string, std::set<std::string>> longByShort;
    for (const WinePair& pair : pairs) {
        std::string relative = pair.longPath;
        for (char& c : relative)
            if (c == '\\') c = '/';
        if (folders.count(relative))
            MakeFolder("short-names/" + relative);
        else
            MakeFile("short-names/" + relative);
        longByShort[Lower(pair.shortPath)].insert(OnDisk("short-names/" + relative));
    }

    for (const WinePair& pair : pairs) {
        const std::set<std::string>& expected = longByShort[Lower(pair.shortPath)];
        for (const std::string& form : {pair.shortPath, Lower(pair.shortPath)}) {
            const std::string path = "C:\\short-names\\" + form;
            // Two names whose short names are alike: Wine takes one of them.
            EXPECT_TRUE(expected.count(Mapped(path))) << path << " -> " << Mapped(path);
            EXPECT_TRUE(Verified(path)) << path;
            EXPECT_NE(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << path;
        }
    }
    EXPECT_EQ(longByShort["coll~ezq.txt"].size(), 2u);
}

TEST_F(ShortPathTest, ShortNameOfADeletedFileIsMissing) {
    fs::path exe = MakeFile("Program Files (x86)/HexEdit Pro/hxcache.exe");
    MakeFile("Program Files (x86)/HexEdit Pro/HexEdit Pro.exe");
    const std::string shortExe = "C:\\PROG~5P2\\HEXE~33J\\hxcache.exe";
    EXPECT_TRUE(Verified(shortExe));
    EXPECT_TRUE(Verified("\"C:\\PROG~5P2\\HEXE~33J\\HEXE~OUO.EXE\" /minimized"));
    EXPECT_TRUE(Verified("C:\\PROG~5P2\\HEXE~33J\\HEXE~OUO /minimized"));  // ".exe" added

    fs::remove(exe);
    EXPECT_FALSE(Verified(shortExe));
    EXPECT_EQ(GetFileAttributesA(shortExe.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    fs::remove_all(DriveC() / "Program Files (x86)" / "HexEdit Pro");
    EXPECT_FALSE(Verified("C:\\PROG~5P2\\HEXE~33J\\HEXE~OUO.EXE"));
    EXPECT_EQ(GetFileAttributesA("C:\\PROG~5P2\\HEXE~33J\\HEXE~OUO.EXE"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(ShortPathTest, TildeNamesThatMatchNoFileStayMissing) {
    MakeFile("Program Files/Some App/app.exe");
    MakeFile("Program Files/Some App/compile_commands.json");
    EXPECT_TRUE(Verified("C:\\PROG~FBU\\Some App\\app.exe"));
    // Another hash, a hash of another folder, names shaped unlike a short name.
    for (const char* path : {"C:\\PROG~FBV\\Some App\\app.exe", "C:\\PROG~5P2\\Some App\\app.exe",
                             "C:\\PROG~FBU\\SOME~AAA\\app.exe", "C:\\PROGR~1\\Some App\\app.exe",
                             "C:\\Program~Files\\Some App\\app.exe", "C:\\PROG~FBU\\Some App\\APP~~AAA.EXE",
                             "C:\\PROG~FBU\\Some App\\COMP~EKK.JSN"})
        EXPECT_FALSE(Verified(path)) << path;
    EXPECT_TRUE(Verified("C:\\PROG~FBU\\Some App\\COMP~EKK.JSO"));
}

TEST_F(ShortPathTest, ARealEntryOfThatNameWinsOverTheHashMatch) {
    MakeFile("Program Files/app.exe");
    MakeFile("PROG~FBU/other.exe");
    EXPECT_EQ(Mapped("C:\\PROG~FBU"), OnDisk("PROG~FBU"));
    EXPECT_EQ(Mapped("C:\\prog~fbu\\other.exe"), OnDisk("PROG~FBU/other.exe"));
    EXPECT_TRUE(Verified("C:\\PROG~FBU\\other.exe"));
    EXPECT_FALSE(Verified("C:\\PROG~FBU\\app.exe"));
    EXPECT_TRUE(Verified("C:\\Program Files\\app.exe"));

    // Also when the real entry is spelled in another case than the path.
    MakeFile("Common Files/common.dll");
    MakeFile("comm~cp1/literal.dll");
    EXPECT_EQ(Mapped("C:\\COMM~CP1\\literal.dll"), OnDisk("comm~cp1/literal.dll"));
    EXPECT_FALSE(Verified("C:\\COMM~CP1\\common.dll"));
}

TEST_F(ShortPathTest, FindFirstFileReportsLongAndShortNames) {
    MakeFile("Program Files/HexEdit Pro/hxcache.exe");
    MakeFile("Program Files/HexEdit Pro/HexEdit Pro.exe");
    MakeFile("Program Files/HexEdit Pro/compile_commands.json");

    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA("C:\\PROG~FBU\\hexe~33j", &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(data.cFileName, "HexEdit Pro");
    EXPECT_STREQ(data.cAlternateFileName, "HEXE~33J");
    EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(FindNextFileA(search, &data));
    FindClose(search);

    search = FindFirstFileA("C:\\PROG~FBU\\HEXE~33J\\HEXE~OUO.EXE", &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(data.cFileName, "HexEdit Pro.exe");
    EXPECT_STREQ(data.cAlternateFileName, "HEXE~OUO.EXE");
    FindClose(search);

    // A valid 8.3 name is its own short name: cAlternateFileName stays empty.
    search = FindFirstFileA("C:\\PROG~FBU\\HEXE~33J\\HXCACHE.EXE", &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(data.cFileName, "hxcache.exe");
    EXPECT_STREQ(data.cAlternateFileName, "");
    FindClose(search);

    EXPECT_EQ(FindFirstFileA("C:\\PROG~FBU\\HEXE~33J\\HEXE~OUP.EXE", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    // A pattern finds an entry by its short name too, as Wine's does.
    std::set<std::string> found;
    search = FindFirstFileA("C:\\Program Files\\HexEdit Pro\\*.JSO", &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    do found.insert(data.cFileName);
    while (FindNextFileA(search, &data));
    FindClose(search);
    EXPECT_EQ(found, (std::set<std::string>{"compile_commands.json"}));
}

TEST_F(ShortPathTest, ShortcutToAShortPathIsSoundWhileItsTargetExists) {
    fs::path target = MakeFile("Program Files/HexEdit Pro/HexEdit Pro.exe");
    fs::path linkFile = MakeFolder("links") / "hexedit.lnk";
    ShellLinkData data;
    data.targetPath = "C:\\PROG~FBU\\HEXE~33J\\HEXE~OUO.EXE";
    ASSERT_TRUE(WriteShellLinkFile(linkFile, data));

    CShellLink link;
    ASSERT_TRUE(link.Load("C:\\links\\hexedit.lnk"));
    EXPECT_EQ(link.GetPath(), data.targetPath);
    EXPECT_EQ(link.Resolve(nullptr, 2), 1);
    fs::remove(target);
    ASSERT_TRUE(link.Load("C:\\links\\hexedit.lnk"));
    EXPECT_EQ(link.Resolve(nullptr, 2), 2);
}

}  // namespace
