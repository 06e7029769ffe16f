// The one-line column description of the check-list control: columns separated by
// semicolons, each "heading, width" or "heading, alignment, width". Parsed without any
// window so that the rules can be checked on their own.
#pragma once

#include <string>
#include <string_view>
#include <vector>

enum class ColumnAlign { Left, Centre, Right };

struct CheckListColumn {
    std::string heading;  // as written, blanks included
    ColumnAlign align = ColumnAlign::Left;
    int width = 1;        // pixels, at least 1

    bool operator==(const CheckListColumn&) const = default;
};

// The columns a column list ("Name, width;Name, width; ...") describes, in order. Parsing stops (without error) at the first piece
// that has no comma; a trailing semicolon adds no column.
std::vector<CheckListColumn> ParseColumnList(std::string_view text);

// The C library's decimal conversion as atoi does it: leading blanks skipped, an optional
// sign, digits up to the first other character; 0 when there are none. Out-of-range values
// are clamped instead of being undefined.
int DecimalPrefix(std::string_view text);
