// libFuzzer target: the .reg importer.
//
// 1. ParseRegFile on arbitrary bytes (UTF-16LE with a byte-order mark, or 8-bit): no crash,
//    no undefined behaviour.
// 2. The same text in the other encoding (when it can carry it) gives the same result: the
//    same changes, or the same error. So does the file read from disk a few bytes at a time
//    (lines, CR LF pairs, surrogate pairs and UTF-8 sequences split between reads).
// 3. A file that parses is applied to a small prefix's registry, all or nothing: when the
//    import fails, memory and files are as before; when it succeeds, the files hold what
//    memory holds, and every value and key the file sets last is there.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "backup/reg_file_reader.h"
#include "backup/reg_import.h"
#include "fuzz_prefix.h"
#include "platform/registry/reg_text.h"
#include "platform/registry/registry_store.h"

using namespace qv;

namespace {

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "%s\n", what.c_str());
    __builtin_trap();
}

// The prefix's registry: a class, a link that works (as Wine's Wow6432Node classes), one
// that leads out of every file, and a user default file that was read with a bad line (so
// that nothing may be saved into it).
const char kSystem[] =
    "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n\n"
    "[Software\\\\Broken] 1796703114\n#time=1dd86ca425578ce\n#link\n"
    "\"SymbolicLinkValue\"=hex(6):5c,00,4e,00,6f,00,77,00,68,00,65,00,72,00,65,00\n\n"
    "[Software\\\\Classes\\\\.txt] 1796703114\n#time=1dd86ca425578ce\n@=\"txtfile\"\n\"Content Type\"=\"text/plain\"\n\n"
    "[Software\\\\Wow6432Node\\\\Classes] 1796703114\n#time=1dd86ca425578ce\n#link\n"
    "\"SymbolicLinkValue\"=hex(6):5c,00,52,00,45,00,47,00,49,00,53,00,54,00,52,00,59,00,5c,00,4d,00,61,00,\\\n"
    "  63,00,68,00,69,00,6e,00,65,00,5c,00,53,00,6f,00,66,00,74,00,77,00,61,00,72,00,65,00,5c,00,43,00,6c,\\\n"
    "  00,61,00,73,00,73,00,65,00,73,00\n\n"
    "[System\\\\CurrentControlSet\\\\Hardware Profiles\\\\Current] 1796703114\n#time=1dd86ca425578ce\n";
const char kUser[] =
    "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n\n"
    "[Software\\\\Example] 1796703114\n#time=1dd86ca425578ce\n\"Count\"=dword:0000000a\n\"Name\"=\"old\"\n\n"
    "[Software\\\\Example\\\\Deep\\\\Er] 1796703114\n#time=1dd86ca425578ce\n\"x\"=hex:01,02\n";
const char kUserDefault[] =
    "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\.Default\n\n#arch=win64\n\n"
    "[Control Panel] 1796703114\n#time=1dd86ca425578ce\nnot a registry line\n";
const char* const kFiles[3][2] = {{"system.reg", kSystem}, {"user.reg", kUser}, {"userdef.reg", kUserDefault}};

qvfuzz::FuzzPrefix& Prefix() {
    static qvfuzz::FuzzPrefix prefix;
    static const bool filled = [] {
        for (const auto& f : kFiles) prefix.Write(f[0], f[1]);
        return true;
    }();
    (void)filled;
    return prefix;
}

std::string Describe(const RegImportPlan& plan) {
    std::string s;
    for (const RegImportOp& op : plan.ops) {
        s += std::to_string(static_cast<int>(op.kind)) + " " + std::to_string(static_cast<int>(op.root)) + " [" +
             reg::ToUtf8(op.path) + "] \"" + reg::ToUtf8(op.name) + "\" " + std::to_string(op.type) + " " +
             std::to_string(op.data.size()) + " line " + std::to_string(op.line) + "\n";
    }
    return s;
}

bool SameOps(const RegImportPlan& a, const RegImportPlan& b) {
    if (a.ops.size() != b.ops.size() || a.regedit4 != b.regedit4) return false;
    for (size_t i = 0; i < a.ops.size(); ++i) {
        const RegImportOp& x = a.ops[i];
        const RegImportOp& y = b.ops[i];
        if (x.kind != y.kind || x.root != y.root || x.path != y.path || x.name != y.name || x.type != y.type ||
            x.data != y.data || x.line != y.line)
            return false;
    }
    return true;
}

// The text of 8-bit bytes when they are valid UTF-8 (the only code page the reader knows).
bool Utf8Text(std::string_view bytes, std::u16string& text) {
    bool bad = false;
    text = reg::ToUtf16(bytes, false, &bad);
    return !bad;
}

bool HasLoneSurrogate(std::u16string_view s) {
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] >= 0xD800 && s[i] <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            ++i;
            continue;
        }
        if (s[i] >= 0xD800 && s[i] <= 0xDFFF) return true;
    }
    return false;
}

std::string Utf16File(std::u16string_view text) {
    std::string bytes = "\xff\xfe";
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xff);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

// The same text in the other encoding, when that encoding carries it unchanged; empty when not.
std::string OtherEncoding(std::string_view bytes) {
    if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xff && static_cast<uint8_t>(bytes[1]) == 0xfe) {
        if (bytes.size() % 2) return {};
        std::u16string text((bytes.size() - 2) / 2, u'\0');
        for (size_t i = 0; i < text.size(); ++i)
            text[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 + 2 * i]) |
                                            (static_cast<uint8_t>(bytes[3 + 2 * i]) << 8));
        // A leading U+FEFF would become a UTF-8 byte-order mark, which the 8-bit reader skips.
        if (HasLoneSurrogate(text) || (!text.empty() && text[0] == 0xFEFF)) return {};
        std::string utf8 = reg::ToUtf8(text);
        if (utf8.size() >= 2 && static_cast<uint8_t>(utf8[0]) == 0xff) return {};
        return utf8;
    }
    if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xfe && static_cast<uint8_t>(bytes[1]) == 0xff) return {};
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xef\xbb\xbf") bytes.remove_prefix(3);
    std::u16string text;
    if (!Utf8Text(bytes, text)) return {};
    return Utf16File(text);
}

// Equal trees: names, values, classes and link flags (not times).
bool SameTree(const reg::Key& a, const reg::Key& b) {
    std::vector<std::pair<const reg::Key*, const reg::Key*>> pending{{&a, &b}};
    while (!pending.empty()) {
        auto [x, y] = pending.back();
        pending.pop_back();
        if (x->Name() != y->Name() || x->KeyClass() != y->KeyClass() || x->isLink != y->isLink ||
            x->Subkeys().size() != y->Subkeys().size() || x->Values().size() != y->Values().size())
            return false;
        for (size_t i = 0; i < x->Values().size(); ++i) {
            const reg::Value& v = x->Values()[i];
            const reg::Value& w = y->Values()[i];
            if (v.name != w.name || v.type != w.type || !reg::SameBytes(v.data, w.data)) return false;
        }
        for (size_t i = 0; i < x->Subkeys().size(); ++i) pending.emplace_back(x->Subkeys()[i], y->Subkeys()[i]);
    }
    return true;
}

const reg::Branch kBranches[3] = {reg::Branch::Machine, reg::Branch::User, reg::Branch::UserDefault};

void CheckApply(const RegImportPlan& plan) {
    qvfuzz::FuzzPrefix& prefix = Prefix();
    RegistryStore store(prefix.Root());
    std::shared_ptr<reg::Key> before[3];
    for (int i = 0; i < 3; ++i) before[i] = reg::CloneTree(store.BranchRoot(kBranches[i]));

    std::string error;
    bool ok = ApplyRegImport(store, plan, error);
    auto lock = store.ReadLock();
    if (!ok) {
        for (int i = 0; i < 3; ++i) {
            if (!SameTree(*before[i], store.BranchRoot(kBranches[i])))
                Fail(std::string("a failed import (") + error + ") left a change in memory in " + kFiles[i][0] +
                     "\n" + Describe(plan));
            if (prefix.Read(kFiles[i][0]) != kFiles[i][1])
                Fail(std::string("a failed import (") + error + ") changed " + kFiles[i][0] + "\n" + Describe(plan));
        }
        return;
    }
    if (!error.empty()) Fail("an import that succeeded reported: " + error);

    // Saved: a fresh load of the files gives what memory holds.
    {
        RegistryStore fresh(prefix.Root());
        for (int i = 0; i < 3; ++i)
            if (store.Serialize(kBranches[i]) != fresh.Serialize(kBranches[i]))
                Fail(std::string("after an import, ") + kFiles[i][0] + " does not hold what memory holds\n" +
                     Describe(plan));
    }

    // Every key the file creates and every value it sets is there, unless a later line
    // deletes a key, or deletes or sets a value of the same name (possibly through a view
    // or a link onto the same key).
    for (size_t i = 0; i < plan.ops.size(); ++i) {
        const RegImportOp& op = plan.ops[i];
        if (op.kind != RegImportOp::Kind::CreateKey && op.kind != RegImportOp::Kind::SetValue) continue;
        bool overridden = false;
        for (size_t j = i + 1; j < plan.ops.size() && !overridden; ++j) {
            const RegImportOp& later = plan.ops[j];
            overridden = later.kind == RegImportOp::Kind::DeleteKey ||
                         (op.kind == RegImportOp::Kind::SetValue && later.kind != RegImportOp::Kind::CreateKey &&
                          reg::NamesEqual(later.name, op.name));
        }
        if (overridden) continue;
        const reg::Key* k = store.Find(op.root, op.path);
        if (!k) Fail("line " + std::to_string(op.line) + ": the imported key is missing\n" + Describe(plan));
        if (op.kind == RegImportOp::Kind::CreateKey) continue;
        const reg::Value* v = k->FindValue(op.name);
        if (!v || v->type != op.type || !reg::SameBytes(v->data, op.data))
            Fail("line " + std::to_string(op.line) + ": the imported value is missing or different\n" + Describe(plan));
    }

    for (const auto& f : kFiles) prefix.Write(f[0], f[1]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    RegImportPlan plan;
    std::string error;
    bool ok = ParseRegFile(bytes, plan, error);
    if (ok != error.empty() || (!ok && !plan.ops.empty())) Fail("inconsistent result: " + error);

    {
        // The same bytes as a file, read in chunks of 1 to 13 bytes.
        static qvfuzz::FuzzPrefix folder;
        folder.Write("input.reg", bytes);
        RegImportPlan chunked;
        RegPlanSink sink(chunked);
        std::string chunkedError;
        const size_t chunk = 1 + size % 13;
        RegReadResult r = ReadRegFile(folder.Root() / "input.reg", sink, chunkedError, chunk);
        if (r == RegReadResult::Done ? !ok || !SameOps(plan, chunked) : ok || chunkedError != error)
            Fail("the file read in chunks of " + std::to_string(chunk) + " reads differently:\n" + error + "\n" +
                 Describe(plan) + "----\n" + chunkedError + "\n" + Describe(chunked));
    }

    std::string other = OtherEncoding(bytes);
    if (!other.empty()) {
        RegImportPlan plan2;
        std::string error2;
        bool ok2 = ParseRegFile(other, plan2, error2);
        if (ok2 != ok || error2 != error || !SameOps(plan, plan2))
            Fail("the two encodings of one text read differently:\n" + error + "\n" + Describe(plan) + "----\n" +
                 error2 + "\n" + Describe(plan2));
    }

    if (ok && !plan.ops.empty()) CheckApply(plan);
    return 0;
}
