// File and variable names compared as Windows compares them: without regard to case.
// Names are UTF-8 (the ANSI code page of the Win32 stand-in); every code point is folded
// with the C library's simple lower-case mapping, so "É" matches "é" as well as "E" matches
// "e". Bytes that are not valid UTF-8 compare as themselves.
#pragma once

#include <string>
#include <string_view>

namespace qv {

// The case-folded code points of a name: equal results mean equal names.
std::u32string FoldNameCase(std::string_view name);

// True when two names differ at most in letter case.
bool NamesEqualIgnoringCase(std::string_view a, std::string_view b);

// A hash of a name that ignores letter case: names that NamesEqualIgnoringCase calls equal
// hash alike. Neither this nor the comparisons above allocate.
size_t HashNameIgnoringCase(std::string_view name);

// Hash and equality for unordered containers keyed by names without regard to case.
struct NameHashIgnoringCase {
    using is_transparent = void;
    size_t operator()(std::string_view name) const { return HashNameIgnoringCase(name); }
};
struct NameEqualIgnoringCase {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return NamesEqualIgnoringCase(a, b); }
};

// A strict weak order on names that ignores letter case (for sorted listings and maps).
struct NameLessIgnoringCase {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};

}  // namespace qv
