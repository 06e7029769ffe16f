#include "backup/reg_file_reader.h"

#include "backup/reg_root_names.h"
#include "platform/registry/reg_key.h"
#include "platform/registry/reg_text.h"

namespace qv {

namespace {

using Line = std::u16string_view;

struct ParseError {
    int line;
    std::string what;
};

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

std::vector<uint8_t> Utf16Bytes(std::u16string_view s) {
    std::vector<uint8_t> d(s.size() * 2);
    for (size_t i = 0; i < s.size(); ++i) {
        d[2 * i] = static_cast<uint8_t>(s[i] & 0xff);
        d[2 * i + 1] = static_cast<uint8_t>(s[i] >> 8);
    }
    return d;
}

class RegFileParser {
public:
    RegFileParser(std::vector<Line> lines, RegImportPlan& plan) : lines_(std::move(lines)), plan_(plan) {}

    void Run() {
        if (lines_.empty()) Fail(1, "the file is empty: it is not a registry file");
        Line header = TrimLeft(lines_[0]);
        if (header == u"Windows Registry Editor Version 5.00")
            plan_.regedit4 = false;
        else if (header == u"REGEDIT4")
            plan_.regedit4 = true;
        else
            Fail(1, "not a registry file: the first line must be \"Windows Registry Editor Version 5.00\" or "
                    "\"REGEDIT4\"");
        for (next_ = 1; next_ < lines_.size();) {
            size_t index = next_++;
            Line s = TrimLeft(lines_[index]);
            int lineNo = static_cast<int>(index) + 1;
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

    [[noreturn]] static void Fail(int line, const std::string& what) { throw ParseError{line, what}; }

private:
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
        std::u16string exact;
        if (!exactKey_.empty()) {
            exact.swap(exactKey_);
            inner = exact;
        }
        bool remove = !inner.empty() && inner.front() == u'-';
        if (remove) inner.remove_prefix(1);
        std::string full = reg::ToUtf8(inner);
        RegRoot root;
        std::string rest;
        if (inner.empty() || IsBlank(inner.front()) || !SplitRootName(full, &root, &rest))
            Fail(lineNo, "unknown root key in [" + full + "]: use a full name such as HKEY_CURRENT_USER");
        std::u16string path;
        std::u16string_view p = inner.substr(inner.find(u'\\') == Line::npos ? inner.size() : inner.find(u'\\'));
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
                if (!path.empty()) path += u'\\';
                path += elem;
                ++elements;
            }
            p.remove_prefix(j == Line::npos ? p.size() : j);
        }
        if (remove) {
            if (path.empty() || (root == RegRoot::Users && elements == 1))
                Fail(lineNo, "a whole root key cannot be deleted");
            plan_.ops.push_back({RegImportOp::Kind::DeleteKey, root, path, {}, 0, {}, lineNo});
            haveKey_ = false;
            afterDelete_ = true;
            return;
        }
        currentRoot_ = root;
        currentPath_ = path;
        haveKey_ = true;
        afterDelete_ = false;
        // HKEY_USERS itself is no registry file's key: registry editors write its header,
        // with nothing in it.
        usersRoot_ = root == RegRoot::Users && path.empty();
        if (!usersRoot_) plan_.ops.push_back({RegImportOp::Kind::CreateKey, root, path, {}, 0, {}, lineNo});
    }

    // A quoted string starting after its opening quote; returns the rest after the closing one.
    Line QuotedString(Line s, int lineNo, std::u16string& out) {
        out.clear();
        for (size_t i = 0; i < s.size(); ++i) {
            char16_t c = s[i];
            if (c == u'"') return s.substr(i + 1);
            if (c != u'\\') {
                out += c;
                continue;
            }
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
        }
        Fail(lineNo, "a quoted text has no closing '\"'");
    }

    void ValueLine(Line s, int lineNo) {
        if (!haveKey_)
            Fail(lineNo, afterDelete_ ? "a value follows a key deletion: it belongs to no key"
                                      : "a value comes before any key");
        if (usersRoot_) Fail(lineNo, "HKEY_USERS itself cannot hold values");
        std::u16string name;
        if (s.front() == u'@') {
            s.remove_prefix(1);
        } else {
            s = QuotedString(s.substr(1), lineNo, name);
        }
        if (name.size() > reg::kMaxValueNameUnits) Fail(lineNo, "a value name is longer than 16383 characters");
        s = TrimLeft(s);
        if (s.empty() || s.front() != u'=') Fail(lineNo, "'=' is missing after the value name");
        s = TrimRight(TrimLeft(s.substr(1)));
        RegImportOp op{RegImportOp::Kind::SetValue, currentRoot_, currentPath_, name, 0, {}, lineNo};
        if (!s.empty() && s.front() == u'-' && IsEndOfLine(s.substr(1))) {
            op.kind = RegImportOp::Kind::DeleteValue;
        } else if (!s.empty() && s.front() == u'"') {
            std::u16string text;
            Line rest = QuotedString(s.substr(1), lineNo, text);
            if (!IsEndOfLine(rest)) Fail(lineNo, "unexpected text after the quoted value");
            text += u'\0';
            op.type = 1;
            op.data = Utf16Bytes(text);
        } else if (s.substr(0, 6) == u"dword:") {
            Line digits = s.substr(6);
            uint32_t v = 0;
            size_t n = 0;
            while (n < digits.size() && HexDigit(digits[n]) >= 0) v = v * 16 + static_cast<uint32_t>(HexDigit(digits[n++]));
            if (n == 0 || n > 8 || !IsEndOfLine(digits.substr(n)))
                Fail(lineNo, "dword: needs 1 to 8 hexadecimal digits");
            op.type = 4;
            op.data = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                       static_cast<uint8_t>(v >> 24)};
        } else if (s.substr(0, 4) == u"hex:" || s.substr(0, 4) == u"hex(") {
            size_t p = 4;
            op.type = 3;
            if (s[3] == u'(') {
                uint64_t t = 0;
                size_t n = 0;
                while (p < s.size() && HexDigit(s[p]) >= 0) {
                    t = t * 16 + static_cast<uint64_t>(HexDigit(s[p++]));
                    ++n;
                }
                if (n == 0 || n > 8 || s.substr(p, 2) != u"):") Fail(lineNo, "the type in hex(...) is not valid");
                op.type = static_cast<uint32_t>(t);
                p += 2;
            }
            op.data = HexList(s.substr(p), lineNo);
            if (plan_.regedit4 && (op.type == 1 || op.type == 2 || op.type == 7)) {
                // REGEDIT4 files carry these as 8-bit text in the ANSI code page.
                bool bad = false;
                std::u16string u =
                    reg::ToUtf16(std::string_view(reinterpret_cast<const char*>(op.data.data()), op.data.size()),
                                 false, &bad);
                if (bad) Fail(lineNo, "the text of this value is not valid in the file's code page (UTF-8)");
                op.data = Utf16Bytes(u);
            }
        } else {
            Fail(lineNo, "the value's data is not a quoted text, dword: or hex: list");
        }
        plan_.ops.push_back(std::move(op));
    }

    // Byte list, continued on the following lines after a backslash.
    std::vector<uint8_t> HexList(Line s, int lineNo) {
        std::vector<uint8_t> out;
        int at = lineNo;
        for (;;) {
            s = TrimLeft(s);
            if (s.empty() || s.front() == u';') return out;
            if (s.front() == u'\\') {
                if (!IsEndOfLine(s.substr(1))) Fail(at, "unexpected text after '\\'");
                // The next line that is not empty or a comment continues the list.
                for (;;) {
                    if (next_ >= lines_.size()) Fail(at, "the file ends inside a value continued with '\\'");
                    at = static_cast<int>(next_) + 1;
                    Line n = TrimLeft(lines_[next_++]);
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
            out.push_back(static_cast<uint8_t>(value));
            s = TrimLeft(s.substr(n));
            if (!s.empty() && s.front() == u',') {
                s.remove_prefix(1);
            } else if (!s.empty() && s.front() != u'\\' && s.front() != u';') {
                Fail(at, "bytes of a hex list must be separated by commas");
            }
        }
    }

    std::vector<Line> lines_;
    RegImportPlan& plan_;
    std::u16string exactKey_;  // given by the comment before the next key line
    int exactKeyLine_ = 0;
    size_t next_ = 0;
    bool haveKey_ = false;
    bool afterDelete_ = false;
    bool usersRoot_ = false;
    RegRoot currentRoot_ = RegRoot::LocalMachine;
    std::u16string currentPath_;
};

// Splits text into lines at CR LF, LF or a lone CR.
template <class Unit, class Emit>
void SplitLines(const Unit* p, size_t n, Emit emit) {
    size_t start = 0;
    for (size_t i = 0; i < n; ++i) {
        if (p[i] == Unit('\n') || p[i] == Unit('\r')) {
            emit(p + start, i - start);
            if (p[i] == Unit('\r') && i + 1 < n && p[i + 1] == Unit('\n')) ++i;
            start = i + 1;
        }
    }
    if (start < n) emit(p + start, n - start);
}

}  // namespace

bool ParseRegFile(std::string_view bytes, RegImportPlan& plan, std::string& error) {
    plan = RegImportPlan{};
    // The whole text in one buffer, and each line as a view into it.
    std::u16string text;
    std::vector<std::pair<size_t, size_t>> spans;
    try {
        if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xff && static_cast<uint8_t>(bytes[1]) == 0xfe) {
            plan.utf16 = true;
            if (bytes.size() % 2) RegFileParser::Fail(1, "the file is UTF-16 but has an odd number of bytes: it is cut off");
            text.resize((bytes.size() - 2) / 2);
            for (size_t i = 0; i < text.size(); ++i)
                text[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 + 2 * i]) |
                                                (static_cast<uint8_t>(bytes[3 + 2 * i]) << 8));
            SplitLines(text.data(), text.size(),
                       [&](const char16_t* p, size_t n) { spans.emplace_back(p - text.data(), n); });
        } else if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xfe &&
                   static_cast<uint8_t>(bytes[1]) == 0xff) {
            RegFileParser::Fail(1, "the file is UTF-16 big-endian, which registry files never are");
        } else {
            if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xef\xbb\xbf") bytes.remove_prefix(3);
            text.reserve(bytes.size());
            int lineNo = 0;
            SplitLines(bytes.data(), bytes.size(), [&](const char* p, size_t n) {
                ++lineNo;
                bool bad = false;
                size_t start = text.size();
                text += reg::ToUtf16(std::string_view(p, n), false, &bad);
                if (bad) RegFileParser::Fail(lineNo, "this line is not valid text in the file's code page (UTF-8)");
                spans.emplace_back(start, text.size() - start);
            });
        }
        std::vector<Line> lines;
        lines.reserve(spans.size());
        for (auto [start, n] : spans) lines.emplace_back(text.data() + start, n);
        RegFileParser(std::move(lines), plan).Run();
    } catch (const ParseError& e) {
        error = "line " + std::to_string(e.line) + ": " + e.what;
        plan.ops.clear();
        return false;
    }
    return true;
}

}  // namespace qv
