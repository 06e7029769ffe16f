#include "platform/win32/wildcard_match.h"

#include <string>
#include <vector>

#include "platform/prefix/case_insensitive_name.h"

namespace qv {

bool HasWildcards(std::string_view text) { return text.find_first_of("*?") != std::string_view::npos; }

bool MatchesWildcard(std::string_view name, std::string_view pattern) {
    const std::u32string n = FoldNameCase(name);
    const std::u32string p = FoldNameCase(pattern);
    const size_t N = n.size();
    const size_t P = p.size();
    const bool nameHasDot = n.find(U'.') != std::u32string::npos;

    // onlyStars[i]: the pattern from i on is made of "*" alone (or is empty).
    std::vector<char> onlyStars(P + 1, 1);
    for (size_t i = P; i-- > 0;) onlyStars[i] = (p[i] == U'*') && onlyStars[i + 1];

    // match[i][j]: pattern from i matches name from j. Filled from the ends backwards.
    std::vector<std::vector<char>> match(P + 1, std::vector<char>(N + 1, 0));
    match[P][N] = 1;
    for (size_t i = P; i-- > 0;) {
        for (size_t j = N + 1; j-- > 0;) {
            bool more = j < N;
            bool result = false;
            switch (p[i]) {
                case U'*':
                    result = match[i + 1][j] || (more && match[i][j + 1]);
                    break;
                case U'?':
                    result = more && match[i + 1][j + 1];
                    break;
                case U'.':
                    // ".*" at the end also matches a name without extension, and so does
                    // a final "." ("*." lists the names that have no dot at all).
                    result = (more && n[j] == U'.' && match[i + 1][j + 1]) ||
                             (!more && onlyStars[i + 1] && (i + 1 < P || !nameHasDot));
                    break;
                default:
                    result = more && n[j] == p[i] && match[i + 1][j + 1];
                    break;
            }
            match[i][j] = result;
        }
    }
    return match[0][0];
}

}  // namespace qv
