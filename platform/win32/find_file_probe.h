// Whether FindFirstFileA would find anything for a pattern, without opening a search.
#pragma once

#include <string>

namespace qv {

// True when FindFirstFileA(`pattern`) would return a search with at least one entry. With a
// scan's file lookup cache on the thread, a name without wildcards is answered from the
// cached listing of its folder (a listed name is there: the scan trusts its listings for
// its duration), with no search handle and no status read of the file itself.
bool FindFirstFileFinds(const std::string& pattern);

}  // namespace qv
