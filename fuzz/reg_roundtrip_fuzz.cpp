// libFuzzer target: export, then import, of arbitrary registry contents.
//
// The input describes keys and values below HKEY_CURRENT_USER\Software\Fuzz: names of any
// UTF-16 units (CR, LF, U+0000, lone surrogates, quotes, backslashes in value names...), any
// types and data. They are exported with both writers, the registry editor's UTF-16 export
// and the 8-bit partial-backup writer, and each file is read back with the importer's
// parser. Either the writer refused (the export failed, or the backup writer said it is not
// complete), or the file gives back exactly the same keys and values.
//
// A failure prints one line "ROUNDTRIP FAILURE <writer>: <class> -- <detail>" naming the
// first difference and the kinds of characters in the name concerned.
//
// With QV_ROUNDTRIP_SURVEY=DIR set, failures do not stop the run: each class of failure is
// printed once, and the smallest input found for it is kept as DIR/<class>.bin. With
// QV_ROUNDTRIP_PROBE=1 set, it runs a fixed table of names instead (see Probe).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "backup/partial_backup_check.h"
#include "backup/reg_export_writer.h"
#include "backup/reg_file_reader.h"
#include "backup/regedit_export.h"
#include "fuzz_prefix.h"
#include "platform/prefix/prefix.h"
#include "platform/registry/reg_text.h"
#include "platform/registry/registry_store.h"

using namespace qv;

namespace {

const char kUser[] =
    "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n\n"
    "[Software] 1796703114\n#time=1dd86ca425578ce\n";
const char kSystem[] = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n\n"
                       "[Software] 1796703114\n#time=1dd86ca425578ce\n";
const std::u16string kBase = u"Software\\Fuzz";

qvfuzz::FuzzPrefix& FuzzFolder() {
    static qvfuzz::FuzzPrefix folder;
    static const bool ready = [] {
        folder.Write("user.reg", kUser);
        folder.Write("system.reg", kSystem);
        qv::SetActivePrefix(std::make_shared<qv::Prefix>(folder.Root()));
        return true;
    }();
    (void)ready;
    return folder;
}

// Code units that trouble text formats, drawn often; any other unit now and then.
char16_t Unit(FuzzedDataProvider& in, bool keyName) {
    static const char16_t kSpecial[] = {u'a',    u'B',    u'\r',   u'\n',   0,      u'"',    u'\\',   u']',
                                        u'[',    u'=',    u';',    u' ',    u'\t',  u'@',    u'-',    u',',
                                        0xD800,  0xDC00,  0xDBFF,  0xFFFF,  0xFEFF, 0xE9,    0x263A,  0x7F,
                                        0x1B,    0xC4,    0x80,    0xFFFD};
    char16_t c;
    if (in.ConsumeBool())
        c = kSpecial[in.ConsumeIntegralInRange<size_t>(0, sizeof kSpecial / sizeof kSpecial[0] - 1)];
    else
        c = in.ConsumeIntegral<char16_t>();
    if (keyName && c == u'\\') c = u'/';  // a key name cannot hold the path separator
    return c;
}

std::u16string Name(FuzzedDataProvider& in, bool keyName) {
    size_t n = in.ConsumeIntegralInRange<size_t>(keyName ? 1 : 0, 12);
    std::u16string s;
    for (size_t i = 0; i < n; ++i) s += Unit(in, keyName);
    return s;
}

std::vector<uint8_t> Data(FuzzedDataProvider& in, uint32_t type) {
    if ((type == 1 || type == 2 || type == 7) && in.ConsumeBool()) {
        // Text-shaped: UTF-16 units, usually terminated.
        std::u16string s = Name(in, false);
        if (type == 7) s += u'\0';
        if (in.ConsumeProbability<float>() < 0.9f) s += u'\0';
        std::vector<uint8_t> d;
        for (char16_t c : s) {
            d.push_back(static_cast<uint8_t>(c & 0xff));
            d.push_back(static_cast<uint8_t>(c >> 8));
        }
        return d;
    }
    return in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 48));
}

uint32_t Type(FuzzedDataProvider& in) {
    if (in.ConsumeProbability<float>() < 0.85f) return in.ConsumeIntegralInRange<uint32_t>(0, 11);
    return in.ConsumeIntegral<uint32_t>();
}

std::string Units(std::u16string_view s) {
    std::string out;
    for (char16_t c : s) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%s%04x", out.empty() ? "" : " ", static_cast<unsigned>(c));
        out += buf;
    }
    return out.empty() ? "(empty)" : out;
}

// The kinds of troublesome characters in a name, e.g. "CR lone-surrogate".
std::string Kinds(std::u16string_view s) {
    std::string k;
    auto add = [&](const char* w) {
        if (k.find(w) == std::string::npos) k += std::string(k.empty() ? "" : " ") + w;
    };
    for (size_t i = 0; i < s.size(); ++i) {
        char16_t c = s[i];
        if (c == u'\r') add("CR");
        else if (c == u'\n') add("LF");
        else if (c == 0) add("NUL");
        else if (c == u'"') add("quote");
        else if (c == u'\\') add("backslash");
        else if (c == u']') add("bracket");
        else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            add("surrogate-pair");
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) add("lone-surrogate");
        else if (c == 0xFEFF) add("BOM");
        else if (c < 32 || c == 0x7F) add("control");
        else if (c > 127) add("non-ASCII");
    }
    if (!s.empty() && (s.front() == u' ' || s.front() == u'\t')) add("leading-blank");
    if (!s.empty() && (s.back() == u' ' || s.back() == u'\t')) add("trailing-blank");
    if (!s.empty() && s.front() == u'-') add("leading-dash");
    if (s.empty()) add("empty");
    return k.empty() ? "plain" : k;
}

struct Failure {
    std::string cls;
    std::string detail;
};

// The writer declined an entry, with its reason: an allowed outcome.
struct Refused {
    std::string why;
};

std::string_view g_input;
bool g_probing = false;

// `what` is the class of failure, `detail` the names' code units.
[[noreturn]] void Fail(const char* writer, const std::string& what, const std::string& file,
                       const std::string& detail = "") {
    const std::string cls = std::string(writer) + ": " + what;
    if (g_probing) throw Failure{what, detail};
    static const char* survey = std::getenv("QV_ROUNDTRIP_SURVEY");
    if (!survey) {
        std::fprintf(stderr, "ROUNDTRIP FAILURE %s -- %s\n---- file ----\n%s\n", cls.c_str(), detail.c_str(),
                     file.c_str());
        __builtin_trap();
    }
    static std::map<std::string, size_t> smallest;
    auto it = smallest.find(cls);
    if (it == smallest.end() || g_input.size() < it->second) {
        if (it == smallest.end()) std::fprintf(stderr, "ROUNDTRIP CLASS %s -- %s\n", cls.c_str(), detail.c_str());
        smallest[cls] = g_input.size();
        std::string name;
        for (char c : cls) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        std::ofstream(std::string(survey) + "/" + name.substr(0, 120) + ".bin", std::ios::binary)
            .write(g_input.data(), static_cast<std::streamsize>(g_input.size()));
    }
    throw Failure{cls, detail};
}

// The file's keys and values as a tree below HKCU\Software\Fuzz (the file names it in full).
std::shared_ptr<reg::Key> TreeOfPlan(const char* writer, const RegImportPlan& plan, const std::string& file) {
    std::shared_ptr<reg::Key> top = reg::NewKeyTree(u"Fuzz");
    for (const RegImportOp& op : plan.ops) {
        if (op.kind != RegImportOp::Kind::CreateKey && op.kind != RegImportOp::Kind::SetValue)
            Fail(writer, "the file deletes something (line " + std::to_string(op.line) + ")", file);
        if (op.root != RegRoot::CurrentUser || op.path.compare(0, kBase.size(), kBase) != 0 ||
            (op.path.size() > kBase.size() && op.path[kBase.size()] != u'\\'))
            Fail(writer, "a key outside the exported one [" + Kinds(op.path) + "]", file, Units(op.path));
        reg::Key* k = top.get();
        std::u16string_view rest = std::u16string_view(op.path).substr(kBase.size());
        while (!rest.empty()) {
            rest.remove_prefix(1);
            size_t j = rest.find(u'\\');
            std::u16string_view elem = rest.substr(0, j);
            if (elem.empty()) Fail(writer, "an empty key name in a path [" + Kinds(op.path) + "]", file, Units(op.path));
            k = k->GetOrAddSubkey(elem);
            rest.remove_prefix(j == std::u16string_view::npos ? rest.size() : j);
        }
        if (op.kind == RegImportOp::Kind::SetValue) {
            if (k->FindValue(op.name))
                Fail(writer, "a value comes twice [" + Kinds(op.name) + "]", file, Units(op.name));
            k->SetValue(op.name, op.type, op.data);
        }
    }
    return top;
}

// The first difference between what the registry holds and what the file gives back: its
// class and the names concerned. Empty when there is none.
std::pair<std::string, std::string> Difference(const reg::Key& stored, const reg::Key& read) {
    std::vector<std::pair<const reg::Key*, const reg::Key*>> pending{{&stored, &read}};
    while (!pending.empty()) {
        auto [s, r] = pending.back();
        pending.pop_back();
        for (const reg::Value& v : s->Values()) {
            const reg::Value* w = r->FindValue(v.name);
            const std::string where = "value name [" + Kinds(v.name) + "]";
            const std::string name = Units(v.name);
            if (!w) return {where + " is missing", name};
            if (w->name != v.name) return {where + " comes back as another name", name + " -> " + Units(w->name)};
            if (w->type != v.type)
                return {where + " comes back with another type",
                        name + ": " + std::to_string(v.type) + " -> " + std::to_string(w->type)};
            if (!reg::SameBytes(w->data, v.data)) {
                std::u16string text;
                for (size_t i = 0; i + 1 < v.data.size(); i += 2)
                    text += static_cast<char16_t>(v.data[i] | (v.data[i + 1] << 8));
                return {"data of type " + std::to_string(v.type) + " (as text [" + Kinds(text) +
                            "]) comes back different",
                        name + ": " + std::to_string(v.data.size()) + " bytes -> " + std::to_string(w->data.size()) +
                            "; text " + Units(text)};
            }
        }
        for (const reg::Value& w : r->Values())
            if (!s->FindValue(w.name)) return {"an extra value name [" + Kinds(w.name) + "]", Units(w.name)};
        for (const reg::Key* c : s->Subkeys()) {
            const reg::Key* d = r->FindSubkey(c->Name());
            const std::string where = "key name [" + Kinds(c->Name()) + "]";
            if (!d) return {where + " is missing", Units(c->Name())};
            if (d->Name() != c->Name())
                return {where + " comes back as another name", Units(c->Name()) + " -> " + Units(d->Name())};
            pending.emplace_back(c, d);
        }
        for (const reg::Key* d : r->Subkeys())
            if (!s->FindSubkey(d->Name())) return {"an extra key name [" + Kinds(d->Name()) + "]", Units(d->Name())};
    }
    return {};
}

// The text of line `n` (from 1) of a .reg file, for telling what broke it.
std::u16string LineOf(std::string_view bytes, int n) {
    std::u16string text;
    if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xff) {
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            text += static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8));
    } else {
        text = reg::ToUtf16(bytes);
    }
    size_t start = 0;
    for (int line = 1; line < n; ++line) {
        size_t end = text.find_first_of(u"\r\n", start);
        if (end == std::u16string::npos) return {};
        start = end + (text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n' ? 2 : 1);
    }
    size_t end = text.find_first_of(u"\r\n", start);
    return text.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start);
}

void Compare(const char* writer, std::string_view bytes, const reg::Key& stored) {
    std::string shown(bytes.substr(0, 4000));
    RegImportPlan plan;
    std::string error;
    if (!ParseRegFile(bytes, plan, error)) {
        // The class is the reader's complaint without its line number.
        size_t colon = error.find(": ");
        int line = std::atoi(error.c_str() + 5);
        std::u16string text = LineOf(bytes, line);
        Fail(writer, "the file does not read back: " + (colon == std::string::npos ? error : error.substr(colon + 2)),
             shown, error + "; the line: " + Units(text.substr(0, 80)));
    }
    std::shared_ptr<reg::Key> read = TreeOfPlan(writer, plan, shown);
    auto [cls, detail] = Difference(stored, *read);
    if (!cls.empty()) Fail(writer, cls, shown, detail);
}

// Exports HKCU\Software\Fuzz with both writers and reads each file back. A failure of one
// writer stops the check of that writer only (when failures do not stop the program).
void CheckWriters(RegistryStore& store, const reg::Key& stored, bool /*nulKeyName*/, std::string* regedit = nullptr,
                  std::string* backup = nullptr) {
    auto note = [](std::string* out, const std::string& what) {
        if (out) *out = what;
    };
    // The registry editor's export (UTF-16LE with a byte-order mark).
    try {
        std::u16string text;
        std::string error;
        if (RegeditExportText(store, "HKEY_CURRENT_USER\\Software\\Fuzz", text, error)) {
            std::string bytes = "\xff\xfe";
            for (char16_t c : text) {
                bytes += static_cast<char>(c & 0xff);
                bytes += static_cast<char>(c >> 8);
            }
            Compare("regedit-export", bytes, stored);
            note(regedit, "ok");
        } else {
            note(regedit, "refused: " + error);
        }
    } catch (const Failure& f) {
        note(regedit, f.cls + " (" + f.detail + ")");
    }

    // The partial-backup writer (8-bit, through the Reg*A functions), behind the gate the
    // repair puts before it: entries whose names .reg text cannot carry are refused.
    try {
        std::string refusal = BackupRefusal(store, BackupEntry{"HKEY_CURRENT_USER", "Software\\Fuzz", "", true});
        if (!refusal.empty()) throw Refused{refusal};
        CRegExportWriter writer;
        const std::string file = "C:\\roundtrip.reg";
        if (writer.WriteRegFileHeader(file)) {
            writer.ExportRegistryKey("HKEY_CURRENT_USER", "Software\\Fuzz", "", file);
            if (writer.m_bComplete) {
                Compare("backup-writer", FuzzFolder().Read("drive_c/roundtrip.reg"), stored);
                note(backup, "ok");
            } else {
                note(backup, "refused (incomplete)");
            }
        } else {
            note(backup, "refused (no file)");
        }
    } catch (const Refused& r) {
        note(backup, "refused: " + r.why);
    } catch (const Failure& f) {
        note(backup, f.cls + " (" + f.detail + ")");
    }
}

// QV_ROUNDTRIP_PROBE=1: instead of fuzzing, one name or text of each troublesome kind is put
// in each place (key name, value name, string data of each string type) and both writers'
// outcome printed, one line each; then the program ends.
void Probe() {
    g_probing = true;
    RegistryStore& store = qv::ActivePrefix()->Registry();
    using namespace std::string_literals;
    const std::pair<const char*, std::u16string> names[] = {
        {"plain", u"Name"s},           {"CR", u"a\rb"s},           {"LF", u"a\nb"s},
        {"NUL", u"a\0b"s},             {"lone high surrogate", u"a\xD800z"s},
        {"lone low surrogate", u"a\xDC00z"s}, {"surrogate pair", u"a\U0001F600z"s},
        {"quote", u"a\"b"s},           {"backslash", u"a\\b"s},    {"]", u"a]b"s},
        {"[", u"[a"s},                 {";", u";a"s},              {"=", u"a=b"s},
        {"leading blank", u" a"s},     {"trailing blank", u"a "s}, {"leading -", u"-a"s},
        {"@", u"@"s},                  {"U+FEFF", u"\xFEFF" u"a"s}, {"U+FFFF", u"a\xFFFF"s},
        {"ESC", u"a\x1b"s},            {"DEL", u"a\x7f"s},         {"non-ASCII", u"caf\xE9 \x2603"s},
        {"empty", u""s},
        // A line break followed by what reads as lines of a .reg file: a value of its own, and
        // a section of another key.
        {"CR LF + lines", u"x]\r\n\"Injected\"=\"1\"\r\n[HKEY_CURRENT_USER"s}};
    auto bytesOf = [](const std::u16string& s) {
        std::vector<uint8_t> d;
        for (char16_t c : s) {
            d.push_back(static_cast<uint8_t>(c & 0xff));
            d.push_back(static_cast<uint8_t>(c >> 8));
        }
        return d;
    };
    const char* places[] = {"key name", "value name", "REG_SZ text", "REG_EXPAND_SZ text", "REG_MULTI_SZ item"};
    for (const char* place : places) {
        for (const auto& [kind, name] : names) {
            const std::string where = place;
            if (where == "key name" && (name.empty() || name.find(u'\\') != std::u16string::npos)) continue;
            bool nul = false;
            {
                auto lock = store.WriteLock();
                store.DiscardChanges();
                long err = 0;
                reg::Key* k = store.Create(RegRoot::CurrentUser, kBase, nullptr, &err);
                if (where == "key name") {
                    store.Create(RegRoot::CurrentUser, kBase + u'\\' + name, nullptr, &err);
                    nul = name.find(u'\0') != std::u16string::npos;
                } else if (where == "value name") {
                    store.SetValue(k, name, 1, bytesOf(u"x"s + u'\0'));
                } else if (where == "REG_SZ text") {
                    store.SetValue(k, u"v", 1, bytesOf(name + u'\0'));
                } else if (where == "REG_EXPAND_SZ text") {
                    store.SetValue(k, u"v", 2, bytesOf(name + u'\0'));
                } else {
                    store.SetValue(k, u"v", 7, bytesOf(name + u'\0' + u"second"s + u'\0' + u'\0'));
                }
            }
            const reg::Key* stored = store.Find(RegRoot::CurrentUser, kBase);
            std::string regedit, backup;
            CheckWriters(store, *stored, nul, &regedit, &backup);
            std::printf("%-18s %-20s | regedit-export: %s | backup-writer: %s\n", place, kind, regedit.c_str(),
                        backup.c_str());
        }
    }
    auto lock = store.WriteLock();
    store.DiscardChanges();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (std::getenv("QV_ROUNDTRIP_PROBE")) {
        FuzzFolder();
        Probe();
        std::exit(0);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzFolder();
    RegistryStore& store = qv::ActivePrefix()->Registry();
    FuzzedDataProvider in(data, size);
    {
        auto lock = store.WriteLock();
        long err = 0;
        std::vector<std::u16string> keys{kBase};
        store.Create(RegRoot::CurrentUser, kBase, nullptr, &err);
        for (int step = 0; step < 48 && in.remaining_bytes() > 0; ++step) {
            const std::u16string& at = keys[in.ConsumeIntegralInRange<size_t>(0, keys.size() - 1)];
            if (in.ConsumeIntegralInRange<int>(0, 3) == 0) {
                if (keys.size() >= 16) continue;
                std::u16string path = at + u'\\' + Name(in, true);
                if (store.Create(RegRoot::CurrentUser, path, nullptr, &err)) keys.push_back(path);
            } else if (reg::Key* k = store.Find(RegRoot::CurrentUser, at)) {
                std::u16string name = Name(in, false);
                uint32_t type = Type(in);
                store.SetValue(k, name, type, Data(in, type));
            }
        }
    }
    bool nulKeyName = false;
    {
        auto lock = store.ReadLock();
        std::vector<const reg::Key*> pending{store.Find(RegRoot::CurrentUser, kBase)};
        while (!pending.empty() && pending.back()) {
            const reg::Key* k = pending.back();
            pending.pop_back();
            nulKeyName = nulKeyName || k->Name().find(u'\0') != std::u16string_view::npos;
            for (const reg::Key* c : k->Subkeys()) pending.push_back(c);
        }
    }
    const reg::Key* stored;
    {
        auto lock = store.ReadLock();
        stored = store.Find(RegRoot::CurrentUser, kBase);
    }
    if (!stored) __builtin_trap();

    g_input = std::string_view(reinterpret_cast<const char*>(data), size);

    CheckWriters(store, *stored, nulKeyName);

    auto lock = store.WriteLock();
    store.DiscardChanges();
    return 0;
}
