// The registry editor's export and import, and the partial-backup writer's files read back:
// round trips, Wine's own exports, and files with errors.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include <windows.h>

#include "backup/reg_export_writer.h"
#include "backup/reg_file_reader.h"
#include "backup/reg_import.h"
#include "backup/regedit_command.h"
#include "backup/regedit_export.h"
#include "platform/prefix/prefix.h"
#include "platform/registry/reg_text.h"
#include "platform/registry/registry_store.h"
#include "temp_dir.h"
#include "wine_command.h"

using namespace qvtest;
namespace fs = std::filesystem;
using qv::RegistryStore;

namespace {

std::string ExportText(RegistryStore& store, const std::string& key = "") {
    std::u16string text;
    std::string error;
    EXPECT_TRUE(qv::RegeditExportText(store, key, text, error)) << error;
    return qv::reg::ToUtf8(text);
}

fs::path EmptyPrefix(const fs::path& dir) {
    fs::create_directories(dir / "drive_c");
    return dir;
}

std::string Utf16File(const std::string& utf8) {
    std::u16string u = qv::reg::ToUtf16(utf8);
    std::string out = "\xff\xfe";
    for (char16_t c : u) {
        out += static_cast<char>(c & 0xff);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

// Sections of an export whose key path starts with one of `prefixes` are dropped.
std::string WithoutSections(const std::string& text, const std::vector<std::string>& prefixes) {
    std::istringstream in(text);
    std::string line, out;
    bool skip = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] == '[') {
            skip = false;
            for (const std::string& p : prefixes)
                if (line.compare(1, p.size(), p) == 0) skip = true;
        }
        if (!skip) out += line + "\n";
    }
    return out;
}

// Empty when equal, else the lines around the first difference (large texts compared with
// EXPECT_EQ would make GoogleTest build a huge diff).
std::string FirstDifference(const std::string& a, const std::string& b) {
    if (a == b) return "";
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    size_t from = a.rfind('\n', i > 300 ? i - 300 : 0);
    from = from == std::string::npos ? 0 : from;
    return "first difference at byte " + std::to_string(i) + ":\n--- expected\n" + b.substr(from, i - from + 200) +
           "\n--- actual\n" + a.substr(from, i - from + 200);
}

bool Import(RegistryStore& store, const std::string& bytes, std::string* errorOut = nullptr) {
    qv::RegImportPlan plan;
    std::string error;
    bool ok = qv::ParseRegFile(bytes, plan, error) && qv::ApplyRegImport(store, plan, error);
    if (errorOut) *errorOut = error;
    return ok;
}

}  // namespace

TEST(RegeditExport, MatchesWinesExportOfTheSamePrefix) {
    TempDir tmp;
    CopyRegistryFiles(Fixtures() / "testprefix-files", tmp.path());
    RegistryStore store(tmp.path());
    std::string ours = ExportText(store);
    std::string wine = ReadFile(Fixtures() / "regedit-export/whole-registry.reg");
    std::string wineText = qv::reg::ToUtf8(qv::reg::ToUtf16(""));  // decoded below
    std::u16string units((wine.size() - 2) / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(static_cast<uint8_t>(wine[2 + 2 * i]) | (static_cast<uint8_t>(wine[3 + 2 * i]) << 8));
    wineText = qv::reg::ToUtf8(units);
    // Aside: keys that exist only while Wine runs (volatile), and the two values Wine's
    // export cannot carry (a text with an inner NUL, a two-byte DWORD), which we keep exact.
    const std::vector<std::string> volatileKeys = {
        "HKEY_LOCAL_MACHINE\\Hardware", "HKEY_LOCAL_MACHINE\\System\\MountedDevices",
        "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Video",
        "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\DeviceClasses",
        "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName",
        "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\ServiceCurrent",
        "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Hardware Profiles\\Current\\System",
        "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards",
        "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards",
        "HKEY_USERS\\S-1-5-21-0-0-0-1000\\Software\\Wine\\Fonts\\Cache",
        "HKEY_USERS\\S-1-5-21-0-0-0-1000\\Software\\Wine\\Temporary System Parameters",
        "HKEY_USERS\\S-1-5-21-0-0-0-1000\\Software\\RegFactsExtra]"};
    EXPECT_EQ(FirstDifference(WithoutSections(ours, volatileKeys), WithoutSections(wineText, volatileKeys)), "");
}

TEST(RegeditImport, WholeExportsRoundTripIntoAnEmptyPrefix) {
    TempDir tmp;
    CopyRegistryFiles(Fixtures() / "testprefix-files", tmp / "full");
    RegistryStore full(tmp / "full");
    std::string original = ExportText(full);

    // Our export, imported into an empty prefix, exports the same text again.
    fs::path ours = tmp / "ours.reg";
    std::string error;
    ASSERT_TRUE(qv::RegeditExportFile(full, "", ours, error)) << error;
    RegistryStore empty(EmptyPrefix(tmp / "empty"));
    ASSERT_TRUE(qv::ImportRegFile(empty, ours, error)) << error;
    EXPECT_EQ(FirstDifference(ExportText(empty), original), "");
    // What was saved reads back the same.
    RegistryStore reread(tmp / "empty");
    EXPECT_EQ(FirstDifference(ExportText(reread), original), "");

    // Wine's own export of the same prefix gives the same content, apart from the keys only
    // a running Wine has and the two values its export cannot carry.
    RegistryStore fromWine(EmptyPrefix(tmp / "wine"));
    ASSERT_TRUE(qv::ImportRegFile(fromWine, Fixtures() / "regedit-export/whole-registry.reg", error)) << error;
    const std::vector<std::string> aside = {"HKEY_LOCAL_MACHINE\\Hardware", "HKEY_LOCAL_MACHINE\\System",
                                            "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards",
                                            "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards",
                                            "HKEY_USERS\\S-1-5-21-0-0-0-1000\\Software\\Wine",
                                            "HKEY_USERS\\S-1-5-21-0-0-0-1000\\Software\\RegFactsExtra]"};
    EXPECT_EQ(FirstDifference(WithoutSections(ExportText(fromWine), aside), WithoutSections(original, aside)), "");
    // The key exports Wine made import as they are.
    for (const char* f : {"HKCU-Software-RegFactsTest.reg", "HKCU-Software-RegFactsExtra.reg"}) {
        RegistryStore one(EmptyPrefix(tmp / f));
        EXPECT_TRUE(qv::ImportRegFile(one, Fixtures() / "regedit-export" / f, error)) << f << ": " << error;
    }
}

TEST(RegeditImport, GeneratedRegistriesRoundTripExactly) {
    std::mt19937 rng(1234);
    auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
    const std::vector<std::u16string> pieces = {u"a", u"B", u"\\", u"\"", u" ", u"\xe9", u"\x20ac", u"\xd83d\xde00",
                                                u"[", u"]", u"=", u"@", u";", u"x y", u"\t", u"0"};
    for (int round = 0; round < 12; ++round) {
        TempDir tmp;
        RegistryStore src(EmptyPrefix(tmp / "src"));
        {
            auto lock = src.WriteLock();
            src.BeginBatch();
            for (int k = 0; k < 60; ++k) {
                std::u16string path = u"Software\\Gen";
                int depth = 1 + static_cast<int>(pick(k == 0 ? 150 : 6));
                for (int d = 0; d < depth; ++d) {
                    std::u16string name;
                    for (size_t p = 1 + pick(3); p > 0; --p) name += pieces[pick(pieces.size())];
                    while (!name.empty() && (name.front() == u'\\' || name.back() == u'\\')) name.pop_back();
                    if (name.empty() || name.find(u'\\') != std::u16string::npos || name.find(u']') != std::u16string::npos)
                        name = u"k" + std::u16string(1, static_cast<char16_t>(u'a' + pick(26)));
                    path += u"\\" + name;
                }
                long err = 0;
                qv::reg::Key* key = src.Create(qv::RegRoot::CurrentUser, path, nullptr, &err);
                ASSERT_NE(key, nullptr);
                for (size_t v = pick(6); v > 0; --v) {
                    std::u16string name;
                    if (pick(4)) for (size_t p = 1 + pick(3); p > 0; --p) name += pieces[pick(pieces.size())];
                    static const uint32_t types[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0x12345, 0xffffffff};
                    uint32_t type = types[pick(std::size(types))];
                    std::vector<uint8_t> data(pick(4) ? pick(40) : pick(300));
                    for (auto& b : data) b = static_cast<uint8_t>(rng());
                    if ((type == 1 || type == 2 || type == 7) && pick(2)) {
                        std::u16string text;
                        for (size_t p = pick(5); p > 0; --p) text += pieces[pick(pieces.size())];
                        text += u'\0';
                        data.clear();
                        for (char16_t c : text) {
                            data.push_back(static_cast<uint8_t>(c));
                            data.push_back(static_cast<uint8_t>(c >> 8));
                        }
                    }
                    if (type == 4 && pick(2)) data.resize(4);
                    src.SetValue(key, name, type, data);
                }
            }
            ASSERT_EQ(src.EndBatch(), 0);
        }
        std::u16string text;
        std::string error;
        ASSERT_TRUE(qv::RegeditExportText(src, "HKEY_CURRENT_USER\\Software\\Gen", text, error));
        std::string file = Utf16File(qv::reg::ToUtf8(text));
        // The UTF-16 round trip is exact even for unpaired surrogates: rebuild the bytes directly.
        file = "\xff\xfe";
        for (char16_t c : text) {
            file += static_cast<char>(c & 0xff);
            file += static_cast<char>(c >> 8);
        }
        RegistryStore dst(EmptyPrefix(tmp / "dst"));
        ASSERT_TRUE(Import(dst, file, &error)) << error;
        std::u16string again;
        ASSERT_TRUE(qv::RegeditExportText(dst, "HKEY_CURRENT_USER\\Software\\Gen", again, error));
        EXPECT_EQ(again, text) << "round " << round;

        // The partial-backup writer's 8-bit file of the same tree reads back to the same.
        qv::SetActivePrefix(std::make_shared<qv::Prefix>(tmp / "src"));
        CRegExportWriter writer;
        std::string partial = (tmp / "partial.reg").string();
        ASSERT_TRUE(writer.WriteRegFileHeader(partial));
        writer.ExportRegistryKey("HKEY_CURRENT_USER", "Software\\Gen", "", partial);
        qv::SetActivePrefix(nullptr);
        RegistryStore fromPartial(EmptyPrefix(tmp / "partial"));
        ASSERT_TRUE(Import(fromPartial, ReadFile(partial), &error)) << error;
        std::u16string third;
        ASSERT_TRUE(qv::RegeditExportText(fromPartial, "HKEY_CURRENT_USER\\Software\\Gen", third, error));
        EXPECT_EQ(third, text) << "round " << round;
    }
}

TEST(RegeditImport, ReadsEveryFormOfTheFormat) {
    TempDir tmp;
    RegistryStore store(EmptyPrefix(tmp.path()));
    const std::string v4 =
        "REGEDIT4\r\n\r\n; a comment\r\n[HKEY_CURRENT_USER\\Software\\T]\r\n@=\"def\"\r\n"
        "\"q\"=\"a\\\"b\\\\c\"\r\n\"d\"=dword:0000002A\r\n\"e\"=hex(2):41,42,00\r\n"
        "\"m\"=hex(7):61,00,62,00,00\r\n\"h\"=hex:01,02,\\\r\n  03,\\\r\n\r\n  04\r\n\"n\"=hex(0):\r\n";
    ASSERT_TRUE(Import(store, v4));
    const std::string v5 =
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Software\\T]\n\"e5\"=hex(2):41,00,42,00,00,00\n"
        "\"q\"=-\n[-HKEY_CURRENT_USER\\Software\\Gone]\n[HKEY_CLASSES_ROOT\\.x]\n@=\"y\"\n";
    ASSERT_TRUE(store.Find(qv::RegRoot::CurrentUser, u"Software\\T"));
    ASSERT_TRUE(Import(store, v5));
    std::string out = ExportText(store, "HKEY_CURRENT_USER\\Software\\T");
    EXPECT_NE(out.find("@=\"def\""), std::string::npos);
    EXPECT_EQ(out.find("\"q\""), std::string::npos);
    EXPECT_NE(out.find("\"d\"=dword:0000002a"), std::string::npos);
    EXPECT_NE(out.find("\"e\"=hex(2):41,00,42,00,00,00"), std::string::npos);   // 8-bit text widened
    EXPECT_NE(out.find("\"e5\"=hex(2):41,00,42,00,00,00"), std::string::npos);  // already UTF-16
    EXPECT_NE(out.find("\"m\"=hex(7):61,00,00,00,62,00,00,00,00,00"), std::string::npos);
    EXPECT_NE(out.find("\"h\"=hex:01,02,03,04"), std::string::npos);
    EXPECT_NE(out.find("\"n\"=hex(0):"), std::string::npos);
    EXPECT_NE(ExportText(store, "HKEY_LOCAL_MACHINE\\Software\\Classes\\.x").find("@=\"y\""), std::string::npos);
    // Wine's regedit test inputs without the line that stops Wine's import.
    EXPECT_TRUE(Import(store, ReadFile(Fixtures() / "a4-import-test/a4_utf16_v5.reg")));
}

TEST(RegeditImport, FilesWithErrorsChangeNothingAndNameTheLine) {
    TempDir tmp;
    CopyRegistryFiles(Fixtures() / "fresh", tmp.path());
    RegistryStore store(tmp.path());
    const std::string before = ReadFile(tmp / "user.reg");
    const std::string head = "Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\Software\\New]\r\n\"ok\"=\"1\"\r\n";
    std::mt19937 rng(5);
    std::string garbage(5000, '\0');
    for (auto& c : garbage) c = static_cast<char>(rng());
    const std::vector<std::pair<std::string, std::string>> cases = {
        {garbage, "line 1"},
        {"\xff\xfe" + std::string("W\0i\0n", 5), "odd number of bytes"},
        {head + "\"h\"=hex:01,0g\r\n", "line 4"},
        {head + "\"h\"=hex:123\r\n", "line 4"},
        {head + "[HKEY_CURRENT_USER\\Software\\Unbalanced\r\n", "line 4"},
        {head + "[HKEY_NOWHERE\\X]\r\n", "line 4"},
        {head + "[HKCU\\X]\r\n", "line 4"},
        {head + "[HKEY_USERS\\S-1-5-21-9\\X]\r\n", "line 4"},
        {head + "\"h\"=hex:01,\\\r\n", "ends inside a value"},
        {head + "\"s\"=\"no end\r\n", "line 4"},
        {head + "\"s\"=\"a\\0b\"\r\n", "line 4"},
        {head + "\"d\"=dword:123456789\r\n", "line 4"},
        {head + "[-HKEY_CURRENT_USER]\r\n", "line 4"},
        {"Windows Registry Editor Version 5.00\r\n\"orphan\"=\"x\"\r\n", "line 2"},
        {head + "\"big\"=\"" + std::string(3 << 20, 'x') + "\r\n", "line 4"},
    };
    for (const auto& [text, expected] : cases) {
        std::string error;
        EXPECT_FALSE(Import(store, text, &error)) << expected;
        EXPECT_NE(error.find(expected), std::string::npos) << error;
        EXPECT_EQ(ReadFile(tmp / "user.reg"), before);
        EXPECT_EQ(store.Find(qv::RegRoot::CurrentUser, u"Software\\New"), nullptr) << expected;
    }
    // A line of megabytes that is well formed is fine.
    EXPECT_TRUE(Import(store, head + "\"big\"=\"" + std::string(3 << 20, 'x') + "\"\r\n"));
}

TEST(RegeditCommand, CommandLinesRunTheEditorInProcess) {
    TempDir tmp;
    CopyRegistryFiles(Fixtures() / "fresh", tmp / "prefix");
    fs::create_directories(tmp / "prefix/drive_c/backup");
    fs::create_directories(tmp / "prefix/dosdevices");
    fs::create_directory_symlink("../drive_c", tmp / "prefix/dosdevices/c:");
    qv::SetActivePrefix(std::make_shared<qv::Prefix>(tmp / "prefix"));
    EXPECT_EQ(RunAndWait("regedit.exe /e \"C:\\backup\\Whole File.reg\""), 0);
    EXPECT_TRUE(fs::exists(tmp / "prefix/drive_c/backup/Whole File.reg"));
    EXPECT_EQ(RunAndWait("regedit.exe /e \"C:\\backup\\one.reg\" \"HKEY_CURRENT_USER\\Control Panel\\Mouse\""), 0);
    std::string one = ReadFile(tmp / "prefix/drive_c/backup/one.reg");
    EXPECT_EQ(one.substr(0, 2), "\xff\xfe");
    EXPECT_EQ(RunAndWait("regedit.exe /e \"C:\\backup\\none.reg\" \"HKEY_CURRENT_USER\\No Such Key\""), 1);
    EXPECT_FALSE(fs::exists(tmp / "prefix/drive_c/backup/none.reg"));
    EXPECT_EQ(RunAndWait("regedit.exe /s \"C:\\backup\\one.reg\""), 0);
    EXPECT_EQ(RunAndWait("notepad.exe x"), -1);
    EXPECT_EQ(qv::SplitWindowsCommandLine("a \"b c\" d\\\"e \"f\"\"g\""),
              (std::vector<std::string>{"a", "b c", "d\"e", "f\"g"}));
    qv::SetActivePrefix(nullptr);
}

TEST(RegeditWine, WinesRegeditImportsOurExport) {
    if (!qvtest::WineInstalled()) GTEST_SKIP() << "Wine is not installed";
    TempDir tmp;
    fs::create_directories(tmp / "a");
    fs::create_directories(tmp / "b");
    fs::path a = UnpackFreshPrefix(tmp / "a"), b = UnpackFreshPrefix(tmp / "b");
    ASSERT_FALSE(a.empty());
    ASSERT_FALSE(b.empty());
    std::string expected;
    {
        RegistryStore store(a);
        auto lock = store.WriteLock();
        long err = 0;
        qv::reg::Key* k = store.Create(qv::RegRoot::CurrentUser, u"Software\\QuorvaneWineCheck\\Sub \"q\" \xe9", nullptr, &err);
        ASSERT_NE(k, nullptr);
        store.SetValue(k, u"", 1, {'d', 0, 0, 0});
        store.SetValue(k, u"back\\slash \"quoted\"", 1, {'C', 0, ':', 0, '\\', 0, 0x20, 0xac, 0, 0});
        store.SetValue(k, u"inner nul", 1, {'a', 0, 0, 0, 'b', 0, 0, 0});
        store.SetValue(k, u"expand", 2, {'%', 0, 'A', 0, '%', 0, 0, 0});
        store.SetValue(k, u"multi", 7, {'x', 0, 0, 0, 'y', 0, 0, 0, 0, 0});
        store.SetValue(k, u"dword", 4, {1, 2, 3, 4});
        store.SetValue(k, u"qword", 11, {1, 2, 3, 4, 5, 6, 7, 8});
        store.SetValue(k, u"binary", 3, std::vector<uint8_t>(120, 0x5a));
        store.SetValue(k, u"none", 0, {});
        ASSERT_EQ(store.Commit(), 0);
        lock.unlock();
        std::string error;
        ASSERT_TRUE(qv::RegeditExportFile(store, "HKEY_CURRENT_USER\\Software\\QuorvaneWineCheck", tmp / "x.reg", error));
        expected = ExportText(store, "HKEY_CURRENT_USER\\Software\\QuorvaneWineCheck");
    }
    ASSERT_EQ(qvtest::RunWine64(b, tmp / "home", "regedit /s '" + (tmp / "x.reg").string() + "'"), 0);
    RegistryStore after(b);
    EXPECT_EQ(FirstDifference(ExportText(after, "HKEY_CURRENT_USER\\Software\\QuorvaneWineCheck"), expected), "");
}
