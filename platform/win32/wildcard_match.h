// File-name patterns of the Windows file search: "*" stands for any run of characters, "?"
// for one character; letters match without regard to case. As on Windows, "*.*" matches
// every name (also names without a dot), a pattern ending in ".*" or "." also matches the
// name without that extension ("readme.*" finds "readme"), and "*." lists the names
// without a dot.
#pragma once

#include <string_view>

namespace qv {

bool HasWildcards(std::string_view text);

bool MatchesWildcard(std::string_view name, std::string_view pattern);

}  // namespace qv
