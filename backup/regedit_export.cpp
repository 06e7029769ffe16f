#include "backup/regedit_export.h"

#include <windows.h>

#include <algorithm>
#include <bit>
#include <functional>

#include "backup/reg_file_reader.h"
#include "backup/reg_root_names.h"
#include "platform/registry/atomic_file.h"
#include "platform/registry/reg_text.h"
#include "platform/registry/registry_store.h"

namespace qv {

namespace {

using reg::Key;

// Text is handed on in pieces of about this many units when it goes to a file.
constexpr size_t kSpillUnits = 1 << 16;

// Receives the text written so far (and empties it); null when the text is kept whole.
using Spill = std::function<void(std::u16string&)>;

void AppendAscii(std::u16string& out, const char* s) {
    while (*s) out += static_cast<char16_t>(*s++);
}

void AppendEscapedUnit(std::u16string& out, char16_t c) {
    switch (c) {
        case u'\\': out += u"\\\\"; break;
        case u'"': out += u"\\\""; break;
        case u'\r': out += u"\\r"; break;
        case u'\n': out += u"\\n"; break;
        default: out += c;
    }
}

void AppendEscaped(std::u16string& out, std::u16string_view s) {
    for (char16_t c : s) AppendEscapedUnit(out, c);
}

const char16_t kHexDigits[] = u"0123456789abcdef";

void AppendHexByte(std::u16string& out, uint8_t b) {
    out += kHexDigits[b >> 4];
    out += kHexDigits[b & 15];
}

// Lowercase hexadecimal without leading zeros.
void AppendHexNumber(std::u16string& out, uint32_t v) {
    char16_t buf[8];
    size_t n = 0;
    do {
        buf[n++] = kHexDigits[v & 15];
        v >>= 4;
    } while (v);
    while (n) out += buf[--n];
}

// A REG_SZ whose quoted form gives back the same bytes: terminated, nothing after a NUL.
bool IsPlainString(const uint8_t* d, size_t n) {
    if (n < 2 || n % 2 || d[n - 1] || d[n - 2]) return false;
    for (size_t i = 0; i + 2 < n; i += 2)
        if (!d[i] && !d[i + 1]) return false;
    return true;
}

void AppendValue(std::u16string& out, std::u16string_view name, uint32_t type, const uint8_t* data, size_t size) {
    size_t lineStart = out.size();
    if (name.empty()) {
        out += u"@=";
    } else {
        out += u'"';
        AppendEscaped(out, name);
        out += u"\"=";
    }
    if (type == REG_SZ && IsPlainString(data, size)) {
        out += u'"';
        for (size_t i = 0; i + 2 < size; i += 2)
            AppendEscapedUnit(out, static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
        out += u"\"\r\n";
        return;
    }
    if (type == REG_DWORD && size == 4) {
        uint32_t v = static_cast<uint32_t>(data[0] | (data[1] << 8) | (data[2] << 16)) |
                     (static_cast<uint32_t>(data[3]) << 24);
        out += u"dword:";
        for (int shift = 28; shift >= 0; shift -= 4) out += kHexDigits[(v >> shift) & 15];
        out += u"\r\n";
        return;
    }
    if (type == REG_BINARY) {
        out += u"hex:";
    } else {
        out += u"hex(";
        AppendHexNumber(out, type);
        out += u"):";
    }
    size_t count = out.size() - lineStart;
    for (size_t i = 0; i < size; ++i) {
        AppendHexByte(out, data[i]);
        if (i + 1 == size) break;
        out += u',';
        count += 3;
        if (count >= 77) {
            out += u"\\\r\n  ";
            count = 2;
        }
    }
    out += u"\r\n";
}

void AppendKey(std::u16string& out, std::u16string_view path, const Key* k) {
    out += u"\r\n";
    if (path.find_first_of(u"\r\n") == std::u16string_view::npos) {
        out += u'[';
        out += path;
    } else {
        // A key name with a line break cannot stand between the brackets: the exact path goes
        // into a comment line that our reader takes instead of the bracket text, and the
        // bracket text shows the breaks as U+FFFD for other readers.
        AppendAscii(out, kExactKeyComment);
        for (char16_t c : path)
            for (int shift = 12; shift >= 0; shift -= 4) out += kHexDigits[(c >> shift) & 15];
        out += u"\r\n[";
        for (char16_t c : path) out += (c == u'\r' || c == u'\n') ? u'\uFFFD' : c;
    }
    out += u"]\r\n";
    if (!k) return;
    for (const auto& v : k->Values()) {
        if (k->isLink && reg::NamesEqual(v.name, u"SymbolicLinkValue")) continue;
        AppendValue(out, v.name, v.type, v.data.data(), v.data.size());
    }
}

// Writes `top` and everything below it, depth first in the registry's order. Link keys
// show their target's content; a link back into its own ancestry is not entered again.
void AppendTree(std::u16string& out, const RegistryStore& store, std::u16string_view topPath, const Key* top,
                const Spill& spill) {
    struct Frame {
        const Key* key;     // as listed by its parent (a link is resolved when it is written)
        size_t parentPath;  // length of the parent's path in `path`
        size_t depth;
    };
    // Depth first, the path of the key being written is always at the start of `path`: a
    // key's parent is written before it and its path is not overwritten in between.
    std::u16string path(topPath);
    std::vector<const Key*> ancestors;
    std::vector<Frame> stack{{top, 0, 0}};
    while (!stack.empty()) {
        Frame f = stack.back();
        stack.pop_back();
        if (f.depth > 0) {
            path.resize(f.parentPath);
            path += u'\\';
            path += f.key->Name();
        }
        ancestors.resize(f.depth);
        const Key* k = f.key;
        if (k && k->isLink) {
            const Key* target = store.ResolveLink(k);
            bool loops = std::find(ancestors.begin(), ancestors.end(), target) != ancestors.end();
            k = loops ? nullptr : target;
        }
        AppendKey(out, path, k);
        if (spill && out.size() >= kSpillUnits) spill(out);
        if (!k) continue;
        ancestors.push_back(k);
        size_t first = stack.size();
        for (const auto& sub : k->Subkeys()) stack.push_back({&*sub, path.size(), f.depth + 1});
        std::reverse(stack.begin() + static_cast<std::ptrdiff_t>(first), stack.end());
    }
}

// The export's text into `text`, handed to `spill` in pieces when there is one.
bool WriteExport(RegistryStore& store, const std::string& key, std::u16string& text, const Spill& spill,
                 std::string& error) {
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
        AppendTree(text, store, u"HKEY_LOCAL_MACHINE", &store.BranchRoot(reg::Branch::Machine), spill);
        AppendKey(text, u"HKEY_USERS", nullptr);
        AppendTree(text, store, u"HKEY_USERS\\.Default", &store.BranchRoot(reg::Branch::UserDefault), spill);
        AppendTree(text, store, u"HKEY_USERS\\S-1-5-21-0-0-0-1000", &store.BranchRoot(reg::Branch::User), spill);
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
            AppendTree(text, store, top + u"\\.Default", &store.BranchRoot(reg::Branch::UserDefault), spill);
            AppendTree(text, store, top + u"\\S-1-5-21-0-0-0-1000", &store.BranchRoot(reg::Branch::User), spill);
        } else {
            AppendTree(text, store, top, k, spill);
        }
    }
    text += u"\r\n";
    if (spill) spill(text);
    return true;
}

// The export was refused before anything was written.
struct ExportRefused {};

}  // namespace

bool RegeditExportText(RegistryStore& store, const std::string& key, std::u16string& text, std::string& error) {
    return WriteExport(store, key, text, nullptr, error);
}

bool RegeditExportFile(RegistryStore& store, const std::string& key, const std::filesystem::path& file,
                       std::string& error) {
    try {
        WriteFileAtomically(file, [&](StagedFileWriter& w) {
            w.Write("\xff\xfe");
            std::u16string text;
            text.reserve(kSpillUnits + 1024);
            std::string bytes;
            auto spill = [&](std::u16string& pending) {
                if constexpr (std::endian::native == std::endian::little) {
                    // The units in memory are already UTF-16LE.
                    w.Write(std::string_view(reinterpret_cast<const char*>(pending.data()), pending.size() * 2));
                } else {
                    bytes.resize(2 * pending.size());
                    char* p = bytes.data();
                    for (char16_t c : pending) {
                        *p++ = static_cast<char>(c & 0xff);
                        *p++ = static_cast<char>(c >> 8);
                    }
                    w.Write(bytes);
                }
                pending.clear();
            };
            if (!WriteExport(store, key, text, spill, error)) throw ExportRefused{};
        });
    } catch (const ExportRefused&) {
        return false;
    } catch (const FileWriteError& e) {
        error = e.what();
        return false;
    }
    return true;
}

}  // namespace qv
