// Text helpers of the registry store: UTF-8 <-> UTF-16 conversion and the name order and
// case folding that Wine's registry uses.
#pragma once

#include <string>
#include <string_view>

namespace qv::reg {

// Appends the UTF-8 bytes of the code point `cp` (at most U+10FFFF; not checked further).
void AppendUtf8(std::string& out, char32_t cp);

// UTF-16 -> UTF-8. Unpaired surrogates become U+FFFD.
std::string ToUtf8(std::u16string_view s);

// UTF-8 -> UTF-16. Invalid bytes become U+FFFD (the A functions' conversion); with
// `dropInvalid` they are dropped instead, as Wine's registry loader does, and
// `*dropped` (when given) is set.
std::u16string ToUtf16(std::string_view s, bool dropInvalid = false, bool* dropped = nullptr);
// The length of the valid UTF-8 sequence for one code point above U+007F that starts at
// s[i] (its value in *cp), or 0 when the bytes there are not one (then a converter drops or
// replaces the first byte and goes on with the next).
size_t DecodeUtf8Sequence(std::string_view s, size_t i, char32_t* cp);

// The same, appended to `out`.
void AppendUtf16(std::u16string& out, std::string_view s, bool dropInvalid = false, bool* dropped = nullptr);

// Wine's case mapping of one code unit (simple lower case; surrogates map to themselves).
char16_t FoldCase(char16_t c);

// Wine's order of key and value names: code unit by code unit after folding, a prefix
// sorts first. Returns <0, 0, >0.
int CompareNames(std::u16string_view a, std::u16string_view b);

inline bool NamesEqual(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && CompareNames(a, b) == 0;
}

}  // namespace qv::reg
