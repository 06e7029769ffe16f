#include "platform/registry/wine_hive_format.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <climits>
#include <unistd.h>
#include <cerrno>

#include "platform/registry/key_tree.h"
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
const char kHexDigits[] = "0123456789abcdef";

bool IsAsciiHexDigit(char16_t c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Appends `v` in hex without leading zeros, or with at least `width` digits.
void AppendHex(std::string& out, uint64_t v, int width = 1) {
    char buf[16];
    int n = 0;
    do {
        buf[15 - n++] = kHexDigits[v & 15];
        v >>= 4;
    } while (v || n < width);
    out.append(buf + 16 - n, static_cast<size_t>(n));
}

void AppendOctal(std::string& out, unsigned v, int width) {
    char buf[8];
    int n = 0;
    do {
        buf[7 - n++] = static_cast<char>('0' + (v & 7));
        v >>= 3;
    } while (v || n < width);
    out.append(buf + 8 - n, static_cast<size_t>(n));
}

void AppendDecimal(std::string& out, unsigned v) {
    char buf[12];
    int n = 0;
    do {
        buf[11 - n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v);
    out.append(buf + 12 - n, static_cast<size_t>(n));
}

// Wine's escaping of `count` code units that `unit(i)` yields. Runs of plain characters are
// copied in one step; returns the characters written.
// Characters written as they are: printable ASCII except the backslash (the delimiters are
// checked besides).
struct PlainTable {
    bool plain[128];
    constexpr PlainTable() : plain() {
        for (int c = 32; c < 128; ++c) plain[c] = c != '\\';
    }
};
constexpr PlainTable kPlain;

// Wine's escaping of `count` code units that `unit(i)` yields. Runs of plain characters are
// copied in one step; returns the characters written.
template <typename UnitAt>
size_t AppendEscapedUnits(std::string& out, size_t count, UnitAt unit, const char delims[2]) {
    const size_t start = out.size();
    const char16_t d0 = static_cast<unsigned char>(delims[0]), d1 = static_cast<unsigned char>(delims[1]);
    auto plain = [&](char16_t c) { return c < 128 && kPlain.plain[c] && c != d0 && c != d1; };
    size_t i = 0;
    while (i < count) {
        size_t j = i;
        while (j < count && plain(unit(j))) ++j;
        if (j > i) {
            size_t at = out.size();
            out.resize(at + (j - i));
            char* dst = out.data() + at;
            for (size_t k = i; k < j; ++k) *dst++ = static_cast<char>(unit(k));
            i = j;
            if (i == count) break;
        }
        char16_t c = unit(i);
        bool hasNext = i + 1 < count;
        char16_t next = hasNext ? unit(i + 1) : 0;
        if (c > 127) {
            // Four digits when the next character would otherwise be read as a fifth digit.
            out += "\\x";
            AppendHex(out, c, hasNext && next < 128 && IsAsciiHexDigit(next) ? 4 : 1);
        } else if (c < 32) {
            out += '\\';
            if (kEscapes[c] != '.')
                out += kEscapes[c];
            else
                AppendOctal(out, c, hasNext && next >= '0' && next <= '7' ? 3 : 1);
        } else {
            out += '\\';
            out += static_cast<char>(c);
        }
        ++i;
    }
    return out.size() - start;
}

bool IsTerminatedString(const Value& v) {
    size_t n = v.data.size();
    return n >= 2 && n % 2 == 0 && v.data[n - 2] == 0 && v.data[n - 1] == 0;
}

}  // namespace

size_t AppendWineEscaped(std::string& out, std::u16string_view s, const char delims[2]) {
    return AppendEscapedUnits(out, s.size(), [&](size_t i) { return s[i]; }, delims);
}

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
            if (v.type != 1) {
                out += "str(";
                AppendHex(out, v.type);
                out += "):";
            }
            out += '"';
            {
                const uint8_t* d = v.data.data();
                AppendEscapedUnits(
                    out, v.data.size() / 2 - 1,
                    [d](size_t i) { return static_cast<char16_t>(d[2 * i] | (d[2 * i + 1] << 8)); }, "\"\"");
            }
            out += "\"\n";
            return;
        case 4:
            if (v.data.size() != 4) break;
            out += "dword:";
            AppendHex(out,
                      static_cast<unsigned>(v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) |
                                            (static_cast<unsigned>(v.data[3]) << 24)),
                      8);
            out += '\n';
            return;
        default:
            break;
    }
    size_t before = out.size();
    if (v.type == 3) {
        out += "hex:";
    } else {
        out += "hex(";
        AppendHex(out, v.type);
        out += "):";
    }
    count += out.size() - before;
    const size_t n = v.data.size();
    // Each byte takes "xx," and a line holds what fits before column 77, then "\\\n  ": the
    // list is written in place into room for the most it can take, then cut back.
    const size_t at = out.size();
    out.resize(at + n * 3 + (n / 24 + 2) * 4 + 1);
    char* const base = out.data() + at;
    char* o = base;
    const uint8_t* d = v.data.data();
    for (size_t i = 0; i < n; ++i) {
        *o++ = kHexDigits[d[i] >> 4];
        *o++ = kHexDigits[d[i] & 15];
        count += 2;
        if (i + 1 < n) {
            *o++ = ',';
            if (++count > 76) {
                *o++ = '\\';
                *o++ = '\n';
                *o++ = ' ';
                *o++ = ' ';
                count = 2;
            }
        }
    }
    *o++ = '\n';
    out.resize(at + static_cast<size_t>(o - base));
}

namespace {

// Writes the tree into `out`; whenever it holds more than `flushAt` bytes, `flush` takes them.
void WriteHiveText(const Key& root, Branch branch, const std::string& arch, std::string& out, size_t flushAt,
                   const std::function<void(std::string_view)>* flush) {
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
        const auto keyClass = k->KeyClass();
        if (!k->Values().empty() || k->Subkeys().empty() || keyClass || k->isLink) {
            out += "\n[";
            out += path;
            out += "] ";
            // A time read from a file may be any 64-bit pattern: the difference to 1970 is
            // taken modulo 2^64, so that it cannot overflow, then truncated to 32 bits.
            const int64_t sinceUnixEpoch = static_cast<int64_t>(static_cast<uint64_t>(k->modified) -
                                                                static_cast<uint64_t>(kTicks1601To1970));
            AppendDecimal(out, static_cast<unsigned>(sinceUnixEpoch / kTicksPerSecond));
            out += "\n#time=";
            uint64_t t = static_cast<uint64_t>(k->modified);
            AppendHex(out, t >> 32);
            AppendHex(out, t & 0xffffffffu, 8);
            out += '\n';
            if (keyClass) {
                out += "#class=\"";
                AppendWineEscaped(out, *keyClass, "\"\"");
                out += "\"\n";
            }
            if (k->isLink) out += "#link\n";
            for (const Value& v : k->Values()) AppendWineValue(out, v);
        }
        const auto subs = k->Subkeys();
        size_t len = path.size();
        for (auto it = subs.rbegin(); it != subs.rend(); ++it) stack.push_back({*it, len});
        if (flush && out.size() >= flushAt) {
            (*flush)(out);
            out.clear();
        }
    }
    if (flush && !out.empty()) {
        (*flush)(out);
        out.clear();
    }
}

}  // namespace

std::string SerializeWineHive(const Key& root, Branch branch, const std::string& arch) {
    std::string out;
    WriteHiveText(root, branch, arch, out, 0, nullptr);
    return out;
}

void WriteWineHive(const Key& root, Branch branch, const std::string& arch,
                   const std::function<void(std::string_view)>& sink) {
    constexpr size_t kPiece = size_t(1) << 20;
    std::string out;
    out.reserve(kPiece + 64 * 1024);
    WriteHiveText(root, branch, arch, out, kPiece, &sink);
}

// ---- reading ---------------------------------------------------------------------------------

namespace {

// Lines of a file, from a text in memory or read from a file descriptor in pieces. A line
// is a view that stays valid until the next call.
class LineReader {
public:
    explicit LineReader(std::string_view text) : buf_(text) {}
    // The buffer is left uninitialised: only the pages the file is read into are touched,
    // so a small hive does not pay for a large buffer.
    LineReader(int fd, uint64_t maxBytes, size_t piece)
        : fd_(fd), maxBytes_(maxBytes), piece_(std::max<size_t>(piece, 2)),
          storage_(new char[piece_]), capacity_(piece_) {}

    // False at the end of the input (or after a read error, see Error()).
    bool Next(std::string_view& line) {
        for (;;) {
            const char* begin = buf_.data() + pos_;
            size_t left = buf_.size() - pos_;
            const void* nl = left ? std::memchr(begin, '\n', left) : nullptr;
            if (nl) {
                size_t len = static_cast<size_t>(static_cast<const char*>(nl) - begin);
                pos_ += len + 1;
                line = std::string_view(begin, len);
                lastByte_ = '\n';
                break;
            }
            if (fd_ < 0 || eof_) {
                if (!left) return false;
                pos_ += left;  // the last line has no line end
                line = std::string_view(begin, left);
                lastByte_ = begin[left - 1];
                break;
            }
            Refill();
        }
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return true;
    }

    // The last byte of the input seen so far ('\n' when it ended with a line end).
    char LastByte() const { return lastByte_; }
    // Why reading stopped early: empty when it did not.
    const std::string& Error() const { return error_; }
    bool TooLarge() const { return tooLarge_; }

private:
    // Moves the unfinished line to the front and reads more behind it.
    void Refill() {
        size_t left = buf_.size() - pos_;
        if (pos_ > 0 && left) std::memmove(storage_.get(), storage_.get() + pos_, left);
        pos_ = 0;
        // A line longer than the buffer makes the buffer grow.
        if (capacity_ - left < piece_ / 2) {
            std::unique_ptr<char[]> larger(new char[capacity_ * 2]);
            if (left) std::memcpy(larger.get(), storage_.get(), left);
            storage_ = std::move(larger);
            capacity_ *= 2;
        }
        size_t got = 0;
        while (!eof_) {
            ssize_t n = ::read(fd_, storage_.get() + left + got, capacity_ - left - got);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                error_ = std::strerror(errno);
                eof_ = true;
                break;
            }
            if (n == 0) {
                eof_ = true;
                break;
            }
            got += static_cast<size_t>(n);
            total_ += static_cast<uint64_t>(n);
            if (total_ > maxBytes_) {
                // A file that grows while we read it may not outgrow the limit either.
                tooLarge_ = true;
                eof_ = true;
                break;
            }
            break;
        }
        buf_ = std::string_view(storage_.get(), left + got);
    }

    std::string_view buf_;
    size_t pos_ = 0;
    int fd_ = -1;
    uint64_t maxBytes_ = 0;
    size_t piece_ = 0;
    uint64_t total_ = 0;
    bool eof_ = false;
    bool tooLarge_ = false;
    char lastByte_ = 0;
    std::string error_;
    std::unique_ptr<char[]> storage_;
    size_t capacity_ = 0;
};

// A reusable buffer that a parsed string's code units are written into.
class UnitBuffer {
public:
    char16_t* Reserve(size_t units) {
        if (units > capacity_) {
            capacity_ = std::max(units, capacity_ * 2);
            units_.reset(new char16_t[capacity_]);
        }
        return units_.get();
    }
    void SetLength(size_t n) { length_ = n; }
    std::u16string_view View() const { return {units_.get(), length_}; }

private:
    std::unique_ptr<char16_t[]> units_;
    size_t capacity_ = 0;
    size_t length_ = 0;
};

class HiveParser {
public:
    HiveParser(LineReader& lines, const std::string& fileName, int64_t now, const LinkResolver& links)
        : lines_(lines), fileName_(fileName), now_(now), links_(links) {}

    ParsedHive Run();

private:
    bool NextLine();
    void Report(const char* what, bool lossy = true);
    // Parses an escaped string starting at `p` up to the unescaped delimiter into `out`.
    // Returns the position after the delimiter, or npos when the line has none.
    size_t ParseString(size_t p, char delim, UnitBuffer& out);
    void KeyLine(size_t p);
    void ValueLine(size_t p);
    void OptionLine(size_t p);
    // Gives the current key the values read for it.
    void FinishKey();
    // `data` is copied into the tree unless it is there already.
    void AddValue(std::u16string_view name, uint32_t type, std::span<const uint8_t> data, bool inTree);
    Key* FollowLinks(Key* link);
    void MoveKeysBelowLinks();

    LineReader& lines_;
    const std::string& fileName_;
    int64_t now_;
    const LinkResolver& links_;

    int lineNo_ = 0;
    std::string_view line_;

    ParsedHive result_;
    KeyTree* tree_ = nullptr;
    Key* current_ = nullptr;
    int64_t currentSeconds_ = 0;
    bool seenKey_ = false;

    // Values of the current key, in order, kept until the key's section ends so that the key
    // gets one list of exactly their number.
    std::vector<Value> pending_;
    // The keys of the last section's path, element by element: the next section usually
    // shares most of them.
    std::vector<Key*> lastKeys_;
    // Reused scratch space.
    UnitBuffer path_, name_, str_;
    std::vector<uint8_t> bytes_;
};

bool HiveParser::NextLine() {
    if (!lines_.Next(line_)) return false;
    ++lineNo_;
    return true;
}

void HiveParser::Report(const char* what, bool lossy) {
    std::string shown = line_.size() > 200 ? std::string(line_.substr(0, 200)) + "..." : std::string(line_);
    result_.report.messages.push_back(fileName_ + ":" + std::to_string(lineNo_) + ": " + what + " '" +
                                      shown + "'");
    if (lossy) result_.report.lossy = true;
}

size_t HiveParser::ParseString(size_t p, char delim, UnitBuffer& out) {
    const std::string_view s = line_;
    // Every character of the text gives at most one code unit (four UTF-8 bytes give two).
    char16_t* const begin = out.Reserve(s.size() - std::min(p, s.size()) + 1);
    char16_t* o = begin;
    out.SetLength(0);
    while (p < s.size()) {
        const char c = s[p];
        if (c == delim) {
            out.SetLength(static_cast<size_t>(o - begin));
            return p + 1;
        }
        const unsigned char b = static_cast<unsigned char>(c);
        if (b < 0x80 && c != '\\') {
            *o++ = static_cast<char16_t>(b);
            ++p;
            continue;
        }
        if (b >= 0x80) {
            // UTF-8; invalid bytes are dropped, as Wine's loader drops them.
            char32_t cp;
            size_t len = DecodeUtf8Sequence(s, p, &cp);
            if (!len) {
                result_.report.lossy = true;
                ++p;
            } else if (cp >= 0x10000) {
                cp -= 0x10000;
                *o++ = static_cast<char16_t>(0xD800 + (cp >> 10));
                *o++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
                p += len;
            } else {
                *o++ = static_cast<char16_t>(cp);
                p += len;
            }
            continue;
        }
        ++p;  // the backslash
        if (p >= s.size()) break;
        char e = s[p];
        switch (e) {
            case 'a': *o++ = u'\a'; ++p; continue;
            case 'b': *o++ = u'\b'; ++p; continue;
            case 'e': *o++ = u'\x1b'; ++p; continue;
            case 'f': *o++ = u'\f'; ++p; continue;
            case 'n': *o++ = u'\n'; ++p; continue;
            case 'r': *o++ = u'\r'; ++p; continue;
            case 't': *o++ = u'\t'; ++p; continue;
            case 'v': *o++ = u'\v'; ++p; continue;
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
                *o++ = n == 0 ? u'x' : static_cast<char16_t>(v);
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
                    *o++ = static_cast<char16_t>(v);
                    continue;
                }
                // Any other escaped character stands for itself; a byte above 127 starts a
                // UTF-8 sequence that the next round decodes.
                if (static_cast<unsigned char>(e) < 0x80) {
                    *o++ = static_cast<char16_t>(e);
                    ++p;
                }
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
    for (Key* c : from.Subkeys()) pending.emplace_back(to->GetOrAddSubkey(c->Name()), c);
    while (!pending.empty()) {
        auto [dst, src] = pending.back();
        pending.pop_back();
        if (!dst->modified && src->modified) dst->UpdateTimeUpward(src->modified);
        for (const Value& v : src->Values()) {
            if (dst->FindValue(v.name)) clean = false;
            dst->SetValue(v.name, v.type, v.data);
        }
        if (auto srcClass = src->KeyClass()) {
            auto dstClass = dst->KeyClass();
            if (dstClass && *dstClass != *srcClass) clean = false;
            dst->SetKeyClass(srcClass);
        }
        dst->isLink = dst->isLink || src->isLink;
        for (Key* c : src->Subkeys()) pending.emplace_back(dst->GetOrAddSubkey(c->Name()), c);
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
                    std::vector<std::u16string_view> names;
                    for (Key* c : k->Subkeys()) names.push_back(c->Name());
                    for (std::u16string_view n : names) k->RemoveSubkey(n);
                    moved = true;
                    continue;
                }
            }
            for (Key* c : k->Subkeys()) pending.push_back(c);
        }
        if (!moved) return;
    }
}

void HiveParser::AddValue(std::u16string_view name, uint32_t type, std::span<const uint8_t> data, bool inTree) {
    // Names come in order in Wine's files: the usual case appends.
    auto less = [](const Value& v, std::u16string_view n) { return CompareNames(v.name, n) < 0; };
    auto it = pending_.end();
    if (!pending_.empty() && CompareNames(pending_.back().name, name) >= 0)
        it = std::lower_bound(pending_.begin(), pending_.end(), name, less);
    const bool repeated = (it != pending_.end() && CompareNames(it->name, name) == 0) ||
                          (current_->FindValue(name) != nullptr);
    if (repeated) Report("Duplicate value");  // the earlier data is lost
    std::span<const uint8_t> stored = inTree ? data : tree_->CopyBytes(data);
    if (it != pending_.end() && CompareNames(it->name, name) == 0) {
        it->type = type;
        it->data = stored;
        return;
    }
    pending_.insert(it, Value{std::u16string_view(tree_->CopyUnits(name), name.size()), type, stored});
}

void HiveParser::FinishKey() {
    if (current_) {
        if (current_->Values().empty()) {
            current_->AdoptSortedValues(pending_);
        } else {
            // A second section of the same key: its values join the ones it has.
            for (const Value& v : pending_) current_->SetValue(v.name, v.type, v.data);
        }
        current_->UpdateTimeUpward(currentSeconds_);
    }
    pending_.clear();
    current_ = nullptr;
}

void HiveParser::KeyLine(size_t p) {
    FinishKey();
    seenKey_ = true;
    size_t after = ParseString(p + 1, ']', path_);
    if (after == std::string::npos) {
        Report("Malformed key");
        Report("Error creating key");
        return;
    }
    // The number after ']' is the time in seconds; Wine reads it like scanf(" %u").
    size_t q = after;
    while (q < line_.size() && (line_[q] == ' ' || line_[q] == '\t')) ++q;
    if (q < line_.size() && line_[q] >= '0' && line_[q] <= '9') {
        // strtoul's value, taken modulo 2^32 (it saturates first on overflow).
        uint64_t secs = 0;
        for (; q < line_.size() && line_[q] >= '0' && line_[q] <= '9'; ++q) {
            const uint64_t d = static_cast<uint64_t>(line_[q] - '0');
            secs = secs > (UINT64_MAX - d) / 10 ? UINT64_MAX : secs * 10 + d;
        }
        currentSeconds_ = static_cast<int64_t>(static_cast<uint32_t>(secs)) * kTicksPerSecond + kTicks1601To1970;
    } else {
        currentSeconds_ = now_;
    }

    // Walk the path; keys of elements that the last section's path shares are taken from it.
    const std::u16string_view name = path_.View();
    Key* k = result_.root.get();
    size_t depth = 0;
    bool shared = true;
    size_t i = 0;
    while (i <= name.size()) {
        size_t j = name.find(u'\\', i);
        if (j == std::u16string_view::npos) j = name.size();
        if (j > i) {
            std::u16string_view elem = name.substr(i, j - i);
            if (elem.size() > kMaxKeyNameUnits) {
                lastKeys_.clear();
                Report("Error creating key");
                return;
            }
            Key* known = shared && depth < lastKeys_.size() ? lastKeys_[depth] : nullptr;
            if (known && !k->isLink && known->Parent() == k && !known->Deleted() && known->Name() == elem) {
                k = known;
            } else {
                shared = false;
                if (k->isLink) {
                    Key* target = FollowLinks(k);
                    if (!target) {
                        lastKeys_.clear();
                        Report("Error creating key");
                        return;
                    }
                    k = target;
                }
                k = k->GetOrAddSubkey(elem);
                lastKeys_.resize(depth);
                lastKeys_.push_back(k);
            }
            ++depth;
        }
        i = j + 1;
    }
    lastKeys_.resize(depth);
    current_ = k;
}

namespace {

int HexValue(char h) {
    if (h >= '0' && h <= '9') return h - '0';
    h = static_cast<char>(h | 0x20);
    if (h >= 'a' && h <= 'f') return h - 'a' + 10;
    return -1;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// strtoul(s, &end, 16) over a view: optional white space and sign, an optional "0x", digits.
// Sets *used to the characters taken (0 when there is no number).
unsigned long ParseHexNumber(std::string_view s, size_t* used) {
    size_t p = 0;
    while (p < s.size() && IsSpace(s[p])) ++p;
    bool negative = false;
    if (p < s.size() && (s[p] == '+' || s[p] == '-')) negative = s[p++] == '-';
    if (p + 1 < s.size() && s[p] == '0' && (s[p + 1] | 0x20) == 'x' && p + 2 < s.size() && HexValue(s[p + 2]) >= 0)
        p += 2;
    size_t digits = p;
    unsigned long v = 0;
    bool overflow = false;
    for (; p < s.size() && HexValue(s[p]) >= 0; ++p) {
        if (v > (ULONG_MAX >> 4)) overflow = true;
        v = (v << 4) | static_cast<unsigned long>(HexValue(s[p]));
    }
    if (p == digits) {
        *used = 0;
        return 0;
    }
    *used = p;
    if (overflow) return ULONG_MAX;
    return negative ? static_cast<unsigned long>(0) - v : v;
}

}  // namespace

void HiveParser::ValueLine(size_t p) {
    if (!current_) {
        Report("Value without key");
        return;
    }
    std::u16string_view name;
    if (line_[p] == '@') {
        ++p;
    } else {
        p = ParseString(p + 1, '"', name_);
        name = name_.View();
        if (p == std::string::npos) {
            Report("Malformed value name");
            return;
        }
    }
    const std::string_view s = line_;
    while (p < s.size() && (s[p] == ' ' || s[p] == '\t')) ++p;
    bool ok = p < s.size() && s[p] == '=';
    if (ok) ++p;
    while (ok && p < s.size() && (s[p] == ' ' || s[p] == '\t')) ++p;

    uint32_t type = 0;
    std::vector<uint8_t>& data = bytes_;
    data.clear();
    // String data goes straight into the tree, as UTF-16LE with its terminating NUL.
    std::span<const uint8_t> stringBytes;
    auto startsWith = [&](std::string_view tag) { return s.substr(p, tag.size()) == tag; };
    auto stringData = [&](size_t start, uint32_t t) {
        if (ParseString(start, '"', str_) == std::string::npos) return false;
        type = t;
        const std::u16string_view str = str_.View();
        const size_t size = (str.size() + 1) * 2;
        uint8_t* d = tree_->AllocateArray<uint8_t>(size);
        for (size_t i = 0; i < str.size(); ++i) {
            d[2 * i] = static_cast<uint8_t>(str[i] & 0xff);
            d[2 * i + 1] = static_cast<uint8_t>(str[i] >> 8);
        }
        d[size - 2] = d[size - 1] = 0;
        stringBytes = {d, size};
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
        size_t used;
        uint32_t d = static_cast<uint32_t>(ParseHexNumber(s.substr(p + 6), &used));
        type = 4;
        data = {static_cast<uint8_t>(d), static_cast<uint8_t>(d >> 8), static_cast<uint8_t>(d >> 16),
                static_cast<uint8_t>(d >> 24)};
    } else if (startsWith("hex:") || startsWith("hex(")) {
        std::string_view b = s.substr(p);
        if (b[3] == ':') {
            type = 3;
            b.remove_prefix(4);
        } else {
            size_t used;
            type = static_cast<uint32_t>(ParseHexNumber(b.substr(4), &used));
            b.remove_prefix(4 + used);
            if (b.size() < 2 || b[0] != ')' || b[1] != ':') ok = false;
            else b.remove_prefix(2);
        }
        // Byte list, continued on following lines after a backslash.
        auto skipSpace = [&] {
            while (!b.empty() && IsSpace(b.front())) b.remove_prefix(1);
        };
        while (ok) {
            while (!b.empty() && HexValue(b.front()) >= 0) {
                // Two hex digits and a comma is the form Wine writes.
                if (b.size() >= 3 && HexValue(b[1]) >= 0 && b[2] == ',') {
                    data.push_back(static_cast<uint8_t>(HexValue(b[0]) * 16 + HexValue(b[1])));
                    b.remove_prefix(3);
                    skipSpace();
                    continue;
                }
                size_t used;
                unsigned long v = ParseHexNumber(b, &used);
                if (used == 0 || v > 0xff) {
                    ok = false;
                    break;
                }
                data.push_back(static_cast<uint8_t>(v));
                b.remove_prefix(used);
                skipSpace();
                if (!b.empty() && b.front() == ',') b.remove_prefix(1);
                skipSpace();
            }
            if (!ok) break;
            skipSpace();
            if (b.empty() || b.front() == '\0') break;
            if (b.front() != '\\' || !NextLine()) {
                ok = false;
                break;
            }
            b = line_;
            skipSpace();
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
        AddValue(name, 0, {}, true);
    } else if (!stringBytes.empty()) {
        AddValue(name, type, stringBytes, true);
    } else {
        AddValue(name, type, data, false);
    }
}

void HiveParser::OptionLine(size_t p) {
    std::string_view b = line_.substr(p);
    if (!seenKey_) {
        if (b.substr(0, 6) == "#arch=") {
            std::string_view arch = b.substr(6);
            result_.arch = std::string(arch.substr(0, arch.find('\0')));
        }
        return;
    }
    if (!current_) return;
    if (b.substr(0, 6) == "#time=") {
        int64_t t = 0;
        for (size_t q = 6; q < b.size() && HexValue(b[q]) >= 0; ++q)
            t = static_cast<int64_t>((static_cast<uint64_t>(t) << 4) | static_cast<unsigned>(HexValue(b[q])));
        current_->UpdateTimeUpward(t);
    } else if (b.substr(0, 8) == "#class=\"") {
        if (ParseString(p + 8, '"', str_) != std::string::npos) current_->SetKeyClass(str_.View());
        else Report("Malformed class");
    } else if (b.substr(0, 5) == "#link") {
        current_->isLink = true;
    }
}

ParsedHive HiveParser::Run() {
    result_.root = NewKeyTree();
    tree_ = &result_.root->Tree();
    if (!NextLine() || line_ != "WINE REGISTRY Version 2") {
        // An empty branch in its place, with the load time as every key that no line dated.
        result_.root->modified = now_;
        result_.report.rejected = true;
        result_.report.messages.push_back(fileName_ + " is not a valid registry file");
        return std::move(result_);
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
    if (lines_.LastByte() != '\n') {
        // Wine ends every file with a line end: this one was cut off (a disk that filled
        // up, a copy that stopped), so whatever followed is gone. Said before anything else.
        result_.report.lossy = true;
        result_.report.messages.insert(result_.report.messages.begin(),
                                       fileName_ + " ends in the middle of a line: it looks truncated");
    }
    MoveKeysBelowLinks();
    // Keys that no line gave a time (the branch root, keys made only through links) get
    // the load time, as Wine gives them.
    std::vector<Key*> pending{result_.root.get()};
    while (!pending.empty()) {
        Key* k = pending.back();
        pending.pop_back();
        if (!k->modified) k->modified = now_;
        for (Key* c : k->Subkeys()) pending.push_back(c);
    }
    return std::move(result_);
}

}  // namespace

ParsedHive ParseWineHive(std::string_view text, const std::string& fileName, int64_t now,
                         const LinkResolver& resolveLink) {
    LineReader lines(text);
    HiveParser parser(lines, fileName, now, resolveLink);
    return parser.Run();
}

ParsedHive ParseWineHiveFile(int fd, uint64_t maxBytes, const std::string& tooLarge, const std::string& fileName,
                             int64_t now, const LinkResolver& resolveLink, size_t pieceBytes) {
    LineReader lines(fd, maxBytes, pieceBytes);
    HiveParser parser(lines, fileName, now, resolveLink);
    ParsedHive parsed = parser.Run();
    if (lines.TooLarge() || !lines.Error().empty()) {
        // What was read is not the file: nothing of it is used, and the file is never written.
        ParsedHive refused;
        refused.root = NewKeyTree();
        refused.root->modified = now;
        refused.report.rejected = true;
        refused.report.messages.push_back(lines.TooLarge() ? tooLarge
                                                            : fileName + " cannot be read: " + lines.Error() +
                                                                  "; Quorvane will not read or write it.");
        return refused;
    }
    return parsed;
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
