// The repair of checked scan results, without any window: partial backup, confirmation,
// deletions, cached internet files and cookies. The results page keeps the rows in its
// list and hands them here; the command line does the same with its own rows.
//
// Safety beyond the plain steps: nothing is deleted unless the backup of every checked
// entry is complete and on disk; all deletions are saved at once (or none, with the
// reason); and no row can delete a hive root or a key that holds a whole category of
// entries, whatever its texts say.
#pragma once

#include <atomic>
#include <functional>
#include <filesystem>
#include <string>
#include <vector>

#include "backup/backup_store.h"
#include "scan/finding_stores.h"
#include "scan/scan_finding.h"

struct RepairRow {
    ScanFinding finding;
    bool checked = false;
};

// What a repair did with one row.
enum class RepairRowResult {
    Unchecked,        // not asked for
    Removed,          // its registry entry was deleted
    NotInRegistry,    // its entry was not in the registry (gone already, or the row names none)
    NothingToRemove,  // a file row: the repair takes it off the list and changes nothing
    LeftAlone,        // protected, or its backup could not bring it back: it stays listed
    FilesArchived,    // a Wine menu row: its files were archived and removed
};

// Where a running repair stands; written by the repair, read by another thread.
struct RepairProgress {
    enum Phase { kStarting, kBackingUp, kRemoving, kSaving, kFiles, kDone };
    std::atomic<int> phase{kStarting};
    std::atomic<size_t> done{0};
    std::atomic<size_t> total{0};
};

enum class RepairOutcome {
    Repaired,           // deleted; the checked rows are to be taken off the list
    Declined,           // the user said no: nothing changed but the backup file
    BackupIncomplete,   // the backup could not be completed: nothing deleted
    RegistryRefused,    // the registry could not be saved (Wine running, disk): nothing deleted
};

class CScanRepair {
public:
    // How the repair asks and tells the user: a message box's text, caption and type in, the
    // answer (IDYES, IDOK, ...) out.
    using Messenger = std::function<int(const std::string& text, const std::string& caption, unsigned type)>;

    // Asks and tells through the platform's message box.
    explicit CScanRepair(CBackupStore& store);

    // A repair on a worker thread asks through the window's thread instead.
    void SetMessenger(Messenger messenger) { m_messenger = std::move(messenger); }
    // Reports its steps here while it runs (null: nowhere).
    void SetProgress(RepairProgress* progress) { m_progress = progress; }

    // Writes the checked rows' registry data into a new partial backup file. True when every
    // entry that exists was written completely, the file read back gives exactly that data,
    // and it is on disk under its final name. Rows whose entries .reg text cannot carry are
    // refused (see Refused) and left out.
    bool BackupSelected(const std::vector<RepairRow>& rows);

    // Asks for confirmation and deletes the checked rows' entries in one save. Rows that
    // would delete a protected key are left alone and reported.
    RepairOutcome RepairSelected(const std::vector<RepairRow>& rows);

    // Backup, then repair, then (when repaired) the cached internet files and cookies that
    // the scan behind `stores` counted.
    RepairOutcome FixSelected(const std::vector<RepairRow>& rows, const CFindingStores& stores);

    // Delete the cached internet files (m_aTempInternetFileRecords) or the cookie files
    // (m_aCookieFileRecords) a scan counted, each only while it is still the file counted
    // and in a folder inside the prefix's drive_c; cache subfolders left empty go too.
    // Return how many files were deleted; folders left alone are added to Notes().
    size_t DeleteTempInternetFiles(const std::vector<CachedFileRecord>& files);
    size_t DeleteCookies(const std::vector<CachedFileRecord>& files);

    // True when deleting this row's entry would remove a hive root or a container key (the
    // keys the scanners walk, scanned_keys.h, in both registry views) or one of their
    // ancestors, named directly or reached through a link.
    static bool IsProtected(const ScanFinding& finding);

    // True when the last repair left this checked row in place (protected, or refused because
    // its backup could not bring it back exactly): it stays on the list.
    bool LeftAlone(size_t row) const;
    // The rows the last backup refused, each with its reason.
    const std::vector<std::pair<size_t, std::string>>& Refused() const { return m_refused; }
    // The number of checked rows the last repair took care of.
    size_t RepairedCount() const { return m_repaired; }
    // What the last repair did with each row, and how many entries it really removed.
    const std::vector<RepairRowResult>& RowResults() const { return m_results; }
    size_t RemovedCount() const;

    const std::string& BackupPath() const { return m_backupPath; }
    // Why the last FixSelected did not repair, for the user.
    const std::string& Problem() const { return m_problem; }
    // The shortcut, cache and cookie folders the last FixSelected (and the scan before it)
    // left alone, and why; one line each.
    const std::vector<std::string>& Notes() const { return m_notes; }
    size_t DeletedTempInternetFiles() const { return m_deletedTempInternetFiles; }
    size_t DeletedCookies() const { return m_deletedCookies; }
    // The Wine menu files the last repair removed, and the archive that holds them (empty
    // when none were removed).
    size_t RemovedMenuFiles() const { return m_removedMenuFiles; }
    const std::filesystem::path& MenuArchive() const { return m_menuArchive; }

private:
    // Archives, then removes, the files of the checked Wine menu rows.
    void CleanMenuRows(const std::vector<RepairRow>& rows, const CFindingStores& stores);
    // Why the registry cannot be written now (Wine running, an unreadable hive); empty when
    // it can.
    std::string WriteRefusal(const std::vector<RepairRow>& rows) const;
    int Tell(const std::string& text, const std::string& caption, unsigned type) const;
    void Report(int phase, size_t done, size_t total) const;

    CBackupStore& m_store;
    Messenger m_messenger;
    RepairProgress* m_progress = nullptr;
    std::vector<RepairRowResult> m_results;
    std::string m_backupPath;
    std::string m_problem;
    std::vector<std::pair<size_t, std::string>> m_refused;
    std::vector<bool> m_leftAlone;
    size_t m_repaired = 0;
    std::vector<std::string> m_notes;
    size_t m_deletedTempInternetFiles = 0;
    size_t m_deletedCookies = 0;
    size_t m_removedMenuFiles = 0;
    std::filesystem::path m_menuArchive;
};

// The figure of the results page's caption: every listed finding, plus the cached internet
// files and cookies a repair clears.
int TotalItemCount(size_t listedRows, const CFindingStores& stores);
