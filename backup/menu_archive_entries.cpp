#include "backup/menu_archive_entries.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <ctime>

#include "menus/menu_archive.h"
#include "menus/menu_clean.h"

namespace qv {

namespace {

constexpr char kPrefix[] = "menu-entries-";
constexpr char kSuffix[] = ".tar";

bool Digits(const std::string& text, size_t at, size_t count) {
    if (at + count > text.size()) return false;
    return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(at),
                       text.begin() + static_cast<std::ptrdiff_t>(at + count),
                       [](unsigned char c) { return std::isdigit(c) != 0; });
}

int Number(const std::string& text, size_t at, size_t count) {
    return std::stoi(text.substr(at, count));
}

// The number of a numbered variant ("-2"); 1 for the first archive of its second.
int VariantNumber(const std::string& name) {
    const size_t stamp = sizeof kPrefix - 1 + 15;  // "YYYYMMDD-HHMMSS"
    const size_t end = name.size() - (sizeof kSuffix - 1);
    if (stamp + 1 >= end || name[stamp] != '-') return 1;
    const size_t count = end - stamp - 1;
    if (count > 6 || !Digits(name, stamp + 1, count)) return 1;
    return Number(name, stamp + 1, count);
}

}  // namespace

std::optional<int64_t> MenuArchiveNameTime(const std::string& name) {
    const size_t prefix = sizeof kPrefix - 1;
    const size_t suffix = sizeof kSuffix - 1;
    if (name.size() < prefix + 15 + suffix || name.compare(0, prefix, kPrefix) != 0 ||
        name.compare(name.size() - suffix, suffix, kSuffix) != 0)
        return std::nullopt;
    if (!Digits(name, prefix, 8) || name[prefix + 8] != '-' || !Digits(name, prefix + 9, 6)) return std::nullopt;
    const size_t rest = prefix + 15;
    if (rest != name.size() - suffix && name[rest] != '-') return std::nullopt;
    std::tm local{};
    local.tm_year = Number(name, prefix, 4) - 1900;
    local.tm_mon = Number(name, prefix + 4, 2) - 1;
    local.tm_mday = Number(name, prefix + 6, 2);
    local.tm_hour = Number(name, prefix + 9, 2);
    local.tm_min = Number(name, prefix + 11, 2);
    local.tm_sec = Number(name, prefix + 13, 2);
    local.tm_isdst = -1;  // the zone's rule for that day, as the clean's localtime wrote it
    if (local.tm_mon < 0 || local.tm_mon > 11 || local.tm_mday < 1 || local.tm_mday > 31 || local.tm_hour > 23 ||
        local.tm_min > 59 || local.tm_sec > 60)
        return std::nullopt;
    tzset();
    const std::time_t t = std::mktime(&local);
    if (t == static_cast<std::time_t>(-1)) return std::nullopt;
    return static_cast<int64_t>(t);
}

std::vector<MenuArchiveEntry> ListMenuArchiveEntries(const menus::MenuHome& home) {
    struct Listed {
        MenuArchiveEntry entry;
        int variant;
    };
    std::vector<Listed> listed;
    for (const std::filesystem::path& path : menus::ListMenuArchives(home)) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        MenuArchiveEntry entry;
        entry.path = path;
        entry.size = static_cast<uint64_t>(st.st_size);
        const std::string name = path.filename().string();
        const std::optional<int64_t> named = MenuArchiveNameTime(name);
        entry.created = named ? *named : static_cast<int64_t>(st.st_mtim.tv_sec);
        // The file's own time orders archives within their second when it lies in it (the
        // archive is written right after the time its name takes).
        if (static_cast<int64_t>(st.st_mtim.tv_sec) == entry.created)
            entry.createdFraction = static_cast<uint32_t>(st.st_mtim.tv_nsec / 100);
        std::string error;
        if (auto files = menus::ReadMenuArchive(path, error)) entry.files = files->size();
        listed.push_back({std::move(entry), VariantNumber(name)});
    }
    std::stable_sort(listed.begin(), listed.end(), [](const Listed& a, const Listed& b) {
        if (a.entry.created != b.entry.created) return a.entry.created > b.entry.created;
        if (a.entry.createdFraction != b.entry.createdFraction) return a.entry.createdFraction > b.entry.createdFraction;
        return a.variant > b.variant;
    });
    std::vector<MenuArchiveEntry> out;
    out.reserve(listed.size());
    for (Listed& l : listed) out.push_back(std::move(l.entry));
    return out;
}

}  // namespace qv
