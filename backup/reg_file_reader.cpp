#include "backup/reg_file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/registry/reg_key.h"
#include "platform/registry/reg_text.h"

namespace qv {

namespace {

using Line = std::u16string_view;

struct ParseError {
    int line;
    std::string what;
};

// The file cannot be read at all (open or read failed).
struct ReadFailure {
    std::string what;
};

// A sink asked to stop.
struct SinkStop {};

[[noreturn]] void Fail(int line, const std::string& what) { throw ParseError{line, what}; }

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

Line TrimLeft(Line s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    return s;
}

Line TrimRight(Line s) {
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// Nothing but blanks, or a comment.
bool IsEndOfLine(Line s) {
    s = TrimLeft(s);
    return s.empty() || s.front() == u';';
}

// UTF-8 to UTF-16 units written to `out` (room for `n` units); false at the first byte that
// is not valid UTF-8 (an overlong form, an encoded surrogate, beyond U+10FFFF, cut off).
bool DecodeUtf8(const char* p, size_t n, char16_t* out, size_t* units) {
    size_t o = 0;
    size_t i = 0;
    while (i < n) {
        unsigned char b = static_cast<unsigned char>(p[i]);
        if (b < 0x80) {
            out[o++] = b;
            ++i;
            continue;
        }
        char32_t cp;
        const size_t len = reg::DecodeUtf8Sequence(std::string_view(p, n), i, &cp);
        if (!len) return false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out[o++] = static_cast<char16_t>(0xD800 + (cp >> 10));
            out[o++] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out[o++] = static_cast<char16_t>(cp);
        }
        i += len;
    }
    *units = o;
    return true;
}

void AppendUtf16Bytes(std::vector<uint8_t>& d, const char16_t* s, size_t n) {
    size_t at = d.size();
    d.resize(at + 2 * n);
    uint8_t* p = d.data() + at;
    for (size_t i = 0; i < n; ++i) {
        p[2 * i] = static_cast<uint8_t>(s[i] & 0xff);
        p[2 * i + 1] = static_cast<uint8_t>(s[i] >> 8);
    }
}

// The bytes of the file seen through a window: all of them when they are in memory, else
// one chunk at a time, the unread rest of the previous chunk moved to the front.
class ByteWindow {
public:
    explicit ByteWindow(std::string_view all) : data_(all.data()), size_(all.size()), eof_(true) {}
    ByteWindow(int fd, size_t chunk, const std::string& name, RegReadBuffer& buf)
        : fd_(fd), chunk_(std::max<size_t>(chunk, 1)), name_(&name), buf_(&buf) {}

    const char* Data() const { return data_; }
    size_t Size() const { return size_; }
    bool Eof() const { return eof_; }
    size_t pos = 0;  // first unread byte

    // Reads the next chunk after the unread bytes. False when the file has ended.
    void More() {
        if (eof_) return;
        size_t keep = size_ - pos;
        if (buf_->capacity - keep < chunk_) {
            // Room for a chunk after a line longer than the buffer holds (and, the first
            // time, for a chunk and a partial line).
            size_t capacity = std::max(buf_->capacity * 2, keep + chunk_ + chunk_ / 8);
            std::unique_ptr<char[]> bigger(new char[capacity]);
            if (keep) std::memcpy(bigger.get(), data_ + pos, keep);
            buf_->data = std::move(bigger);
            buf_->capacity = capacity;
        } else if (keep && pos) {
            std::memmove(buf_->data.get(), data_ + pos, keep);
        }
        char* base = buf_->data.get();
        data_ = base;
        pos = 0;
        size_ = keep;
        for (;;) {
            ssize_t r = ::read(fd_, base + size_, chunk_);
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) throw ReadFailure{"Cannot read " + *name_ + ": " + std::strerror(errno)};
            if (r == 0) eof_ = true;
            size_ += static_cast<size_t>(r);
            return;
        }
    }

private:
    const char* data_ = nullptr;
    size_t size_ = 0;
    bool eof_ = false;
    int fd_ = -1;
    size_t chunk_ = 0;
    const std::string* name_ = nullptr;
    RegReadBuffer* buf_ = nullptr;
};

// Splits the text into lines at CR LF, LF or a lone CR, and gives each line as UTF-16
// units in a buffer that is reused (a line is valid until the next one is read).
class LineReader {
public:
    // `knownSize`: the file's size when known, so that a cut-off UTF-16 file is refused
    // before anything is read from it.
    LineReader(ByteWindow& in, long long knownSize) : in_(in) {
        while (in_.Size() < 3 && !in_.Eof()) in_.More();
        const unsigned char* d = reinterpret_cast<const unsigned char*>(in_.Data());
        size_t n = in_.Size();
        if (n >= 2 && d[0] == 0xff && d[1] == 0xfe) {
            utf16_ = true;
            in_.pos = 2;
            if (knownSize >= 0 && knownSize % 2)
                Fail(1, "the file is UTF-16 but has an odd number of bytes: it is cut off");
        } else if (n >= 2 && d[0] == 0xfe && d[1] == 0xff) {
            Fail(1, "the file is UTF-16 big-endian, which registry files never are");
        } else if (n >= 3 && d[0] == 0xef && d[1] == 0xbb && d[2] == 0xbf) {
            in_.pos = 3;
        }
    }

    bool Utf16() const { return utf16_; }
    int LineNo() const { return lineNo_; }

    bool Next(Line& out) { return utf16_ ? NextUtf16(out) : Next8Bit(out); }

private:
    static char16_t UnitAt(const char* p) {
        return static_cast<char16_t>(static_cast<unsigned char>(p[0]) | (static_cast<unsigned char>(p[1]) << 8));
    }

    char16_t* Room(size_t units) {
        if (line_.size() < units) line_.resize(std::max(units, line_.size() * 2));
        return line_.data();
    }

    bool NextUtf16(Line& out) {
        for (;;) {
            const char* d = in_.Data();
            size_t n = in_.Size();
            size_t p = in_.pos;
            if (skipLf_) {
                // The line before ended with CR: an LF right after it belongs to that line end.
                if (n - p < 2 && !in_.Eof()) {
                    in_.More();
                    continue;
                }
                skipLf_ = false;
                if (n - p >= 2 && UnitAt(d + p) == u'\n') {
                    in_.pos = p += 2;
                    continue;
                }
            }
            const size_t i = FindLineEnd16(d, p, p + scanned_, n);
            if (i < n) {
                skipLf_ = d[i] == '\r';
                out = TakeUtf16(d + p, (i - p) / 2);
                in_.pos = i + 2;
                return true;
            }
            if (in_.Eof()) {
                if (p == n) return false;
                if ((n - p) % 2) Fail(1, "the file is UTF-16 but has an odd number of bytes: it is cut off");
                out = TakeUtf16(d + p, (n - p) / 2);
                in_.pos = n;
                return true;
            }
            scanned_ = (n - p) / 2 * 2;
            in_.More();
        }
    }

    // The offset of the first CR or LF unit of d[from, n), where units start an even number
    // of bytes after `p` (and `from` is one of them); n when there is none. The bytes are
    // searched with memchr, and a hit that is the high byte of a unit, or the low byte of a
    // unit other than CR or LF (U+010A, ...), is passed over.
    static size_t FindLineEnd16(const char* d, size_t p, size_t from, size_t n) {
        auto isUnit = [&](size_t q) { return (q - p) % 2 == 0 && d[q + 1] == 0; };
        size_t i = from;
        while (i + 1 < n) {
            // Only bytes with one after them can start a unit.
            const char* lf = static_cast<const char*>(std::memchr(d + i, '\n', n - 1 - i));
            const size_t end = lf ? static_cast<size_t>(lf - d) : n - 1;
            for (size_t j = i; j < end;) {
                const char* cr = static_cast<const char*>(std::memchr(d + j, '\r', end - j));
                if (!cr) break;
                const size_t q = static_cast<size_t>(cr - d);
                if (isUnit(q)) return q;
                j = q + 1;
            }
            if (!lf) return n;
            if (isUnit(end)) return end;
            i = end + 1;
        }
        return n;
    }

    Line TakeUtf16(const char* p, size_t units) {
        char16_t* o = Room(units);
        if constexpr (std::endian::native == std::endian::little) {
            if (units) std::memcpy(o, p, units * 2);
        } else {
            for (size_t k = 0; k < units; ++k) o[k] = UnitAt(p + 2 * k);
        }
        scanned_ = 0;
        ++lineNo_;
        return Line(o, units);
    }

    bool Next8Bit(Line& out) {
        for (;;) {
            const char* d = in_.Data();
            size_t n = in_.Size();
            size_t p = in_.pos;
            if (skipLf_) {
                if (p == n && !in_.Eof()) {
                    in_.More();
                    continue;
                }
                skipLf_ = false;
                if (p < n && d[p] == '\n') {
                    in_.pos = ++p;
                    continue;
                }
            }
            size_t i = p + scanned_;
            for (; i < n; ++i)
                if (d[i] == '\n' || d[i] == '\r') break;
            if (i < n) {
                skipLf_ = d[i] == '\r';
                out = Take8Bit(d + p, i - p);
                in_.pos = i + 1;
                return true;
            }
            if (in_.Eof()) {
                if (p == n) return false;
                out = Take8Bit(d + p, n - p);
                in_.pos = n;
                return true;
            }
            scanned_ = i - p;
            in_.More();
        }
    }

    Line Take8Bit(const char* p, size_t bytes) {
        scanned_ = 0;
        ++lineNo_;
        size_t units = 0;
        if (!DecodeUtf8(p, bytes, Room(bytes), &units))
            Fail(lineNo_, "this line is not valid text in the file's code page (UTF-8)");
        return Line(line_.data(), units);
    }

    ByteWindow& in_;
    bool utf16_ = false;
    bool skipLf_ = false;
    size_t scanned_ = 0;  // bytes after the window's position already known to hold no line end
    int lineNo_ = 0;
    std::vector<char16_t> line_;
};

// Whether `s` spells the ASCII name `name` without regard to case.
bool IsAsciiName(Line s, std::string_view name) {
    if (s.size() != name.size()) return false;
    for (size_t i = 0; i < s.size(); ++i) {
        char16_t c = s[i];
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
        char16_t want = static_cast<char16_t>(name[i]);
        if (want >= u'a' && want <= u'z') want = static_cast<char16_t>(want - 32);
        if (c != want) return false;
    }
    return true;
}

// The root of a full key name: the text before the first backslash must be one of the
// full root names that a registry file can hold.
bool RootOf(Line fullKey, RegRoot* root) {
    static const struct {
        std::string_view name;
        RegRoot root;
    } kRoots[] = {
        {"HKEY_LOCAL_MACHINE", RegRoot::LocalMachine}, {"HKEY_USERS", RegRoot::Users},
        {"HKEY_CLASSES_ROOT", RegRoot::ClassesRoot},   {"HKEY_CURRENT_CONFIG", RegRoot::CurrentConfig},
        {"HKEY_CURRENT_USER", RegRoot::CurrentUser},
    };
    Line head = fullKey.substr(0, fullKey.find(u'\\'));
    for (const auto& r : kRoots) {
        if (IsAsciiName(head, r.name)) {
            *root = r.root;
            return true;
        }
    }
    return false;
}

class RegFileParser {
public:
    RegFileParser(LineReader& lines, RegFileSink& sink) : lines_(lines), sink_(sink) {}

    void Run() {
        Line s;
        if (!lines_.Next(s)) Fail(1, "the file is empty: it is not a registry file");
        Line header = TrimLeft(s);
        if (header == u"Windows Registry Editor Version 5.00")
            regedit4_ = false;
        else if (header == u"REGEDIT4")
            regedit4_ = true;
        else
            Fail(1, "not a registry file: the first line must be \"Windows Registry Editor Version 5.00\" or "
                    "\"REGEDIT4\"");
        sink_.Format(lines_.Utf16(), regedit4_);
        while (lines_.Next(s)) {
            s = TrimLeft(s);
            int lineNo = lines_.LineNo();
            if (!s.empty() && s.front() == u';' && ExactKeyComment(s, lineNo)) continue;
            if (s.empty() || s.front() == u';') continue;
            if (!exactKey_.empty() && s.front() != u'[')
                Fail(lineNo, "a key line must follow the exact key name given before it");
            if (s.front() == u'[')
                KeyLine(s, lineNo);
            else if (s.front() == u'@' || s.front() == u'"')
                ValueLine(s, lineNo);
            else
                Fail(lineNo, "this line is not a key, a value or a comment");
        }
        if (!exactKey_.empty()) Fail(exactKeyLine_, "the exact key name is not followed by a key line");
    }

private:
    static void Check(bool sinkGoesOn) {
        if (!sinkGoesOn) throw SinkStop{};
    }

    // The comment that gives the next key's exact name; false for any other comment.
    bool ExactKeyComment(Line s, int lineNo) {
        const size_t n = sizeof kExactKeyComment - 1;
        if (s.size() < n) return false;
        for (size_t i = 0; i < n; ++i)
            if (s[i] != static_cast<char16_t>(kExactKeyComment[i])) return false;
        Line hex = TrimRight(s.substr(n));
        if (hex.empty() || hex.size() % 4) Fail(lineNo, "the exact key name is not a list of UTF-16 units");
        exactKey_.clear();
        for (size_t i = 0; i < hex.size(); i += 4) {
            unsigned unit = 0;
            for (size_t k = 0; k < 4; ++k) {
                int d = HexDigit(hex[i + k]);
                if (d < 0) Fail(lineNo, "the exact key name is not a list of UTF-16 units");
                unit = unit * 16 + static_cast<unsigned>(d);
            }
            exactKey_ += static_cast<char16_t>(unit);
        }
        exactKeyLine_ = lineNo;
        return true;
    }

    void KeyLine(Line s, int lineNo) {
        size_t close = s.rfind(u']');
        if (close == Line::npos) Fail(lineNo, "the key name has no closing ']'");
        if (!IsEndOfLine(s.substr(close + 1))) Fail(lineNo, "unexpected text after the key name");
        Line inner = s.substr(1, close - 1);
        if (!exactKey_.empty()) {
            exact_.swap(exactKey_);
            exactKey_.clear();
            inner = exact_;
        }
        bool remove = !inner.empty() && inner.front() == u'-';
        if (remove) inner.remove_prefix(1);
        RegRoot root;
        if (inner.empty() || IsBlank(inner.front()) || !RootOf(inner, &root))
            Fail(lineNo, "unknown root key in [" + reg::ToUtf8(inner) +
                             "]: use a full name such as HKEY_CURRENT_USER");
        path_.clear();
        Line p = inner.substr(inner.find(u'\\') == Line::npos ? inner.size() : inner.find(u'\\'));
        size_t elements = 0;
        while (!p.empty()) {
            while (!p.empty() && p.front() == u'\\') p.remove_prefix(1);
            size_t j = p.find(u'\\');
            Line elem = p.substr(0, j);
            if (!elem.empty()) {
                if (elem.size() > reg::kMaxKeyNameUnits)
                    Fail(lineNo, "a key name is longer than 256 characters");
                if (root == RegRoot::Users && elements == 0 && !reg::NamesEqual(elem, u".Default") &&
                    !reg::NamesEqual(elem, u"S-1-5-21-0-0-0-1000"))
                    Fail(lineNo, "HKEY_USERS\\" + reg::ToUtf8(elem) +
                                     " is not kept in any registry file of a Wine prefix");
                if (!path_.empty()) path_ += u'\\';
                path_ += elem;
                ++elements;
            }
            p.remove_prefix(j == Line::npos ? p.size() : j);
        }
        if (remove) {
            if (path_.empty() || (root == RegRoot::Users && elements == 1))
                Fail(lineNo, "a whole root key cannot be deleted");
            haveKey_ = false;
            afterDelete_ = true;
            Check(sink_.DeleteKey(root, path_, lineNo));
            return;
        }
        haveKey_ = true;
        afterDelete_ = false;
        // HKEY_USERS itself is no registry file's key: registry editors write its header,
        // with nothing in it.
        usersRoot_ = root == RegRoot::Users && path_.empty();
        if (!usersRoot_) Check(sink_.OpenKey(root, path_, lineNo));
    }

    // A quoted string starting after its opening quote; returns the rest after the closing one.
    static Line QuotedString(Line s, int lineNo, std::u16string& out) {
        out.clear();
        size_t i = 0;
        for (;;) {
            // Plain runs go in one piece.
            size_t j = i;
            while (j < s.size() && s[j] != u'"' && s[j] != u'\\') ++j;
            out.append(s.data() + i, j - i);
            i = j;
            if (i >= s.size()) break;
            if (s[i] == u'"') return s.substr(i + 1);
            if (++i >= s.size()) break;
            switch (s[i]) {
                case u'\\': out += u'\\'; break;
                case u'"': out += u'"'; break;
                case u'n': out += u'\n'; break;
                case u'r': out += u'\r'; break;
                default:
                    Fail(lineNo, std::string("unknown escape sequence \\") + reg::ToUtf8(s.substr(i, 1)) +
                                     " in a quoted text");
            }
            ++i;
        }
        Fail(lineNo, "a quoted text has no closing '\"'");
    }

    void ValueLine(Line s, int lineNo) {
        if (!haveKey_)
            Fail(lineNo, afterDelete_ ? "a value follows a key deletion: it belongs to no key"
                                      : "a value comes before any key");
        if (usersRoot_) Fail(lineNo, "HKEY_USERS itself cannot hold values");
        if (s.front() == u'@') {
            name_.clear();
            s.remove_prefix(1);
        } else {
            s = QuotedString(s.substr(1), lineNo, name_);
        }
        if (name_.size() > reg::kMaxValueNameUnits) Fail(lineNo, "a value name is longer than 16383 characters");
        s = TrimLeft(s);
        if (s.empty() || s.front() != u'=') Fail(lineNo, "'=' is missing after the value name");
        s = TrimRight(TrimLeft(s.substr(1)));
        uint32_t type = 0;
        data_.clear();
        if (!s.empty() && s.front() == u'-' && IsEndOfLine(s.substr(1))) {
            Check(sink_.DeleteValue(name_, lineNo));
            return;
        }
        if (!s.empty() && s.front() == u'"') {
            Line rest = QuotedString(s.substr(1), lineNo, text_);
            if (!IsEndOfLine(rest)) Fail(lineNo, "unexpected text after the quoted value");
            text_ += u'\0';
            type = 1;
            AppendUtf16Bytes(data_, text_.data(), text_.size());
        } else if (s.substr(0, 6) == u"dword:") {
            Line digits = s.substr(6);
            uint32_t v = 0;
            size_t n = 0;
            while (n < digits.size() && HexDigit(digits[n]) >= 0) v = v * 16 + static_cast<uint32_t>(HexDigit(digits[n++]));
            if (n == 0 || n > 8 || !IsEndOfLine(digits.substr(n)))
                Fail(lineNo, "dword: needs 1 to 8 hexadecimal digits");
            type = 4;
            data_ = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                     static_cast<uint8_t>(v >> 24)};
        } else if (s.substr(0, 4) == u"hex:" || s.substr(0, 4) == u"hex(") {
            size_t p = 4;
            type = 3;
            if (s[3] == u'(') {
                uint64_t t = 0;
                size_t n = 0;
                while (p < s.size() && HexDigit(s[p]) >= 0) {
                    t = t * 16 + static_cast<uint64_t>(HexDigit(s[p++]));
                    ++n;
                }
                if (n == 0 || n > 8 || s.substr(p, 2) != u"):") Fail(lineNo, "the type in hex(...) is not valid");
                type = static_cast<uint32_t>(t);
                p += 2;
            }
            // Reads the following lines of a continued list: `s` is not valid after this.
            HexList(s.substr(p), lineNo);
            if (regedit4_ && (type == 1 || type == 2 || type == 7)) {
                // REGEDIT4 files carry these as 8-bit text in the ANSI code page.
                if (units_.size() < data_.size()) units_.resize(data_.size());
                size_t n = 0;
                if (!DecodeUtf8(reinterpret_cast<const char*>(data_.data()), data_.size(), units_.data(), &n))
                    Fail(lineNo, "the text of this value is not valid in the file's code page (UTF-8)");
                data_.clear();
                AppendUtf16Bytes(data_, units_.data(), n);
            }
        } else {
            Fail(lineNo, "the value's data is not a quoted text, dword: or hex: list");
        }
        Check(sink_.SetValue(name_, type, data_, lineNo));
    }

    // Byte list into data_, continued on the following lines after a backslash.
    void HexList(Line s, int lineNo) {
        int at = lineNo;
        for (;;) {
            s = TrimLeft(s);
            if (s.empty() || s.front() == u';') return;
            if (s.front() == u'\\') {
                if (!IsEndOfLine(s.substr(1))) Fail(at, "unexpected text after '\\'");
                // The next line that is not empty or a comment continues the list.
                for (;;) {
                    Line n;
                    if (!lines_.Next(n)) Fail(at, "the file ends inside a value continued with '\\'");
                    at = lines_.LineNo();
                    n = TrimLeft(n);
                    if (n.empty() || n.front() == u';') continue;
                    s = n;
                    break;
                }
                if (HexDigit(s.front()) < 0) Fail(at, "a continued hex list goes on with something else");
                continue;
            }
            int hi = HexDigit(s.front());
            if (hi < 0) Fail(at, "a hex list holds something that is not a hexadecimal byte");
            int value = hi;
            size_t n = 1;
            if (n < s.size() && HexDigit(s[n]) >= 0) value = value * 16 + HexDigit(s[n++]);
            if (n < s.size() && HexDigit(s[n]) >= 0) Fail(at, "a byte of a hex list has more than two digits");
            data_.push_back(static_cast<uint8_t>(value));
            s = TrimLeft(s.substr(n));
            if (!s.empty() && s.front() == u',') {
                s.remove_prefix(1);
            } else if (!s.empty() && s.front() != u'\\' && s.front() != u';') {
                Fail(at, "bytes of a hex list must be separated by commas");
            }
        }
    }

    LineReader& lines_;
    RegFileSink& sink_;
    bool regedit4_ = false;
    std::u16string exactKey_;  // given by the comment before the next key line
    std::u16string exact_;
    int exactKeyLine_ = 0;
    bool haveKey_ = false;
    bool afterDelete_ = false;
    bool usersRoot_ = false;
    // Buffers reused from line to line.
    std::u16string path_;
    std::u16string name_;
    std::u16string text_;
    std::vector<uint8_t> data_;
    std::vector<char16_t> units_;
};

RegReadResult ReadAll(ByteWindow& window, long long knownSize, RegFileSink& sink, std::string& error) {
    try {
        LineReader lines(window, knownSize);
        RegFileParser(lines, sink).Run();
    } catch (const ParseError& e) {
        error = "line " + std::to_string(e.line) + ": " + e.what;
        return RegReadResult::BadFile;
    } catch (const ReadFailure& e) {
        error = e.what;
        return RegReadResult::Unreadable;
    } catch (const SinkStop&) {
        return RegReadResult::SinkStopped;
    }
    return RegReadResult::Done;
}

}  // namespace

RegReadResult ReadRegText(std::string_view bytes, RegFileSink& sink, std::string& error) {
    ByteWindow window(bytes);
    return ReadAll(window, static_cast<long long>(bytes.size()), sink, error);
}

RegFileInput::~RegFileInput() {
    if (fd_ >= 0) ::close(fd_);
}

bool RegFileInput::Open(const std::filesystem::path& file, std::string& error) {
    if (fd_ >= 0) ::close(fd_);
    name_ = file.string();
    fd_ = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        error = "Cannot open " + name_;
        return false;
    }
    struct stat st {};
    regular_ = ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
    size_ = regular_ ? static_cast<long long>(st.st_size) : -1;
    if (regular_) (void)::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    reads_ = 0;
    return true;
}

RegReadResult RegFileInput::Read(RegFileSink& sink, std::string& error, size_t chunkBytes) {
    if (fd_ < 0) {
        error = "Cannot open " + name_;
        return RegReadResult::Unreadable;
    }
    if (reads_++ > 0) {
        if (!regular_ || ::lseek(fd_, 0, SEEK_SET) != 0) {
            error = "Cannot read " + name_ + " a second time";
            return RegReadResult::Unreadable;
        }
    }
    ByteWindow window(fd_, chunkBytes, name_, buffer_);
    return ReadAll(window, size_, sink, error);
}

RegReadResult ReadRegFile(const std::filesystem::path& file, RegFileSink& sink, std::string& error,
                          size_t chunkBytes) {
    RegFileInput in;
    if (!in.Open(file, error)) return RegReadResult::Unreadable;
    return in.Read(sink, error, chunkBytes);
}

bool RegPlanSink::OpenKey(RegRoot root, std::u16string_view path, int line) {
    root_ = root;
    path_.assign(path);
    plan_.ops.push_back({RegImportOp::Kind::CreateKey, root, path_, {}, 0, {}, line});
    return true;
}

bool RegPlanSink::DeleteKey(RegRoot root, std::u16string_view path, int line) {
    plan_.ops.push_back({RegImportOp::Kind::DeleteKey, root, std::u16string(path), {}, 0, {}, line});
    return true;
}

bool RegPlanSink::SetValue(std::u16string_view name, uint32_t type, std::span<const uint8_t> data, int line) {
    plan_.ops.push_back({RegImportOp::Kind::SetValue, root_, path_, std::u16string(name), type,
                         std::vector<uint8_t>(data.begin(), data.end()), line});
    return true;
}

bool RegPlanSink::DeleteValue(std::u16string_view name, int line) {
    plan_.ops.push_back({RegImportOp::Kind::DeleteValue, root_, path_, std::u16string(name), 0, {}, line});
    return true;
}

void RegPlanSink::Format(bool utf16, bool regedit4) {
    plan_.utf16 = utf16;
    plan_.regedit4 = regedit4;
}

bool ParseRegFile(std::string_view bytes, RegImportPlan& plan, std::string& error) {
    plan = RegImportPlan{};
    RegPlanSink sink(plan);
    if (ReadRegText(bytes, sink, error) == RegReadResult::Done) return true;
    plan.ops.clear();
    return false;
}

}  // namespace qv
