#include "backup/backup_list_rows.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <iterator>

#include "app/app_utils.h"

namespace qv {

namespace {

// The time as the list shows it: the listing text's month and day without its comma.
constexpr char kRowTimeFormat[] = "%b %d %Y %#I:%M %p";

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

}  // namespace

BackupKind BackupKindOfFile(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // The prefixes are the store's; a name compares without regard to case, as Windows does.
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (StartsWith(lower, "fullbackup")) return BackupKind::Full;
    if (StartsWith(lower, "systembackup")) return BackupKind::System;
    if (StartsWith(lower, "partialbackup")) return BackupKind::Fix;
    return BackupKind::Other;
}

std::string BackupKindName(BackupKind kind) {
    switch (kind) {
    case BackupKind::Full: return "full backup";
    case BackupKind::System: return "system backup";
    case BackupKind::Fix: return "fix backup";
    case BackupKind::MenuFiles: return "Wine menu files";
    case BackupKind::Other: break;
    }
    return "backup";
}

std::string BackupSizeText(uint64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    static constexpr const char* kUnits[] = {"KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes) / 1024;
    char buffer[32];
    for (size_t unit = 0;; ++unit) {
        const bool last = unit + 1 == std::size(kUnits);
        // One decimal below ten, whole numbers above; a value that rounds up to 1024 is
        // written in the next unit ("1.0 MB", not "1024 KB").
        if (std::round(value * 10) < 100) {
            std::snprintf(buffer, sizeof buffer, "%.1f %s", value, kUnits[unit]);
            return buffer;
        }
        if (std::round(value) < 1024 || last) {
            std::snprintf(buffer, sizeof buffer, "%.0f %s", value, kUnits[unit]);
            return buffer;
        }
        value /= 1024;
    }
}

std::vector<BackupListRow> MakeBackupListRows(std::vector<BackupFileEntry> entries,
                                              std::vector<MenuArchiveEntry> archives) {
    struct Timed {
        int64_t created;
        uint32_t fraction;
        BackupListRow row;
    };
    std::vector<Timed> timed;
    timed.reserve(entries.size() + archives.size());
    for (BackupFileEntry& entry : entries) {
        BackupListRow row;
        row.kind = BackupKindOfFile(entry.path);
        row.when = FormatTime(entry.created, kRowTimeFormat);
        if (row.when.empty()) row.when = entry.listingText;
        row.text = row.when + " \u2014 " + BackupKindName(row.kind) + ", " + BackupSizeText(entry.size);
        const int64_t created = entry.created;
        const uint32_t fraction = entry.createdFraction;
        row.entry = std::move(entry);
        timed.push_back({created, fraction, std::move(row)});
    }
    for (MenuArchiveEntry& archive : archives) {
        BackupListRow row;
        row.kind = BackupKind::MenuFiles;
        row.when = FormatTime(archive.created, kRowTimeFormat);
        if (row.when.empty()) row.when = archive.path.filename().string();
        row.text = row.when + " \u2014 " + BackupKindName(row.kind) + ", ";
        // An archive that cannot be read shows its size only; restoring it says why.
        if (archive.files) row.text += std::to_string(*archive.files) + (*archive.files == 1 ? " file, " : " files, ");
        row.text += BackupSizeText(archive.size);
        row.menuArchive = std::move(archive.path);
        timed.push_back({archive.created, archive.createdFraction, std::move(row)});
    }
    std::stable_sort(timed.begin(), timed.end(), [](const Timed& a, const Timed& b) {
        if (a.created != b.created) return a.created > b.created;
        return a.fraction > b.fraction;
    });
    std::vector<BackupListRow> rows;
    rows.reserve(timed.size());
    for (Timed& t : timed) rows.push_back(std::move(t.row));
    return rows;
}

}  // namespace qv
