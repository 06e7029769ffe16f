#include "backup/menu_archive_restore.h"

#include <windows.h>

#include <sys/stat.h>

#include <algorithm>

namespace qv {

namespace {

// The files the tip names; the rest are counted.
constexpr size_t kRefusedNamed = 5;

std::string Files(size_t count) {
    return std::to_string(count) + (count == 1 ? " Wine menu file" : " Wine menu files");
}

}  // namespace

MenuArchiveRestore DescribeMenuRestore(const menus::MenuRestoreResult& result, const std::string& when) {
    MenuArchiveRestore out;
    const std::string what = "the Wine menu files of " + when;
    if (!result.error.empty()) {
        out.result = MenuArchiveRestore::Result::Failed;
        out.status = "Not restored: " + what + ".";
        out.details = out.status + "\n" + result.error;
        return out;
    }
    const size_t put = result.restored.size();
    const size_t left = result.refused.size();
    if (left == 0) {
        out.result = MenuArchiveRestore::Result::Restored;
        out.status = put == 0 ? "Nothing to put back: " + what + " are all in place already."
                              : "Put back " + Files(put) + ".";
        out.details = out.status;
        return out;
    }
    out.result = MenuArchiveRestore::Result::Partly;
    out.status = (put == 0 ? std::string("Put back no Wine menu file") : "Put back " + Files(put)) + "; " +
                 std::to_string(left) + (left == 1 ? " was" : " were") + " left as " +
                 (left == 1 ? "it was." : "they were.");
    out.details = out.status;
    for (size_t i = 0; i < std::min(left, kRefusedNamed); ++i) out.details += "\n" + result.refused[i];
    if (left > kRefusedNamed) out.details += "\nand " + std::to_string(left - kRefusedNamed) + " more.";
    return out;
}

MenuArchiveRestore RestoreMenuArchive(const BackupListRow& row, const menus::MenuHome& home) {
    MenuArchiveRestore out;
    const std::string what = "the Wine menu files of " + row.when;
    struct stat st {};
    if (!row.IsMenuArchive() || ::lstat(row.menuArchive.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        MessageBoxA(nullptr, ("Cannot find the archive\n" + row.menuArchive.string()).c_str(), "Confirmation",
                    MB_OK | MB_ICONINFORMATION);
        out.result = MenuArchiveRestore::Result::NotFound;
        out.status = "Not restored: " + what + " are no longer in the backup folder.";
        out.details = out.status;
        return out;
    }
    const std::string question = "Are you sure you want to put back the Wine menu files\nof " + row.when +
                                 "?\n\nA file that is there now with other contents is left as it is.";
    if (MessageBoxA(nullptr, question.c_str(), "Confirmation", MB_YESNO | MB_ICONINFORMATION) != IDYES) return out;
    const menus::MenuRestoreResult result = menus::RestoreMenuFiles(home, row.menuArchive);
    out = DescribeMenuRestore(result, row.when);
    if (out.result == MenuArchiveRestore::Result::Failed) {
        // Said in a box like a failed registry restore; the status line keeps the outcome.
        MessageBoxA(nullptr, ("The Wine menu files could not be put back; nothing was changed.\n\n" + result.error).c_str(),
                    "Quorvane", MB_OK | MB_ICONERROR);
    }
    return out;
}

}  // namespace qv
