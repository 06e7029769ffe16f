#include "platform/prefix/lutris_game_names.h"

#include <sqlite3.h>

namespace qv {

std::map<std::string, std::string> LutrisGameNames(const std::filesystem::path& database, std::string& error) {
    std::map<std::string, std::string> names;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(database, ec)) {
        error = "not a regular file";
        return names;
    }
    sqlite3* db = nullptr;
    // Read-only, and without creating a journal: Lutris may be running.
    if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        error = db ? sqlite3_errmsg(db) : "cannot be opened";
        sqlite3_close(db);
        return names;
    }
    sqlite3_busy_timeout(db, 200);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT name, configpath FROM games", -1, &st, nullptr) != SQLITE_OK) {
        error = sqlite3_errmsg(db);
        sqlite3_close(db);
        return names;
    }
    int rc;
    size_t rows = 0;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW && ++rows <= 1'000'000) {
        const unsigned char* name = sqlite3_column_text(st, 0);
        const unsigned char* config = sqlite3_column_text(st, 1);
        if (name && config && *name && *config)
            names.emplace(reinterpret_cast<const char*>(config), reinterpret_cast<const char*>(name));
    }
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) error = sqlite3_errmsg(db);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return names;
}

}  // namespace qv
