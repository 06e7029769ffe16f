#include "app/string_table.h"

std::string LoadStringText(int id) {
    const string_table_detail::StringEntry* entry = string_table_detail::FindString(id);
    return entry == nullptr ? std::string() : std::string(entry->text);
}
