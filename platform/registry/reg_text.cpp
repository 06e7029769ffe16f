#include "platform/registry/reg_text.h"

#include <locale.h>
#include <wctype.h>

namespace qv::reg {

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string ToUtf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

size_t DecodeUtf8Sequence(std::string_view s, size_t i, char32_t* cp) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    size_t len;
    char32_t c;
    if (b >= 0xC2 && b <= 0xDF) {
        len = 2;
        c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        len = 3;
        c = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        len = 4;
        c = b & 0x07;
    } else {
        return 0;
    }
    if (i + len > s.size()) return 0;
    for (size_t k = 1; k < len; ++k) {
        unsigned char cb = static_cast<unsigned char>(s[i + k]);
        if ((cb & 0xC0) != 0x80) return 0;
        c = (c << 6) | (cb & 0x3F);
    }
    // Reject overlong forms, surrogates and values beyond U+10FFFF.
    if ((len == 3 && c < 0x800) || (len == 4 && (c < 0x10000 || c > 0x10FFFF)) || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    *cp = c;
    return len;
}

void AppendUtf16(std::u16string& out, std::string_view s, bool dropInvalid, bool* dropped) {
    size_t i = 0;
    while (i < s.size()) {
        unsigned char b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            // A run of ASCII is copied in one step.
            size_t j = i + 1;
            while (j < s.size() && static_cast<unsigned char>(s[j]) < 0x80) ++j;
            size_t at = out.size();
            out.resize(at + (j - i));
            for (size_t k = i; k < j; ++k) out[at + (k - i)] = static_cast<char16_t>(s[k]);
            i = j;
            continue;
        }
        char32_t cp;
        size_t len = DecodeUtf8Sequence(s, i, &cp);
        if (!len) {
            if (dropped) *dropped = true;
            if (!dropInvalid) out += u'\uFFFD';
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += len;
    }
}

std::u16string ToUtf16(std::string_view s, bool dropInvalid, bool* dropped) {
    std::u16string out;
    out.reserve(s.size());
    AppendUtf16(out, s, dropInvalid, dropped);
    return out;
}

char16_t FoldCase(char16_t c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? static_cast<char16_t>(c + 32) : c;
    if (c >= 0xD800 && c <= 0xDFFF) return c;
    // glibc's wide-character table agrees with Unicode's simple lower case mapping, which is
    // what Wine's own table holds for the Basic Multilingual Plane.
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    wint_t lower = utf8 ? towlower_l(c, utf8) : c;
    return lower <= 0xFFFF ? static_cast<char16_t>(lower) : c;
}

int CompareNames(std::u16string_view a, std::u16string_view b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        char16_t ca = a[i], cb = b[i];
        if (ca == cb) continue;
        int d = static_cast<int>(FoldCase(ca)) - static_cast<int>(FoldCase(cb));
        if (d) return d;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

}  // namespace qv::reg
