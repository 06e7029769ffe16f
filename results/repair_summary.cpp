#include "results/repair_summary.h"

#include <optional>

#include "platform/text/shell_word.h"
#include "platform/win32/windows_file_open.h"

namespace {

std::string Count(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Rows named one per line; a long run ends with how many more there are.
constexpr size_t kNamedRows = 8;

}  // namespace

std::string RepairSummaryText(const CScanRepair& repair, const std::vector<RepairRow>& rows,
                              const std::filesystem::path& prefix) {
    const std::vector<RepairRowResult>& results = repair.RowResults();
    std::string text = "Removed " + Count(repair.RemovedCount(), "entry", "entries") + " from the registry.";
    if (repair.DeletedTempInternetFiles() + repair.DeletedCookies() > 0)
        text += "\nDeleted " + Count(repair.DeletedTempInternetFiles(), "cached internet file", "cached internet files") +
                " and " + Count(repair.DeletedCookies(), "cookie file", "cookie files") + ".";

    if (repair.RemovedMenuFiles() > 0)
        text += "\nArchived and removed " + Count(repair.RemovedMenuFiles(), "file", "files") +
                " that Wine left in your menus.";

    // Rows that came off the list without anything being removed for them.
    std::vector<std::string> nothing;
    size_t leftAlone = 0;
    for (size_t i = 0; i < rows.size() && i < results.size(); ++i) {
        const ScanFinding& f = rows[i].finding;
        if (results[i] == RepairRowResult::NothingToRemove) {
            nothing.push_back(f.problem + ": " + f.description + " (a shortcut row deletes no file)");
        } else if (results[i] == RepairRowResult::NotInRegistry) {
            nothing.push_back(f.problem + ": " + f.description + " (no such entry in the registry)");
        } else if (results[i] == RepairRowResult::LeftAlone) {
            ++leftAlone;
        }
    }
    if (!nothing.empty()) {
        text += "\n\nNothing was removed for " + Count(nothing.size(), "row", "rows") + ":";
        for (size_t i = 0; i < nothing.size() && i < kNamedRows; ++i) text += "\n  " + nothing[i];
        if (nothing.size() > kNamedRows) text += "\n  ...and " + std::to_string(nothing.size() - kNamedRows) + " more";
    }
    if (leftAlone > 0) text += "\n\n" + Count(leftAlone, "row was", "rows were") + " left alone and stay on the list.";

    const std::string& backup = repair.BackupPath();
    if (!backup.empty() && repair.RemovedCount() > 0) {
        const std::optional<std::filesystem::path> unix = qv::FileNameToUnix(backup);
        // Through the drive's link to the file itself: the path a file manager shows.
        std::error_code ec;
        const std::filesystem::path real = unix ? std::filesystem::weakly_canonical(*unix, ec) : std::filesystem::path();
        const std::string file = unix ? (ec ? *unix : real).string() : backup;
        text += "\n\nThe removed entries are kept in the backup file\n" + file +
                "\n\nTo undo the repair, restore that backup on the Backups page, or run:\n"
                "quorvane-regedit --prefix " +
                qv::ShellWord(prefix.string()) + " /s " + qv::ShellWord(file);
    }
    if (!repair.MenuArchive().empty())
        text += "\n\nThe menu files are kept in the archive\n" + repair.MenuArchive().string() +
                "\nTo put them back, restore it on the Backups page, or run:\nquorvane-cli menu-entries restore " +
                qv::ShellWord(repair.MenuArchive().string());
    return text;
}
