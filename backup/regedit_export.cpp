#include "backup/regedit_export.h"

#include <windows.h>

#include <algorithm>

#include "backup/reg_file_reader.h"
#include "backup/reg_root_names.h"
#include "platform/registry/atomic_file.h"
#include "platform/registry/reg_text.h"
#include "platform/registry/registry_store.h"

namespace qv {

namespace {

using reg::Key;

void AppendAscii(std::u16string& out, const char* s) {
    while (*s) out += static_cast<char16_t>(*s++);
}

void AppendEscaped(std::u16string& out, std::u16string_view s) {
    for (char16_t c : s) {
        switch (c) {
            case u'\\': out += u"\\\\"; break;
            case u'"': out += u"\\\""; break;
            case u'\r': out += u"\\r"; break;
            case u'\n': out += u"\\n"; break;
            default: out += c;
        }
    }
}

void AppendHexByte(std::u16string& out, uint8_t b) {
    static const char16_t kDigits[] = u"0123456789abcdef";
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
}

// A REG_SZ whose quoted form gives back the same bytes: terminated, nothing after a NUL.
bool IsPlainString(std::span<const uint8_t> d) {
    size_t n = d.size();
    if (n < 2 || n % 2 || d[n - 1] || d[n - 2]) return false;
    for (size_t i = 0; i + 2 < n; i += 2)
        if (!d[i] && !d[i + 1]) return false;
    return true;
}

void AppendValue(std::u16string& out, const reg::Value& v) {
    size_t lineStart = out.size();
    if (v.name.empty()) {
        out += u"@=";
    } else {
        out += u'"';
        AppendEscaped(out, v.name);
        out += u"\"=";
    }
    if (v.type == REG_SZ && IsPlainString(v.data)) {
        out += u'"';
        std::u16string text(v.data.size() / 2 - 1, u'\0');
        for (size_t i = 0; i < text.size(); ++i)
            text[i] = static_cast<char16_t>(v.data[2 * i] | (v.data[2 * i + 1] << 8));
        AppendEscaped(out, text);
        out += u"\"\r\n";
        return;
    }
    if (v.type == REG_DWORD && v.data.size() == 4) {
        char buf[24];
        std::snprintf(buf, sizeof buf, "dword:%08x\r\n",
                      static_cast<unsigned>(v.data[0] | (v.data[1] << 8) | (v.data[2] << 16)) |
                          (static_cast<unsigned>(v.data[3]) << 24));
        AppendAscii(out, buf);
        return;
    }
    if (v.type == REG_BINARY) {
        AppendAscii(out, "hex:");
    } else {
        char buf[24];
        std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
        AppendAscii(out, buf);
    }
    size_t count = out.size() - lineStart;
    for (size_t i = 0; i < v.data.size(); ++i) {
        AppendHexByte(out, v.data[i]);
        if (i + 1 == v.data.size()) break;
        out += u',';
        count += 3;
        if (count >= 77) {
            out += u"\\\r\n  ";
            count = 2;
        }
    }
    out += u"\r\n";
}

void AppendKey(std::u16string& out, const std::u16string& path, const Key* k) {
    out += u"\r\n";
    if (path.find_first_of(u"\r\n") == std::u16string::npos) {
        out += u'[';
        out += path;
    } else {
        // A key name with a line break cannot stand between the brackets: the exact path goes
        // into a comment line that our reader takes instead of the bracket text, and the
        // bracket text shows the breaks as U+FFFD for other readers.
        AppendAscii(out, kExactKeyComment);
        for (char16_t c : path) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "%04x", static_cast<unsigned>(c));
            AppendAscii(out, buf);
        }
        out += u"\r\n[";
        for (char16_t c : path) out += (c == u'\r' || c == u'\n') ? u'\uFFFD' : c;
    }
    out += u"]\r\n";
    if (!k) return;
    for (const reg::Value& v : k->Values()) {
        if (k->isLink && reg::NamesEqual(v.name, u"SymbolicLinkValue")) continue;
        AppendValue(out, v);
    }
}

// Writes `top` and everything below it, depth first in the registry's order. Link keys
// show their target's content; a link back into its own ancestry is not entered again.
void AppendTree(std::u16string& out, const RegistryStore& store, const std::u16string& topPath, const Key* top) {
    struct Frame {
        const Key* key;
        std::u16string path;
        size_t depth;
    };
    std::vector<const Key*> ancestors;
    std::vector<Frame> stack{{top, topPath, 0}};
    while (!stack.empty()) {
        Frame f = std::move(stack.back());
        stack.pop_back();
        ancestors.resize(f.depth);
        const Key* k = f.key;
        if (k && k->isLink) {
            const Key* target = store.ResolveLink(k);
            bool loops = std::find(ancestors.begin(), ancestors.end(), target) != ancestors.end();
            k = loops ? nullptr : target;
        }
        AppendKey(out, f.path, k);
        if (!k) continue;
        ancestors.push_back(k);
        const auto subs = k->Subkeys();
        for (auto it = subs.rbegin(); it != subs.rend(); ++it)
            stack.push_back({*it, f.path + u"\\" + std::u16string((*it)->Name()), f.depth + 1});
    }
}

}  // namespace

bool RegeditExportText(RegistryStore& store, const std::string& key, std::u16string& text, std::string& error) {
    auto lock = store.ReadLock();
    text.clear();
    AppendAscii(text, "Windows Registry Editor Version 5.00\r\n");
    if (key.empty()) {
        // A whole-registry export without one of its files would be a backup that cannot
        // bring that part back.
        std::vector<std::string> unreadable = store.UnreadableHives();
        if (!unreadable.empty()) {
            error = unreadable.front() + " The export would lack that part of the registry, so none was written.";
            return false;
        }
        AppendTree(text, store, u"HKEY_LOCAL_MACHINE", &store.BranchRoot(reg::Branch::Machine));
        AppendKey(text, u"HKEY_USERS", nullptr);
        AppendTree(text, store, u"HKEY_USERS\\.Default", &store.BranchRoot(reg::Branch::UserDefault));
        AppendTree(text, store, u"HKEY_USERS\\S-1-5-21-0-0-0-1000", &store.BranchRoot(reg::Branch::User));
    } else {
        RegRoot root;
        std::string rest;
        if (!SplitRootName(key, &root, &rest)) {
            error = "Invalid system key [" + key + "]";
            return false;
        }
        const Key* k = store.Find(root, reg::ToUtf16(rest), true);
        if (!k || (root == RegRoot::Users && rest.empty())) {
            if (!(root == RegRoot::Users && rest.empty())) {
                error = "Unable to open the registry key '" + key + "'.";
                return false;
            }
        }
        std::u16string top = reg::ToUtf16(key);
        while (!top.empty() && top.back() == u'\\') top.pop_back();
        if (root == RegRoot::Users && rest.empty()) {
            AppendKey(text, top, nullptr);
            AppendTree(text, store, top + u"\\.Default", &store.BranchRoot(reg::Branch::UserDefault));
            AppendTree(text, store, top + u"\\S-1-5-21-0-0-0-1000", &store.BranchRoot(reg::Branch::User));
        } else {
            AppendTree(text, store, top, k);
        }
    }
    text += u"\r\n";
    return true;
}

bool RegeditExportFile(RegistryStore& store, const std::string& key, const std::filesystem::path& file,
                       std::string& error) {
    std::u16string text;
    if (!RegeditExportText(store, key, text, error)) return false;
    std::string bytes;
    bytes.reserve(2 + text.size() * 2);
    bytes += '\xff';
    bytes += '\xfe';
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xff);
        bytes += static_cast<char>(c >> 8);
    }
    try {
        WriteFileAtomically(file, bytes);
    } catch (const FileWriteError& e) {
        error = e.what();
        return false;
    }
    return true;
}

}  // namespace qv
