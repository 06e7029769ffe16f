#include "platform/prefix/case_insensitive_name.h"

#include <algorithm>
#include <cstdint>
#include <clocale>
#include <cwctype>
#include <locale.h>

namespace qv {
namespace {

// A UTF-8 character-type locale independent of the process's own locale, so that folding
// works the same whether or not the program called setlocale.
locale_t FoldingLocale() {
    static const locale_t locale = [] {
        locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
        if (l == static_cast<locale_t>(nullptr))
            l = newlocale(LC_CTYPE_MASK, "C.utf8", static_cast<locale_t>(nullptr));
        return l;
    }();
    return locale;
}

// Bytes that do not start a valid UTF-8 sequence are kept apart from every real character
// by mapping them into the low surrogate range, which no valid UTF-8 text decodes to.
constexpr char32_t kRawByteBase = 0xDC00;

char32_t FoldCodePoint(char32_t c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if (c >= 0xD800 && c <= 0xDFFF) return c;
    locale_t locale = FoldingLocale();
    if (locale == static_cast<locale_t>(nullptr)) return c;
    return static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), locale));
}

// Decodes one character at `i`, advancing `i`; invalid sequences yield one raw byte.
char32_t DecodeNext(std::string_view s, size_t& i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char b0 = byte(i);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int length = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
        c = b0 & 0x1F;
        minimum = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        c = b0 & 0x0F;
        minimum = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        c = b0 & 0x07;
        minimum = 0x10000;
    }
    if (length == 0 || i + length > s.size()) {
        ++i;
        return kRawByteBase + b0;
    }
    for (int k = 1; k < length; ++k) {
        unsigned char b = byte(i + k);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return kRawByteBase + b0;
        }
        c = (c << 6) | (b & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++i;
        return kRawByteBase + b0;
    }
    i += length;
    return c;
}

bool IsAscii(std::string_view s) {
    for (char ch : s)
        if (static_cast<unsigned char>(ch) >= 0x80) return false;
    return true;
}

char AsciiLower(char ch) { return (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch + 32) : ch; }

}  // namespace

std::u32string FoldNameCase(std::string_view name) {
    std::u32string folded;
    folded.reserve(name.size());
    for (size_t i = 0; i < name.size();) folded.push_back(FoldCodePoint(DecodeNext(name, i)));
    return folded;
}

bool NamesEqualIgnoringCase(std::string_view a, std::string_view b) {
    if (IsAscii(a) && IsAscii(b)) {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
        return true;
    }
    // Folded code point by code point, side by side: no copy of either name.
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size())
        if (FoldCodePoint(DecodeNext(a, i)) != FoldCodePoint(DecodeNext(b, j))) return false;
    return i == a.size() && j == b.size();
}

size_t HashNameIgnoringCase(std::string_view name) {
    // FNV-1a over the folded code points (ASCII letters folded without a table look-up).
    uint64_t hash = 1469598103934665603ull;
    for (size_t i = 0; i < name.size();) {
        unsigned char byte = static_cast<unsigned char>(name[i]);
        char32_t c;
        if (byte < 0x80) {
            c = static_cast<unsigned char>(AsciiLower(static_cast<char>(byte)));
            ++i;
        } else {
            c = FoldCodePoint(DecodeNext(name, i));
        }
        hash = (hash ^ static_cast<uint64_t>(c)) * 1099511628211ull;
    }
    return static_cast<size_t>(hash);
}

bool NameLessIgnoringCase::operator()(std::string_view a, std::string_view b) const {
    if (IsAscii(a) && IsAscii(b)) {
        size_t n = std::min(a.size(), b.size());
        for (size_t i = 0; i < n; ++i) {
            char x = AsciiLower(a[i]);
            char y = AsciiLower(b[i]);
            if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
        }
        return a.size() < b.size();
    }
    return FoldNameCase(a) < FoldNameCase(b);
}

}  // namespace qv
