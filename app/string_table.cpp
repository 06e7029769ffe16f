#include "app/string_table.h"

#include <algorithm>
#include <string_view>

namespace {

struct StringEntry {
    int id;
    std::string_view text;
};

constexpr StringEntry kStrings[] = {
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

}  // namespace

std::string LoadStringText(int id) {
    const auto* end = std::end(kStrings);
    const auto* it = std::lower_bound(std::begin(kStrings), end, id,
                                      [](const StringEntry& e, int v) { return e.id < v; });
    if (it == end || it->id != id) return "";
    return std::string(it->text);
}
