// The partial-backup writer: layout, escaping and line wrapping of its .reg files.
#include <gtest/gtest.h>

#include <cstring>

#include <windows.h>

#include "backup/reg_export_writer.h"
#include "message_box_recorder.h"
#include "platform/prefix/prefix.h"
#include "temp_dir.h"
#include "vendor/core/system32.h"

using namespace qvtest;

namespace {

class RegExportWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        CopyRegistryFiles(Fixtures() / "fresh", tmp.path());
        qv::SetActivePrefix(std::make_shared<qv::Prefix>(tmp.path()));
        file = (tmp.path() / "out.reg").string();
    }
    void TearDown() override {
        qv::SetActivePrefix(nullptr);
    }
    void Set(const char* key, const char* name, DWORD type, const void* data, DWORD size) {
        HKEY k;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(k, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
        RegCloseKey(k);
    }
    std::string Export(const char* key, const char* value = "") {
        CRegExportWriter w;
        EXPECT_TRUE(w.WriteRegFileHeader(file));
        EXPECT_EQ(w.ExportRegistryKey("HKEY_CURRENT_USER", key, value, file), 1);
        return ReadFile(file);
    }
    static std::string Crlf(const std::string& s) {
        std::string out;
        for (char c : s) {
            if (c == '\n') out += '\r';
            out += c;
        }
        return out;
    }

    TempDir tmp;
    std::string file;
    MessageBoxRecorder boxes;
    std::vector<std::string>& messages = boxes.shown;
};

}  // namespace

TEST_F(RegExportWriterTest, TheExampleKeyComesOutByteForByte) {
    const char* path = "C:\\Program Files\\Example\\app.exe";
    Set("Software\\Example", nullptr, REG_SZ, path, static_cast<DWORD>(strlen(path) + 1));
    DWORD ten = 10;
    Set("Software\\Example", "Count", REG_DWORD, &ten, 4);
    BYTE bytes[60];
    for (int i = 0; i < 60; ++i) bytes[i] = static_cast<BYTE>(i);
    Set("Software\\Example", "a", REG_BINARY, bytes, 60);
    const char* expand = "%SystemRoot%\\system32\\example.dll";
    Set("Software\\Example", "Path", REG_EXPAND_SZ, expand, static_cast<DWORD>(strlen(expand) + 1));
    Set("Software\\Example", "List", REG_MULTI_SZ, "first\0second\0", 14);

    // The registry lists values in Wine's order (sorted by name), so the five entries come
    // in that order; each of them is exactly the example's text.
    const std::string expected = Crlf(
        "Windows Registry Editor Version 5.00\n"
        "\n"
        "[HKEY_CURRENT_USER\\Software\\Example]\n"
        "@=\"C:\\\\Program Files\\\\Example\\\\app.exe\"\n"
        "\"a\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\n"
        "  17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,2f,\\\n"
        "  30,31,32,33,34,35,36,37,38,39,3a,3b\n"
        "\"Count\"=dword:0000000a\n"
        "\"List\"=hex(7):66,00,69,00,72,00,73,00,74,00,00,00,73,00,65,00,63,00,6f,00,6e,00,\\\n"
        "  64,00,00,00,00,00\n"
        "\"Path\"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,00,\\\n"
        "  25,00,5c,00,73,00,79,00,73,00,74,00,65,00,6d,00,33,00,32,00,5c,00,65,00,78,\\\n"
        "  00,61,00,6d,00,70,00,6c,00,65,00,2e,00,64,00,6c,00,6c,00,00,00\n"
        "\n");
    EXPECT_EQ(Export("Software\\Example"), expected);
}

TEST_F(RegExportWriterTest, SectionsFiltersAndAppending) {
    CSystem32::CreateRegistryKey("Software\\Empty", HKEY_CURRENT_USER);
    EXPECT_EQ(Export("Software\\Empty"), Crlf("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Empty]\n\n"));

    CSystem32::SetRegistryValue("Software\\Tree", "top", 1, HKEY_CURRENT_USER);
    CSystem32::SetRegistryValue("Software\\Tree\\B", "b", "x", HKEY_CURRENT_USER);
    CSystem32::SetRegistryValue("Software\\Tree\\A\\Deep", "top", 2, HKEY_CURRENT_USER);
    // A filter applies in every section; sections are written even when nothing passes it.
    EXPECT_EQ(Export("Software\\Tree", "top"),
              Crlf("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Tree]\n\"top\"=dword:00000001\n"
                   "\n[HKEY_CURRENT_USER\\Software\\Tree\\A]\n"
                   "\n[HKEY_CURRENT_USER\\Software\\Tree\\A\\Deep]\n\"top\"=dword:00000002\n"
                   "\n[HKEY_CURRENT_USER\\Software\\Tree\\B]\n"));

    // Two exports append one after the other under a single header; unknown roots and
    // missing keys add nothing.
    CRegExportWriter w;
    ASSERT_TRUE(w.WriteRegFileHeader(file));
    EXPECT_EQ(w.ExportRegistryKey("HKEY_CURRENT_USER", "Software\\Empty", "", file), 1);
    EXPECT_EQ(w.ExportRegistryKey("HKCU", "Software\\Empty", "", file), 1);
    EXPECT_EQ(w.ExportRegistryKey("HKEY_CURRENT_USER", "Software\\Nothing", "", file), 1);
    EXPECT_EQ(w.ExportRegistryKey("HKEY_CURRENT_USER", "Software\\Empty", "", file), 1);
    EXPECT_EQ(ReadFile(file), Crlf("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Empty]\n\n"
                                   "\n[HKEY_CURRENT_USER\\Software\\Empty]\n\n"));

    // A file that cannot be created is reported to the user.
    EXPECT_FALSE(w.WriteRegFileHeader((tmp.path() / "no" / "such" / "dir.reg").string()));
    EXPECT_EQ(w.ExportRegistryKey("HKEY_CURRENT_USER", "Software", "", (tmp.path() / "no/x.reg").string()), 0);
    EXPECT_EQ(messages, (std::vector<std::string>{"Error while creating the file", "Error while creating the file"}));
}

TEST_F(RegExportWriterTest, ValueTextsKeepEveryValueIntact) {
    CRegExportWriter w;
    std::string t;
    auto fmt = [&](const char* namePart, uint32_t type, std::vector<uint8_t> data) {
        w.m_strNamePart = namePart;
        w.FormatRegValue(type, data.data(), static_cast<uint32_t>(data.size()), t);
        return t;
    };
    // Quotes and backslashes in text; a DWORD of 10; empty lists.
    EXPECT_EQ(fmt("@=", REG_SZ, {'a', 0, '"', 0, '\\', 0, 0, 0}), "\"a\\\"\\\\\"\n");
    EXPECT_EQ(fmt("@=", REG_DWORD, {10, 0, 0, 0}), "dword:0000000a\n");
    EXPECT_EQ(fmt("@=", REG_BINARY, {}), "hex:\n");
    EXPECT_EQ(fmt("@=", REG_EXPAND_SZ, {}), "hex(2):\n");
    // Data the plain forms would lose is written byte for byte with its type in hex.
    EXPECT_EQ(fmt("@=", REG_NONE, {1, 2}), "hex(0):01,02\n");
    EXPECT_EQ(fmt("@=", REG_DWORD, {1, 2}), "hex(4):01,02\n");
    EXPECT_EQ(fmt("@=", 5, {0x12, 0x34, 0x56, 0x78}), "hex(5):12,34,56,78\n");
    EXPECT_EQ(fmt("@=", 10, {1}), "hex(a):01\n");
    EXPECT_EQ(fmt("@=", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}), "hex(b):01,02,03,04,05,06,07,08\n");
    EXPECT_EQ(fmt("@=", REG_RESOURCE_LIST, {1, 2, 3}), "hex(8):01,02,03\n");
    EXPECT_EQ(fmt("@=", REG_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0}), "hex(1):61,00,00,00,62,00,00,00\n");
    EXPECT_EQ(fmt("@=", REG_SZ, {'a', 0, '\n', 0, 0, 0}), "hex(1):61,00,0a,00,00,00\n");
    EXPECT_EQ(fmt("@=", REG_SZ, {'a', 0}), "hex(1):61,00\n");
    // Non-ASCII text: the quoted form in UTF-8, the widened form with the real high bytes.
    EXPECT_EQ(fmt("@=", REG_SZ, {0xe9, 0, 0xac, 0x20, 0, 0}), "\"\xc3\xa9\xe2\x82\xac\"\n");
    EXPECT_EQ(fmt("@=", REG_EXPAND_SZ, {0xe9, 0, 0xac, 0x20, 0, 0}), "hex(2):e9,00,ac,20,00,00\n");

    // A name part longer than the first line's budget: one byte (or pair) before the break;
    // the last byte of a widened list keeps its zero half.
    std::string longName = "\"" + std::string(80, 'n') + "\"=";
    EXPECT_EQ(fmt(longName.c_str(), REG_BINARY, {1, 2, 3}), "hex:01,\\\n  02,03\n");
    EXPECT_EQ(fmt(longName.c_str(), REG_EXPAND_SZ, {'a', 0, 0, 0}), "hex(2):61,00,\\\n  00,00\n");
    EXPECT_EQ(fmt(longName.c_str(), REG_EXPAND_SZ, {0, 0}), "hex(2):00,00\n");
    // Continuation lines of both kinds are 78 characters with their backslash.
    std::vector<uint8_t> many(400, 0x41);
    std::string text = fmt("\"x\"=", REG_MULTI_SZ, many) + fmt("\"x\"=", REG_BINARY, many);
    size_t start = text.find('\n') + 1, end;
    int continuation = 0;
    while ((end = text.find('\n', start)) != std::string::npos) {
        std::string line = text.substr(start, end - start);
        if (line.rfind("  ", 0) == 0 && line.back() == '\\') {
            EXPECT_EQ(line.size(), 78u) << line;
            ++continuation;
        }
        start = end + 1;
    }
    EXPECT_GT(continuation, 20);
}

TEST_F(RegExportWriterTest, NamesAndDeepTrees) {
    CSystem32::SetRegistryValue("Software\\Names", "back\\slash", 1, HKEY_CURRENT_USER);
    CSystem32::SetRegistryValue("Software\\Names", "quo\"te", 2, HKEY_CURRENT_USER);
    std::string out = Export("Software\\Names");
    EXPECT_NE(out.find("\"back\\\\slash\"=dword:00000001"), std::string::npos);
    EXPECT_NE(out.find("\"quo\\\"te\"=dword:00000002"), std::string::npos);

    std::string deep = "Software\\Deep";
    for (int i = 0; i < 300; ++i) deep += "\\L" + std::to_string(i);
    CSystem32::SetRegistryValue(deep, "bottom", 1, HKEY_CURRENT_USER);
    out = Export("Software\\Deep");
    EXPECT_NE(out.find("\\L299]\r\n\"bottom\"=dword:00000001\r\n"), std::string::npos);
}
