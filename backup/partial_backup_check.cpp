#include "backup/partial_backup_check.h"

#include <algorithm>
#include <cstdio>

#include "backup/reg_file_reader.h"
#include "backup/reg_root_names.h"
#include "platform/registry/reg_text.h"

namespace qv {

namespace {

using reg::Key;

// Keys nested deeper than Windows allows are not backed up.
constexpr size_t kMaxDepth = 512;

// A value as a section holds it (its own copy of name and data).
struct SectionValue {
    std::u16string name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

struct Section {
    RegRoot root;
    std::u16string path;
    std::vector<SectionValue> values;
};

// Path elements without empty ones, joined by backslashes: how the reader gives them.
std::u16string NormalPath(std::u16string_view path) {
    std::u16string out;
    size_t i = 0;
    while (i <= path.size()) {
        size_t j = path.find(u'\\', i);
        if (j == std::u16string_view::npos) j = path.size();
        if (j > i) {
            if (!out.empty()) out += u'\\';
            out.append(path.substr(i, j - i));
        }
        i = j + 1;
    }
    return out;
}

bool SurvivesText(std::u16string_view name) { return reg::ToUtf16(reg::ToUtf8(name)) == name; }

// What keeps a key name from standing between the brackets of a .reg section line.
std::string KeyNameProblem(std::u16string_view name) {
    for (char16_t c : name) {
        if (c == u'\n' || c == u'\r') return "holds a line break";
        if (c == 0) return "holds a NUL character";
    }
    if (!SurvivesText(name)) return "holds an unpaired UTF-16 surrogate";
    return {};
}

std::string Describe(const BackupEntry& e, std::u16string_view below = {}) {
    std::string s = e.rootName + (e.keyPath.empty() ? "" : "\\" + e.keyPath);
    if (!below.empty()) s += "\\" + PrintableName(below);
    return s;
}

const Key* TopKey(const RegistryStore& store, const BackupEntry& e, RegRoot* root, bool openLink) {
    std::string rest;
    if (!SplitRootName(e.rootName, root, &rest) || !rest.empty()) return nullptr;
    return store.Find(*root, reg::ToUtf16(e.keyPath), openLink);
}

// The sections the writer produces for one entry, from the store.
void ExpectedSections(const RegistryStore& store, const BackupEntry& e, std::vector<Section>& out) {
    RegRoot root;
    const Key* top = TopKey(store, e, &root, false);
    if (!top) return;
    // The writer walks the whole subtree also for one value, and an empty name (the default
    // value) writes every value: a backup may hold more than is deleted, never less.
    std::u16string wanted = reg::ToUtf16(e.valueName);
    bool all = e.wholeKey || wanted.empty();
    auto add = [&](const Key* k, std::u16string path) {
        Section s{root, NormalPath(path), {}};
        for (const auto& v : k->Values())
            if (all || reg::NamesEqual(v.name, wanted))
                s.values.push_back({std::u16string(v.name), v.type, std::vector<uint8_t>(v.data.begin(), v.data.end())});
        out.push_back(std::move(s));
    };
    add(top, reg::ToUtf16(e.keyPath));
    struct Frame {
        const Key* key;
        std::u16string path;
    };
    std::vector<Frame> stack{{top, reg::ToUtf16(e.keyPath)}};
    // Depth first in the registry's order, as the writer walks.
    while (!stack.empty()) {
        Frame f = std::move(stack.back());
        stack.pop_back();
        if (f.key != top) add(f.key, f.path);
        const auto& subs = f.key->Subkeys();
        size_t first = stack.size();
        for (const auto& s : subs) {
            const Key& child = *s;
            const Key* sub = child.isLink ? store.ResolveLink(&child) : &child;
            if (sub) stack.push_back({sub, f.path + u"\\" + std::u16string(child.Name())});
        }
        std::reverse(stack.begin() + static_cast<std::ptrdiff_t>(first), stack.end());
    }
}

void ParsedSections(const RegImportPlan& plan, std::vector<Section>& out) {
    for (const RegImportOp& op : plan.ops) {
        if (op.kind == RegImportOp::Kind::CreateKey) {
            out.push_back({op.root, op.path, {}});
        } else if (op.kind == RegImportOp::Kind::SetValue && !out.empty()) {
            out.back().values.push_back({op.name, op.type, op.data});
        } else {
            out.push_back({op.root, op.path, {}});  // a deletion: never written by a backup
            out.back().values.push_back({u"(deletion)", 0xffffffffu, {}});
        }
    }
}

std::string RootText(RegRoot r) {
    switch (r) {
        case RegRoot::ClassesRoot: return "HKEY_CLASSES_ROOT";
        case RegRoot::CurrentUser: return "HKEY_CURRENT_USER";
        case RegRoot::LocalMachine: return "HKEY_LOCAL_MACHINE";
        case RegRoot::Users: return "HKEY_USERS";
        case RegRoot::CurrentConfig: return "HKEY_CURRENT_CONFIG";
    }
    return "?";
}

}  // namespace

std::string PrintableName(std::u16string_view name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        char16_t c = name[i];
        bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
        if (high && i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF) {
            out += reg::ToUtf8(name.substr(i, 2));
            ++i;
            continue;
        }
        char buf[12];
        if (c == u'\n') out += "\\n";
        else if (c == u'\r') out += "\\r";
        else if (c == 0) out += "\\0";
        else if (c < 0x20) std::snprintf(buf, sizeof buf, "\\x%02x", static_cast<unsigned>(c)), out += buf;
        else if (high || low) std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c)), out += buf;
        else out += reg::ToUtf8(name.substr(i, 1));
    }
    return out;
}

std::string BackupRefusal(const RegistryStore& store, const BackupEntry& e) {
    auto lock = store.ReadLock();
    std::u16string path = reg::ToUtf16(e.keyPath);
    for (char16_t c : path)
        if (c == u'\n' || c == u'\r') return Describe(e) + ": the key path holds a line break, which a .reg file cannot carry";
    RegRoot root;
    const Key* linkOrKey = TopKey(store, e, &root, true);
    if (!linkOrKey) return {};  // gone: nothing to back up, nothing to delete
    if (linkOrKey->isLink) return Describe(e) + " is a registry link, which a .reg file cannot carry";
    // A value is written from every key of the subtree that holds one of its name, so the
    // whole subtree must be writable either way.
    const std::u16string wanted = reg::ToUtf16(e.valueName);
    const bool all = e.wholeKey || wanted.empty();
    struct Frame {
        const Key* key;
        std::u16string below;
        size_t depth;
    };
    std::vector<Frame> stack{{linkOrKey, u"", 0}};
    while (!stack.empty()) {
        Frame f = std::move(stack.back());
        stack.pop_back();
        if (f.depth + 1 >= kMaxDepth) return Describe(e) + " is nested deeper than any registry key may be";
        if (e.wholeKey && f.key->KeyClass())
            return Describe(e, f.below) + " carries a class name, which a .reg file cannot carry";
        for (const auto& v : f.key->Values())
            if ((all || reg::NamesEqual(v.name, wanted)) && !SurvivesText(v.name))
                return Describe(e, f.below) + ": the value name " + PrintableName(v.name) +
                       " cannot be written to a .reg file exactly";
        for (const auto& s : f.key->Subkeys()) {
            const Key& sub = *s;
            std::u16string below = f.below.empty() ? std::u16string(sub.Name()) : f.below + u"\\" + std::u16string(sub.Name());
            if (sub.isLink) return Describe(e, below) + " is a registry link, which a .reg file cannot carry";
            std::string problem = KeyNameProblem(sub.Name());
            if (!problem.empty())
                return Describe(e, below) + ": the key name " + problem + ", which a .reg file cannot carry";
            stack.push_back({&sub, below, f.depth + 1});
        }
    }
    return {};
}

std::string CompareBackupWithRegistry(const RegistryStore& store, std::string_view fileBytes,
                                      const std::vector<BackupEntry>& entries) {
    RegImportPlan plan;
    std::string error;
    if (!ParseRegFile(fileBytes, plan, error)) return "it cannot be read back (" + error + ")";
    std::vector<Section> expected, parsed;
    {
        auto lock = store.ReadLock();
        for (const BackupEntry& e : entries) ExpectedSections(store, e, expected);
    }
    ParsedSections(plan, parsed);
    for (size_t i = 0; i < expected.size() || i < parsed.size(); ++i) {
        if (i >= parsed.size())
            return "it lacks the key " + RootText(expected[i].root) + "\\" + PrintableName(expected[i].path);
        const Section& p = parsed[i];
        if (i >= expected.size())
            return "it holds the key " + RootText(p.root) + "\\" + PrintableName(p.path) + ", which it should not";
        const Section& x = expected[i];
        std::string where = RootText(x.root) + "\\" + PrintableName(x.path);
        if (p.root != x.root || p.path != x.path)
            return "it holds the key " + RootText(p.root) + "\\" + PrintableName(p.path) + " where " + where +
                   " belongs";
        for (size_t j = 0; j < x.values.size() || j < p.values.size(); ++j) {
            if (j >= p.values.size()) return "the value " + PrintableName(x.values[j].name) + " of " + where + " is missing";
            if (j >= x.values.size())
                return "the key " + where + " holds the value " + PrintableName(p.values[j].name) + ", which it should not";
            const SectionValue& a = x.values[j];
            const SectionValue& b = p.values[j];
            if (a.name != b.name)
                return "the key " + where + " holds the value " + PrintableName(b.name) + " where " +
                       PrintableName(a.name) + " belongs";
            if (a.type != b.type || a.data != b.data)
                return "the value " + PrintableName(a.name) + " of " + where + " would come back different";
        }
    }
    return {};
}

}  // namespace qv
