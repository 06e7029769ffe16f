#include "platform/registry/wine_hive_format.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/registry/reg_text.h"

namespace qv::reg {

std::u16string BranchPath(Branch b) {
    switch (b) {
        case Branch::Machine: return u"REGISTRY\\Machine";
        case Branch::User: return u"REGISTRY\\User\\S-1-5-21-0-0-0-1000";
        case Branch::UserDefault: return u"REGISTRY\\User\\.Default";
    }
    return u"";
}

// ---- writing ---------------------------------------------------------------------------------

namespace {

const char kEscapes[32] = {'.', '.', '.', '.', '.', '.', '.', 'a', 'b', 't', 'n', 'v', 'f', 'r', '.', '.',
                           '.', '.', '.', '.', '.', '.', '.', '.', '.', '.', '.', 'e', '.', '.', '.', '.'};

bool IsAsciiHexDigit(char16_t c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

void AppendFormatted(std::string& out, const char* fmt, unsigned v) {
    char buf[32];
    int n = std::snprintf(buf, sizeof buf, fmt, v);
    out.append(buf, static_cast<size_t>(n));
}

}  // namespace

size_t AppendWineEscaped(std::string& out, std::u16string_view s, const char delims[2]) {
    size_t start = out.size();
    for (size_t i = 0; i < s.size(); ++i) {
        char16_t c = s[i];
        bool hasNext = i + 1 < s.size();
        if (c > 127) {
            // Four digits when the next character would otherwise be read as a fifth digit.
            if (hasNext && s[i + 1] < 128 && IsAsciiHexDigit(s[i + 1]))
                AppendFormatted(out, "\\x%04x", c);
            else
                AppendFormatted(out, "\\x%x", c);
            continue;
        }
        if (c < 32) {
            if (kEscapes[c] != '.') {
                out += '\\';
                out += kEscapes[c];
            } else if (hasNext && s[i + 1] >= '0' && s[i + 1] <= '7') {
                AppendFormatted(out, "\\%03o", c);
            } else {
                AppendFormatted(out, "\\%o", c);
            }
            continue;
        }
        if (c == '\\' || c == static_cast<char16_t>(delims[0]) || c == static_cast<char16_t>(delims[1]))
            out += '\\';
        out += static_cast<char>(c);
    }
    return out.size() - start;
}

namespace {

bool IsTerminatedString(const Value& v) {
    size_t n = v.data.size();
    return n >= 2 && n % 2 == 0 && v.data[n - 2] == 0 && v.data[n - 1] == 0;
}

std::u16string UnitsOf(const std::vector<uint8_t>& data, size_t bytes) {
    std::u16string s(bytes / 2, u'\0');
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    return s;
}

}  // namespace

void AppendWineValue(std::string& out, const Value& v) {
    size_t count;
    if (!v.name.empty()) {
        out += '"';
        count = 1 + AppendWineEscaped(out, v.name, "\"\"");
        out += "\"=";
        count += 2;
    } else {
        out += "@=";
        count = 2;
    }
    switch (v.type) {
        case 1:
        case 2:
        case 7:
            if (!IsTerminatedString(v)) break;
            if (v.type != 1) AppendFormatted(out, "str(%x):", v.type);
            out += '"';
            AppendWineEscaped(out, UnitsOf(v.data, v.data.size() - 2), "\"\"");
            out += "\"\n";
            return;
        case 4:
            if (v.data.size() != 4) break;
            AppendFormatted(out, "dword:%08x\n",
                            static_cast<unsigned>(v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) |
                                                  (static_cast<unsigned>(v.data[3]) << 24)));
            return;
        default:
            break;
    }
    size_t before = out.size();
    if (v.type == 3)
        out += "hex:";
    else
        AppendFormatted(out, "hex(%x):", v.type);
    count += out.size() - before;
    static const char kHex[] = "0123456789abcdef";
    for (size_t i = 0; i < v.data.size(); ++i) {
        out += kHex[v.data[i] >> 4];
        out += kHex[v.data[i] & 15];
        count += 2;
        if (i + 1 < v.data.size()) {
            out += ',';
            if (++count > 76) {
                out += "\\\n  ";
                count = 2;
            }
        }
    }
    out += '\n';
}

std::string SerializeWineHive(const Key& root, Branch branch, const std::string& arch) {
    std::string out;
    out += "WINE REGISTRY Version 2\n;; All keys relative to ";
    AppendWineEscaped(out, BranchPath(branch), "[]");
    out += "\n\n#arch=";
    out += arch.empty() ? "win64" : arch;
    out += "\n";

    // Depth-first pre-order with an explicit stack (trees may be nested very deep). The
    // path of the current key is kept escaped and extended/truncated as the walk moves.
    struct Frame {
        const Key* key;
        size_t pathLen;  // length of `path` before this key's element was appended
    };
    std::string path;
    std::vector<Frame> stack{{&root, 0}};
    while (!stack.empty()) {
        Frame f = stack.back();
        stack.pop_back();
        const Key* k = f.key;
        if (k->isVolatile) continue;
        path.resize(f.pathLen);
        if (k != &root) {
            if (!path.empty()) path += "\\\\";
            AppendWineEscaped(path, k->Name(), "[]");
        }
        if (!k->Values().empty() || k->Subkeys().empty() || k->keyClass || k->isLink) {
            out += "\n[";
            out += path;
            out += "] ";
            // A time read from a file may be any 64-bit pattern: the difference to 1970 is
            // taken modulo 2^64, so that it cannot overflow, then truncated to 32 bits.
            const int64_t sinceUnixEpoch = static_cast<int64_t>(static_cast<uint64_t>(k->modified) -
                                                                static_cast<uint64_t>(kTicks1601To1970));
            AppendFormatted(out, "%u", static_cast<unsigned>(sinceUnixEpoch / kTicksPerSecond));
            out += "\n#time=";
            uint64_t t = static_cast<uint64_t>(k->modified);
            AppendFormatted(out, "%x", static_cast<unsigned>(t >> 32));
            AppendFormatted(out, "%08x", static_cast<unsigned>(t & 0xffffffffu));
            out += '\n';
            if (k->keyClass) {
                out += "#class=\"";
                AppendWineEscaped(out, *k->keyClass, "\"\"");
                out += "\"\n";
            }
            if (k->isLink) out += "#link\n";
            for (const Value& v : k->Values()) AppendWineValue(out, v);
        }
        const auto& subs = k->Subkeys();
        size_t len = path.size();
        for (auto it = subs.rbegin(); it != subs.rend(); ++it) stack.push_back({it->get(), len});
    }
    return out;
}

// ---- reading ---------------------------------------------------------------------------------

namespace {

class HiveParser {
public:
    HiveParser(std::string_view text, const std::string& fileName, int64_t now, const LinkResolver& links)
        : text_(text), fileName_(fileName), now_(now), links_(links) {}

    ParsedHive Run();

private:
    bool NextLine();
    void Report(const char* what, bool lossy = true);
    // Parses an escaped string starting at `p` up to the unescaped delimiter. Returns the
    // position after the delimiter, or npos when the line has none.
    size_t ParseString(size_t p, char delim, std::u16string& out);
    void KeyLine(size_t p);
    void ValueLine(size_t p);
    void OptionLine(size_t p);
    void FinishKey();
    Key* FollowLinks(Key* link);
    void MoveKeysBelowLinks();

    std::string_view text_;
    const std::string& fileName_;
    int64_t now_;
    const LinkResolver& links_;

    size_t pos_ = 0;
    int lineNo_ = 0;
    std::string line_;

    ParsedHive result_;
    Key* current_ = nullptr;
    int64_t currentSeconds_ = 0;
    bool seenKey_ = false;
};

bool HiveParser::NextLine() {
    if (pos_ >= text_.size()) return false;
    size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    line_.assign(text_.substr(pos_, end - pos_));
    if (!line_.empty() && line_.back() == '\r') line_.pop_back();
    pos_ = end + 1;
    ++lineNo_;
    return true;
}

void HiveParser::Report(const char* what, bool lossy) {
    std::string shown = line_.size() > 200 ? line_.substr(0, 200) + "..." : line_;
    result_.report.messages.push_back(fileName_ + ":" + std::to_string(lineNo_) + ": " + what + " '" +
                                      shown + "'");
    if (lossy) result_.report.lossy = true;
}

size_t HiveParser::ParseString(size_t p, char delim, std::u16string& out) {
    out.clear();
    const std::string& s = line_;
    std::string raw;  // bytes not escaped, decoded as UTF-8 when flushed
    auto flush = [&] {
        if (raw.empty()) return;
        bool dropped = false;
        out += ToUtf16(raw, true, &dropped);
        if (dropped) result_.report.lossy = true;
        raw.clear();
    };
    while (p < s.size()) {
        char c = s[p];
        if (c == delim) {
            flush();
            return p + 1;
        }
        if (c != '\\') {
            raw += c;
            ++p;
            continue;
        }
        flush();
        ++p;
        if (p >= s.size()) break;
        char e = s[p];
        switch (e) {
            case 'a': out += u'\a'; ++p; continue;
            case 'b': out += u'\b'; ++p; continue;
            case 'e': out += u'\x1b'; ++p; continue;
            case 'f': out += u'\f'; ++p; continue;
            case 'n': out += u'\n'; ++p; continue;
            case 'r': out += u'\r'; ++p; continue;
            case 't': out += u'\t'; ++p; continue;
            case 'v': out += u'\v'; ++p; continue;
            case 'x': {
                ++p;
                unsigned v = 0;
                int n = 0;
                while (n < 4 && p < s.size() && std::isxdigit(static_cast<unsigned char>(s[p]))) {
                    char h = s[p];
                    v = v * 16 + static_cast<unsigned>(h <= '9' ? h - '0' : (h | 0x20) - 'a' + 10);
                    ++p;
                    ++n;
                }
                if (n == 0)
                    out += u'x';
                else
                    out += static_cast<char16_t>(v);
                continue;
            }
            default:
                if (e >= '0' && e <= '7') {
                    unsigned v = 0;
                    int n = 0;
                    while (n < 3 && p < s.size() && s[p] >= '0' && s[p] <= '7') {
                        v = v * 8 + static_cast<unsigned>(s[p] - '0');
                        ++p;
                        ++n;
                    }
                    out += static_cast<char16_t>(v);
                    continue;
                }
                raw += e;  // any other escaped character stands for itself
                ++p;
                continue;
        }
    }
    return std::string::npos;
}

// Where a path through `link` leads: links are followed until a key that is no link (or a
// link to itself, whose sections stay below it). Null when a link on the way cannot be
// resolved or the chain is longer than Wine follows.
Key* HiveParser::FollowLinks(Key* link) {
    constexpr int kMaxHops = 16;
    Key* k = link;
    for (int hops = 0; k->isLink; ++hops) {
        Key* target = hops < kMaxHops && links_ ? links_(k) : nullptr;
        if (!target) return nullptr;
        if (target == k) break;
        k = target;
    }
    return k;
}

namespace {

bool IsBelow(const Key* k, const Key* ancestor) {
    for (const Key* p = k->Parent(); p; p = p->Parent())
        if (p == ancestor) return true;
    return false;
}

// Copies everything below `from` into `to`: keys merge by name, and values, classes and
// link flags of `from`'s keys are set on their counterparts. Returns false when that
// replaced something `to` already held.
bool MergeSubkeys(Key* to, const Key& from) {
    bool clean = true;
    std::vector<std::pair<Key*, const Key*>> pending;
    for (const auto& c : from.Subkeys()) pending.emplace_back(to->GetOrAddSubkey(c->Name()), c.get());
    while (!pending.empty()) {
        auto [dst, src] = pending.back();
        pending.pop_back();
        if (!dst->modified && src->modified) dst->UpdateTimeUpward(src->modified);
        for (const Value& v : src->Values()) {
            if (dst->FindValue(v.name)) clean = false;
            dst->SetValue(v.name, v.type, v.data);
        }
        if (src->keyClass) {
            if (dst->keyClass && *dst->keyClass != *src->keyClass) clean = false;
            dst->keyClass = src->keyClass;
        }
        dst->isLink = dst->isLink || src->isLink;
        for (const auto& c : src->Subkeys()) pending.emplace_back(dst->GetOrAddSubkey(c->Name()), c.get());
    }
    return clean;
}

}  // namespace

// Sections that came before their link key's #link line were made below the link, where
// Wine keeps no keys: its next load of its own save puts them under the link's target. They
// go there now (or are dropped when the link leads nowhere), so that a save of what was
// loaded reads back the same.
void HiveParser::MoveKeysBelowLinks() {
    constexpr int kMaxRounds = 16;
    for (int round = 0; round <= kMaxRounds; ++round) {
        bool moved = false;
        std::vector<Key*> pending{result_.root.get()};
        while (!pending.empty()) {
            Key* k = pending.back();
            pending.pop_back();
            if (k->isLink && !k->Subkeys().empty()) {
                Key* target = round < kMaxRounds ? FollowLinks(k) : nullptr;
                if (target == k) {
                    // A link to itself: sections below it are read back below it.
                } else {
                    if (target && IsBelow(target, k)) target = nullptr;
                    std::string where = fileName_ + ": keys below the link key '" +
                                        ToUtf8(k->PathFrom(result_.root.get())) + "'";
                    if (!target) {
                        result_.report.messages.push_back(where + " were dropped: the link leads nowhere");
                        result_.report.lossy = true;
                    } else if (MergeSubkeys(target, *k)) {
                        result_.report.messages.push_back(where + " were moved to its target");
                    } else {
                        result_.report.messages.push_back(where + " were moved to its target, replacing data");
                        result_.report.lossy = true;
                    }
                    std::vector<std::u16string> names;
                    for (const auto& c : k->Subkeys()) names.push_back(c->Name());
                    for (const std::u16string& n : names) k->RemoveSubkey(n);
                    moved = true;
                    continue;
                }
            }
            for (const auto& c : k->Subkeys()) pending.push_back(c.get());
        }
        if (!moved) return;
    }
}

void HiveParser::FinishKey() {
    if (current_) current_->UpdateTimeUpward(currentSeconds_);
    current_ = nullptr;
}

void HiveParser::KeyLine(size_t p) {
    FinishKey();
    seenKey_ = true;
    std::u16string name;
    size_t after = ParseString(p + 1, ']', name);
    if (after == std::string::npos) {
        Report("Malformed key");
        Report("Error creating key");
        return;
    }
    // The number after ']' is the time in seconds; Wine reads it like scanf(" %u").
    const char* rest = line_.c_str() + after;
    while (*rest == ' ' || *rest == '\t') ++rest;
    if (std::isdigit(static_cast<unsigned char>(*rest))) {
        unsigned long secs = std::strtoul(rest, nullptr, 10);
        currentSeconds_ = static_cast<int64_t>(static_cast<uint32_t>(secs)) * kTicksPerSecond + kTicks1601To1970;
    } else {
        currentSeconds_ = now_;
    }

    Key* k = result_.root.get();
    size_t i = 0;
    while (i <= name.size()) {
        size_t j = name.find(u'\\', i);
        if (j == std::u16string::npos) j = name.size();
        if (j > i) {
            std::u16string_view elem(name.data() + i, j - i);
            if (elem.size() > kMaxKeyNameUnits) {
                Report("Error creating key");
                return;
            }
            if (k->isLink) {
                Key* target = FollowLinks(k);
                if (!target) {
                    Report("Error creating key");
                    return;
                }
                k = target;
            }
            k = k->GetOrAddSubkey(elem);
        }
        i = j + 1;
    }
    current_ = k;
}

void HiveParser::ValueLine(size_t p) {
    if (!current_) {
        Report("Value without key");
        return;
    }
    std::u16string name;
    if (line_[p] == '@') {
        ++p;
    } else {
        p = ParseString(p + 1, '"', name);
        if (p == std::string::npos) {
            Report("Malformed value name");
            return;
        }
    }
    const std::string& s = line_;
    while (p < s.size() && (s[p] == ' ' || s[p] == '\t')) ++p;
    bool ok = p < s.size() && s[p] == '=';
    if (ok) ++p;
    while (ok && p < s.size() && (s[p] == ' ' || s[p] == '\t')) ++p;

    uint32_t type = 0;
    std::vector<uint8_t> data;
    auto startsWith = [&](const char* tag) { return s.compare(p, std::strlen(tag), tag) == 0; };
    auto stringData = [&](size_t start, uint32_t t) {
        std::u16string str;
        if (ParseString(start, '"', str) == std::string::npos) return false;
        str += u'\0';
        type = t;
        data.resize(str.size() * 2);
        for (size_t i = 0; i < str.size(); ++i) {
            data[2 * i] = static_cast<uint8_t>(str[i] & 0xff);
            data[2 * i + 1] = static_cast<uint8_t>(str[i] >> 8);
        }
        return true;
    };
    if (!ok) {
    } else if (startsWith("\"")) {
        ok = stringData(p + 1, 1);
    } else if (startsWith("str:\"")) {
        ok = stringData(p + 5, 1);
    } else if (startsWith("str(2):\"")) {
        ok = stringData(p + 8, 2);
    } else if (startsWith("str(7):\"")) {
        ok = stringData(p + 8, 7);
    } else if (startsWith("dword:")) {
        unsigned long v = std::strtoul(s.c_str() + p + 6, nullptr, 16);
        uint32_t d = static_cast<uint32_t>(v);
        type = 4;
        data = {static_cast<uint8_t>(d), static_cast<uint8_t>(d >> 8), static_cast<uint8_t>(d >> 16),
                static_cast<uint8_t>(d >> 24)};
    } else if (startsWith("hex:") || startsWith("hex(")) {
        const char* b = s.c_str() + p;
        if (b[3] == ':') {
            type = 3;
            b += 4;
        } else {
            char* end;
            type = static_cast<uint32_t>(std::strtoul(b + 4, &end, 16));
            if (end[0] != ')' || end[1] != ':') {
                ok = false;
            }
            b = end + 2;
        }
        // Byte list, continued on following lines after a backslash.
        std::string cont;
        while (ok) {
            while (std::isxdigit(static_cast<unsigned char>(*b))) {
                char* end;
                unsigned long v = std::strtoul(b, &end, 16);
                if (end == b || v > 0xff) {
                    ok = false;
                    break;
                }
                data.push_back(static_cast<uint8_t>(v));
                b = end;
                while (std::isspace(static_cast<unsigned char>(*b))) ++b;
                if (*b == ',') ++b;
                while (std::isspace(static_cast<unsigned char>(*b))) ++b;
            }
            if (!ok) break;
            while (std::isspace(static_cast<unsigned char>(*b))) ++b;
            if (!*b) break;
            if (*b != '\\' || !NextLine()) {
                ok = false;
                break;
            }
            cont = line_;
            b = cont.c_str();
            while (std::isspace(static_cast<unsigned char>(*b))) ++b;
        }
    } else {
        ok = false;
    }
    if (name.size() > kMaxValueNameUnits) {
        result_.report.lossy = true;  // Wine drops such a value without a word
        return;
    }
    if (!ok) {
        Report("Malformed value");
        type = 0;
        data.clear();
    } else if (current_->FindValue(name)) {
        // A repeated name replaces the earlier data: the first data is lost.
        Report("Duplicate value");
    }
    current_->SetValue(name, type, std::move(data));
}

void HiveParser::OptionLine(size_t p) {
    const char* b = line_.c_str() + p;
    if (!seenKey_) {
        if (std::strncmp(b, "#arch=", 6) == 0) result_.arch = b + 6;
        return;
    }
    if (!current_) return;
    if (std::strncmp(b, "#time=", 6) == 0) {
        int64_t t = 0;
        for (const char* q = b + 6; std::isxdigit(static_cast<unsigned char>(*q)); ++q)
            t = static_cast<int64_t>((static_cast<uint64_t>(t) << 4) |
                                     static_cast<unsigned>(*q <= '9' ? *q - '0' : (*q | 0x20) - 'a' + 10));
        current_->UpdateTimeUpward(t);
    } else if (std::strncmp(b, "#class=\"", 8) == 0) {
        std::u16string cls;
        if (ParseString(p + 8, '"', cls) != std::string::npos) current_->keyClass = std::move(cls);
        else Report("Malformed class");
    } else if (std::strncmp(b, "#link", 5) == 0) {
        current_->isLink = true;
    }
}

ParsedHive HiveParser::Run() {
    result_.root = std::make_shared<Key>(u"");
    if (!NextLine() || line_ != "WINE REGISTRY Version 2") {
        // An empty branch in its place, with the load time as every key that no line dated.
        result_.root->modified = now_;
        result_.report.rejected = true;
        result_.report.messages.push_back(fileName_ + " is not a valid registry file");
        return std::move(result_);
    }
    if (text_.back() != '\n') {
        // Wine ends every file with a line end: this one was cut off (a disk that filled
        // up, a copy that stopped), so whatever followed is gone.
        result_.report.lossy = true;
        result_.report.messages.push_back(fileName_ + " ends in the middle of a line: it looks truncated");
    }
    while (NextLine()) {
        size_t p = 0;
        while (p < line_.size() && (line_[p] == ' ' || line_[p] == '\t')) ++p;
        if (p == line_.size()) continue;
        switch (line_[p]) {
            case '[': KeyLine(p); break;
            case '@':
            case '"': ValueLine(p); break;
            case '#': OptionLine(p); break;
            case ';': break;
            default: Report("Unrecognized input"); break;
        }
    }
    FinishKey();
    MoveKeysBelowLinks();
    // Keys that no line gave a time (the branch root, keys made only through links) get
    // the load time, as Wine gives them.
    std::vector<Key*> pending{result_.root.get()};
    while (!pending.empty()) {
        Key* k = pending.back();
        pending.pop_back();
        if (!k->modified) k->modified = now_;
        for (auto& c : k->Subkeys()) pending.push_back(c.get());
    }
    return std::move(result_);
}

}  // namespace

ParsedHive ParseWineHive(std::string_view text, const std::string& fileName, int64_t now,
                         const LinkResolver& resolveLink) {
    HiveParser parser(text, fileName, now, resolveLink);
    return parser.Run();
}

LinkResolver SameBranchLinkResolver(Branch branch) {
    return [branch](Key* link) -> Key* {
        const Value* v = link->FindValue(u"SymbolicLinkValue");
        if (!v || v->type != 6) return nullptr;  // REG_LINK
        std::u16string target(v->data.size() / 2, u'\0');
        for (size_t i = 0; i < target.size(); ++i)
            target[i] = static_cast<char16_t>(v->data[2 * i] | (v->data[2 * i + 1] << 8));
        std::u16string base = u"\\" + BranchPath(branch);
        if (target.size() < base.size() || CompareNames(std::u16string_view(target).substr(0, base.size()), base))
            return nullptr;
        std::u16string_view rest = std::u16string_view(target).substr(base.size());
        if (!rest.empty() && rest.front() != u'\\') return nullptr;
        Key* k = link;
        while (k->Parent()) k = k->Parent();
        while (!rest.empty()) {
            while (!rest.empty() && rest.front() == u'\\') rest.remove_prefix(1);
            if (rest.empty()) break;
            size_t j = std::min(rest.find(u'\\'), rest.size());
            std::u16string_view elem = rest.substr(0, j);
            rest.remove_prefix(j);
            if (elem.size() > kMaxKeyNameUnits || k->isLink) return nullptr;
            k = k->GetOrAddSubkey(elem);
        }
        return k;
    };
}

}  // namespace qv::reg
