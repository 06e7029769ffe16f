// The .reg reader reading a file a chunk at a time, the import that changes nothing when a
// file is bad, and the export written to its file piece by piece.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <thread>
#include <vector>

#include "backup/reg_file_reader.h"
#include "backup/reg_import.h"
#include "backup/regedit_export.h"
#include "platform/registry/atomic_file.h"
#include "platform/registry/reg_text.h"
#include "platform/registry/registry_store.h"
#include "temp_dir.h"

using namespace qvtest;
namespace fs = std::filesystem;
using qv::RegistryStore;

namespace {

std::string Utf16File(std::u16string_view text) {
    std::string out = "\xff\xfe";
    for (char16_t c : text) {
        out += static_cast<char>(c & 0xff);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

std::string Describe(const qv::RegImportPlan& plan) {
    std::string s;
    for (const qv::RegImportOp& op : plan.ops) {
        s += std::to_string(static_cast<int>(op.kind)) + " " + std::to_string(static_cast<int>(op.root)) + " [" +
             qv::reg::ToUtf8(op.path) + "] \"" + qv::reg::ToUtf8(op.name) + "\" " + std::to_string(op.type) + " " +
             std::to_string(op.line) + ":";
        for (uint8_t b : op.data) s += " " + std::to_string(b);
        s += "\n";
    }
    return s;
}

// What a file read `chunk` bytes at a time says, or its error.
std::string ReadInChunks(const fs::path& file, size_t chunk) {
    qv::RegImportPlan plan;
    qv::RegPlanSink sink(plan);
    std::string error;
    qv::RegReadResult r = qv::ReadRegFile(file, sink, error, chunk);
    return r == qv::RegReadResult::Done ? Describe(plan) : "error " + error;
}

std::string ReadWhole(const std::string& bytes) {
    qv::RegImportPlan plan;
    std::string error;
    return qv::ParseRegFile(bytes, plan, error) ? Describe(plan) : "error " + error;
}

// Lines in every line-end style, characters beyond U+FFFF (surrogate pairs in UTF-16, four
// bytes in UTF-8), a value continued over lines, a line longer than any small chunk.
std::u16string MixedText() {
    std::u16string t = u"Windows Registry Editor Version 5.00\r\n\r\n";
    t += u"[HKEY_CURRENT_USER\\Software\\Str\xe9\x61m \U0001F600]\r\n";
    t += u"@=\"def \U0001F30D\"\n";
    t += u"\"crlf\"=\"1\"\r\n\"lf\"=\"2\"\n\"cr\"=\"3\"\r\"after cr\"=dword:0000002a\r\n";
    t += u"\"hex\"=hex(7):61,00,\\\r\n  62,00,\\\n\r\n  ; a comment inside the list\r  00,00\r\n";
    t += u"\"long\"=\"" + std::u16string(300, u'x') + u"\xd83d\xde00\"\r\n";
    t += u"\"gone\"=-\r\n";
    t += u"\r\n[-HKEY_CURRENT_USER\\Software\\Old]\r\n";
    return t;
}

}  // namespace

TEST(RegFileStreaming, EveryChunkSizeReadsWhatTheWholeFileSays) {
    TempDir tmp;
    std::u16string text = MixedText();
    // Characters one of whose bytes is a CR or LF: in UTF-16 they end no line.
    const std::u16string lookalikes = u"\u010A\u0A0D\u0D00\u0A0A\u0D0D\u0A00";
    text += u"[HKEY_CURRENT_USER\\Software\\Look]\r\n\"lookalike\"=\"" + lookalikes + u"\"\r\n";
    // A key name with a line break, given exactly in a comment, and a last line without a
    // line end.
    text += u";quorvane-exact-key=";
    for (char16_t c : std::u16string(u"HKEY_CURRENT_USER\\Software\\Str\n2")) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%04x", static_cast<unsigned>(c));
        text += qv::reg::ToUtf16(buf);
    }
    text += u"\r\n[HKEY_CURRENT_USER\\Software\\Str\xfffd" u"2]\r\n\"last\"=hex:01";  // no line end at the end
    const std::string utf8 = qv::reg::ToUtf8(text);
    const std::vector<std::pair<std::string, std::string>> files = {
        {"utf16.reg", Utf16File(text)}, {"utf8.reg", utf8}, {"utf8bom.reg", "\xef\xbb\xbf" + utf8}};
    for (const auto& [name, bytes] : files) {
        WriteFile(tmp / name, bytes);
        const std::string whole = ReadWhole(bytes);
        ASSERT_EQ(whole.rfind("error", 0), std::string::npos) << name << ": " << whole;
        // One byte at a time splits every CR LF pair, surrogate pair and UTF-8 sequence; the
        // other sizes put the splits at every other offset.
        for (size_t chunk : {1, 2, 3, 5, 7, 64, 4096})
            EXPECT_EQ(ReadInChunks(tmp / name, chunk), whole) << name << ", chunks of " << chunk;
    }
    // And what the file says is right: line numbers count CR LF once and a lone CR as a line end.
    qv::RegImportPlan plan;
    std::string error;
    ASSERT_TRUE(qv::ParseRegFile(Utf16File(text), plan, error)) << error;
    auto find = [&](std::u16string_view value) -> const qv::RegImportOp* {
        for (const auto& op : plan.ops)
            if (op.kind == qv::RegImportOp::Kind::SetValue && op.name == value) return &op;
        return nullptr;
    };
    ASSERT_NE(find(u"after cr"), nullptr);
    EXPECT_EQ(find(u"after cr")->line, 8);
    ASSERT_NE(find(u"long"), nullptr);
    EXPECT_EQ(find(u"long")->line, 14);
    const std::vector<uint8_t> def = {'d', 0, 'e', 0, 'f', 0, ' ', 0, 0x3c, 0xd8, 0x0d, 0xdf, 0, 0};
    ASSERT_NE(find(u""), nullptr);
    EXPECT_EQ(find(u"")->data, def);
    EXPECT_EQ(find(u"hex")->data, (std::vector<uint8_t>{0x61, 0, 0x62, 0, 0, 0}));
    ASSERT_NE(find(u"lookalike"), nullptr);
    EXPECT_EQ(find(u"lookalike")->data,
              (std::vector<uint8_t>{0x0a, 0x01, 0x0d, 0x0a, 0x00, 0x0d, 0x0a, 0x0a, 0x0d, 0x0d, 0x00, 0x0a, 0, 0}));
    EXPECT_EQ(plan.ops.back().path, u"Software\\Str\n2");
    EXPECT_EQ(plan.ops.back().data, (std::vector<uint8_t>{1}));
}

TEST(RegFileStreaming, ErrorsNameTheSameLineWhateverTheChunk) {
    TempDir tmp;
    const std::u16string head = u"Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\Software\\E]\r\n";
    const std::vector<std::pair<std::u16string, std::string>> cases = {
        {head + u"\"a\"=\"1\"\r\n\"h\"=hex:01,\\\r\n\r\n", "line 5: the file ends inside a value"},
        {head + u"\"a\"=\"1\"\r\r\n\"s\"=\"no end\r\n", "line 5: a quoted text has no closing"},
        {head + u"\"a\"=\"\U0001F600\"\r\n[HKCU\\X]", "line 4: unknown root key"},
        // A root name is the whole text before the first backslash: one with a NUL and more
        // after it is no root name (the text after the NUL was once dropped unseen).
        {head + u"[HKEY_CURRENT_USER" + std::u16string(1, u'\0') + u"x\\Software\\A]", "line 3: unknown root key"},
    };
    for (const auto& [text, expected] : cases) {
        for (const std::string& bytes : {Utf16File(text), qv::reg::ToUtf8(text)}) {
            WriteFile(tmp / "bad.reg", bytes);
            for (size_t chunk : {1, 2, 3, 4096}) {
                std::string got = ReadInChunks(tmp / "bad.reg", chunk);
                EXPECT_EQ(got.rfind("error " + expected, 0), 0u) << got << " (chunks of " << chunk << ")";
            }
        }
    }
    // Invalid UTF-8 split over chunks is still invalid, and a cut-off UTF-16 file is refused
    // before anything is read.
    WriteFile(tmp / "bad.reg", "REGEDIT4\r\n[HKEY_CURRENT_USER\\X]\r\n\"v\"=\"\xe2\x82\"\r\n");
    EXPECT_EQ(ReadInChunks(tmp / "bad.reg", 1).rfind("error line 3: this line is not valid text", 0), 0u);
    WriteFile(tmp / "bad.reg", Utf16File(head) + "x");
    EXPECT_EQ(ReadInChunks(tmp / "bad.reg", 4).rfind("error line 1: the file is UTF-16 but has an odd number", 0), 0u);
    EXPECT_EQ(ReadInChunks(tmp / "missing.reg", 4).rfind("error Cannot open", 0), 0u);
}

TEST(RegImportStreaming, AnErrorNearTheEndOfALargeFileChangesNothing) {
    TempDir tmp;
    CopyRegistryFiles(Fixtures() / "fresh", tmp / "prefix");
    // A broken link (its target is nowhere): creating a key below it fails only when the
    // import is applied, after everything before it has been changed.
    WriteFile(tmp / "prefix/user.reg",
              ReadFile(tmp / "prefix/user.reg") +
                  "\n[Software\\\\Broken] 1796703114\n#time=1dd86ca425578ce\n#link\n"
                  "\"SymbolicLinkValue\"=hex(6):5c,00,4e,00,6f,00,77,00,68,00,65,00,72,00,65,00\n");
    const std::string before = ReadFile(tmp / "prefix/user.reg");
    std::u16string text = u"Windows Registry Editor Version 5.00\r\n";
    for (int i = 0; i < 20000; ++i)
        text += u"\r\n[HKEY_CURRENT_USER\\Software\\Big\\K" + qv::reg::ToUtf16(std::to_string(i)) +
                u"]\r\n\"v\"=\"value " + qv::reg::ToUtf16(std::to_string(i)) + u"\"\r\n\"h\"=hex:01,02,03\r\n";
    const size_t lines = 1 + 20000 * 4;
    const std::vector<std::pair<std::u16string, std::string>> endings = {
        {u"\"bad\"=hex:0g\r\n", "line " + std::to_string(lines + 1) + ": "},
        {u"[HKEY_CURRENT_USER\\Software\\Broken\\Below]\r\n", "line " + std::to_string(lines + 1) + ": the key cannot be created"},
    };
    for (const auto& [ending, expected] : endings) {
        WriteFile(tmp / "big.reg", Utf16File(text + ending));
        RegistryStore store(tmp / "prefix");
        std::string error;
        EXPECT_FALSE(qv::ImportRegFile(store, tmp / "big.reg", error, 4096));
        EXPECT_NE(error.find(expected), std::string::npos) << error;
        EXPECT_NE(error.find("Nothing was imported"), std::string::npos) << error;
        EXPECT_EQ(store.Find(qv::RegRoot::CurrentUser, u"Software\\Big\\K0"), nullptr);
        EXPECT_EQ(ReadFile(tmp / "prefix/user.reg"), before);
    }
    // Without the bad line, all of it is there, also the last key.
    WriteFile(tmp / "big.reg", Utf16File(text));
    RegistryStore store(tmp / "prefix");
    std::string error;
    ASSERT_TRUE(qv::ImportRegFile(store, tmp / "big.reg", error, 4096)) << error;
    RegistryStore reread(tmp / "prefix");
    const qv::reg::Key* last = reread.Find(qv::RegRoot::CurrentUser, u"Software\\Big\\K19999");
    ASSERT_NE(last, nullptr);
    const auto* v = last->FindValue(u"v");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->data.size(), (std::u16string(u"value 19999").size() + 1) * 2);
}

TEST(RegeditExportStreaming, TheFileHoldsTheTextAndAFailedWriteLeavesTheOldFile) {
    TempDir tmp;
    CopyRegistryFiles(Fixtures() / "testprefix-files", tmp / "prefix");
    RegistryStore store(tmp / "prefix");
    std::u16string text;
    std::string error;
    ASSERT_TRUE(qv::RegeditExportText(store, "", text, error)) << error;
    ASSERT_GT(text.size(), 1u << 20);  // written in many pieces
    const fs::path out = tmp / "out" / "whole.reg";
    fs::create_directories(out.parent_path());
    ASSERT_TRUE(qv::RegeditExportFile(store, "", out, error)) << error;
    EXPECT_TRUE(ReadFile(out) == Utf16File(text));

    // A disk that fills up halfway: the earlier file stays whole and nothing is left beside it.
    WriteFile(out, "earlier");
    qv::SetWriteFaultHook([](size_t written) { return written < (3u << 20); });
    bool ok = qv::RegeditExportFile(store, "", out, error);
    qv::SetWriteFaultHook(nullptr);
    EXPECT_FALSE(ok);
    EXPECT_NE(error.find("Cannot write"), std::string::npos) << error;
    EXPECT_EQ(ReadFile(out), "earlier");
    EXPECT_EQ(std::distance(fs::directory_iterator(out.parent_path()), fs::directory_iterator()), 1);

    // A key that does not exist: no file at all.
    EXPECT_FALSE(qv::RegeditExportFile(store, "HKEY_CURRENT_USER\\No Such Key", tmp / "out" / "none.reg", error));
    EXPECT_FALSE(fs::exists(tmp / "out" / "none.reg"));
    EXPECT_EQ(std::distance(fs::directory_iterator(out.parent_path()), fs::directory_iterator()), 1);
}

TEST(RegImportStreaming, WhatCanBeReadOnlyOnceIsCollectedFirst) {
    TempDir tmp;
    CopyRegistryFiles(Fixtures() / "fresh", tmp / "prefix");
    const std::string before = ReadFile(tmp / "prefix/user.reg");
    const std::string good = "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Piped]\r\n\"v\"=dword:00000007\r\n";
    const fs::path fifo = tmp / "pipe.reg";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto importThroughPipe = [&](const std::string& bytes, std::string& error) {
        std::thread writer([&] { WriteFile(fifo, bytes); });
        RegistryStore store(tmp / "prefix");
        bool ok = qv::ImportRegFile(store, fifo, error, 7);
        writer.join();
        return ok;
    };
    std::string error;
    EXPECT_FALSE(importThroughPipe(good + "\"w\"=hex:zz\r\n", error));
    EXPECT_NE(error.find("pipe.reg, line 4"), std::string::npos) << error;
    EXPECT_EQ(ReadFile(tmp / "prefix/user.reg"), before);
    ASSERT_TRUE(importThroughPipe(good, error)) << error;
    RegistryStore reread(tmp / "prefix");
    const qv::reg::Key* k = reread.Find(qv::RegRoot::CurrentUser, u"Software\\Piped");
    ASSERT_NE(k, nullptr);
    ASSERT_NE(k->FindValue(u"v"), nullptr);

    // A folder is no file: it cannot be read, and says so.
    RegistryStore store(tmp / "prefix");
    EXPECT_FALSE(qv::ImportRegFile(store, tmp / "prefix", error));
    EXPECT_NE(error.find("Cannot read"), std::string::npos) << error;
}

// An import walks on from the key it opened before when the next path goes deeper. Paths
// that only begin with the same letters, other spellings, other roots and keys deleted on
// the way must still land where their full paths say.
TEST(RegImportStreaming, EveryKeyLandsWhereItsFullPathSays) {
    TempDir tmp;
    CopyRegistryFiles(Fixtures() / "fresh", tmp / "prefix");
    const std::string text =
        "REGEDIT4\r\n"
        "[HKEY_CURRENT_USER\\Software\\T]\r\n"
        "[HKEY_CURRENT_USER\\Software\\T\\A]\r\n\"v\"=dword:00000001\r\n"
        "[HKEY_CURRENT_USER\\Software\\T\\A\\B]\r\n"
        "[HKEY_CURRENT_USER\\Software\\T\\A2]\r\n"
        "[HKEY_CURRENT_USER\\Software\\T\\a\\C]\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\T\\A]\r\n"
        "[HKEY_CURRENT_USER\\Software\\T\\A\\B\\D]\r\n"
        "[-HKEY_CURRENT_USER\\Software\\T\\A\\B]\r\n"
        "[HKEY_CURRENT_USER\\Software\\T\\A\\B\\E]\r\n\"w\"=dword:00000002\r\n"
        "[HKEY_CURRENT_USER\\Software\\T\\A\\B\\E]\r\n"
        "[HKEY_CURRENT_USER\\Software\\T\\A\\\\F]\r\n";
    WriteFile(tmp / "keys.reg", text);
    {
        RegistryStore store(tmp / "prefix");
        std::string error;
        ASSERT_TRUE(qv::ImportRegFile(store, tmp / "keys.reg", error)) << error;
    }
    RegistryStore store(tmp / "prefix");
    auto names = [&](qv::RegRoot root, std::u16string_view path) {
        std::string joined;
        if (const qv::reg::Key* k = store.Find(root, path))
            for (const qv::reg::Key* s : k->Subkeys()) joined += qv::reg::ToUtf8(s->Name()) + " ";
        else
            joined = "(none)";
        return joined;
    };
    EXPECT_EQ(names(qv::RegRoot::CurrentUser, u"Software\\T"), "A A2 ");
    EXPECT_EQ(names(qv::RegRoot::CurrentUser, u"Software\\T\\A"), "B C F ");
    EXPECT_EQ(names(qv::RegRoot::CurrentUser, u"Software\\T\\A\\B"), "E ");
    EXPECT_EQ(names(qv::RegRoot::CurrentUser, u"Software\\T\\A2"), "");
    EXPECT_EQ(names(qv::RegRoot::LocalMachine, u"Software\\T"), "A ");
    EXPECT_EQ(names(qv::RegRoot::LocalMachine, u"Software\\T\\A"), "");
    const qv::reg::Key* e = store.Find(qv::RegRoot::CurrentUser, u"Software\\T\\A\\B\\E");
    ASSERT_NE(e, nullptr);
    EXPECT_NE(e->FindValue(u"w"), nullptr);
}

// Inside a batch that holds changes of its own, a bad file must leave those changes and
// add none of its own; a good one joins them and is saved when the batch ends.
TEST(RegImportStreaming, AnImportInsideABatchKeepsTheBatchsChanges) {
    TempDir tmp;
    CopyRegistryFiles(Fixtures() / "fresh", tmp / "prefix");
    const std::string good = "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Imported]\r\n\"v\"=dword:00000007\r\n";
    WriteFile(tmp / "bad.reg", good + "\"w\"=hex:zz\r\n");
    WriteFile(tmp / "good.reg", good);
    RegistryStore store(tmp / "prefix");
    {
        auto lock = store.WriteLock();
        store.BeginBatch();
        qv::reg::Key* mine = store.Create(qv::RegRoot::CurrentUser, u"Software\\Mine", nullptr, nullptr);
        ASSERT_NE(mine, nullptr);
        ASSERT_EQ(store.SetValue(mine, u"kept", 4, {1, 0, 0, 0}), 0);
    }
    std::string error;
    EXPECT_FALSE(qv::ImportRegFile(store, tmp / "bad.reg", error));
    EXPECT_NE(error.find("Nothing was imported"), std::string::npos) << error;
    EXPECT_EQ(store.Find(qv::RegRoot::CurrentUser, u"Software\\Imported"), nullptr);
    ASSERT_NE(store.Find(qv::RegRoot::CurrentUser, u"Software\\Mine"), nullptr);
    ASSERT_TRUE(qv::ImportRegFile(store, tmp / "good.reg", error)) << error;
    {
        auto lock = store.WriteLock();
        ASSERT_EQ(store.EndBatch(), 0);
    }
    RegistryStore reread(tmp / "prefix");
    const qv::reg::Key* mine = reread.Find(qv::RegRoot::CurrentUser, u"Software\\Mine");
    ASSERT_NE(mine, nullptr);
    EXPECT_NE(mine->FindValue(u"kept"), nullptr);
    const qv::reg::Key* imported = reread.Find(qv::RegRoot::CurrentUser, u"Software\\Imported");
    ASSERT_NE(imported, nullptr);
    EXPECT_NE(imported->FindValue(u"v"), nullptr);
}
