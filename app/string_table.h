// Texts of the program's string table (resources/strings.inc), looked up by id.
//
// Code that names an id in its source uses StringText(id): the lookup runs at compile time,
// and an id that the table lacks stops the build. LoadStringText serves ids that are only
// known at run time.
#pragma once

#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>

namespace string_table_detail {

struct StringEntry {
    int id;
    std::string_view text;
};

inline constexpr StringEntry kStrings[] = {
#define QV_STRING(id, text) {id, text},
#include "resources/strings.inc"
#undef QV_STRING
};

constexpr bool IdsStrictlyAscending() {
    for (size_t i = 1; i < std::size(kStrings); ++i) {
        if (kStrings[i - 1].id >= kStrings[i].id) return false;
    }
    return true;
}
static_assert(IdsStrictlyAscending(),
              "resources/strings.inc: ids must be unique and in ascending order");

// The entry of `id`, or null.
constexpr const StringEntry* FindString(int id) {
    size_t low = 0;
    size_t high = std::size(kStrings);
    while (low < high) {
        size_t middle = low + (high - low) / 2;
        if (kStrings[middle].id < id) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    if (low < std::size(kStrings) && kStrings[low].id == id) return &kStrings[low];
    return nullptr;
}

// Called only for a missing id; being no constexpr function, it ends the compile-time
// evaluation of StringText with an error that names it.
inline void string_id_has_no_text_in_resources_strings_inc() {}

}  // namespace string_table_detail

// The text of string `id`, found while compiling. The view points into the table and lives
// as long as the program; every text is followed by a terminating NUL.
consteval std::string_view StringText(int id) {
    // Index arithmetic rather than pointer comparisons: the sanitizer build instruments
    // pointer checks, which then no longer count as constant expressions.
    size_t low = 0;
    size_t high = std::size(string_table_detail::kStrings);
    while (low < high) {
        size_t middle = low + (high - low) / 2;
        if (string_table_detail::kStrings[middle].id < id) low = middle + 1;
        else high = middle;
    }
    if (low == std::size(string_table_detail::kStrings) || string_table_detail::kStrings[low].id != id)
        string_table_detail::string_id_has_no_text_in_resources_strings_inc();
    return string_table_detail::kStrings[low].text;
}

// The text of string `id`; "" when the table has no such string.
std::string LoadStringText(int id);
