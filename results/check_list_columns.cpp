#include "results/check_list_columns.h"

#include <cctype>
#include <climits>

int DecimalPrefix(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    if (value < INT_MIN) value = INT_MIN;
    return static_cast<int>(value);
}

std::vector<CheckListColumn> ParseColumnList(std::string_view text) {
    std::vector<CheckListColumn> columns;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(';', start);
        std::string_view piece = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        size_t comma = piece.find(',');
        if (comma == std::string_view::npos) break;  // a piece without a width ends the list
        CheckListColumn column;
        column.heading = std::string(piece.substr(0, comma));
        std::string_view widthText;
        size_t second = piece.find(',', comma + 1);
        if (second != std::string_view::npos) {
            int code = DecimalPrefix(piece.substr(comma + 1, second - comma - 1));
            column.align = code == 1 ? ColumnAlign::Centre : code == 2 ? ColumnAlign::Right : ColumnAlign::Left;
            widthText = piece.substr(second + 1);
        } else {
            widthText = piece.substr(comma + 1);
        }
        column.width = DecimalPrefix(widthText);
        if (column.width < 1) column.width = 1;
        columns.push_back(std::move(column));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return columns;
}
