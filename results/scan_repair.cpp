#include "results/scan_repair.h"

#include <algorithm>

#include "menus/menu_clean.h"


#include <windows.h>

#include <cctype>
#include <fstream>
#include <optional>
#include <sstream>

#include "app/string_table.h"
#include "backup/partial_backup_check.h"
#include "platform/prefix/prefix.h"
#include "platform/prefix/wineserver_guard.h"
#include "platform/registry/registry_batch.h"
#include "platform/registry/reg_text.h"
#include "platform/registry/registry_store.h"
#include "platform/win32/windows_file_open.h"
#include "scan/scanned_keys.h"
#include "vendor/core/system32.h"

namespace {

// Lower-case path elements without empty ones.
std::vector<std::string> Elements(const std::string& path) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : path) {
        if (c == '\\') {
            if (!cur.empty()) out.push_back(cur);
            cur.clear();
        } else {
            cur += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

bool ExistsInRegistry(const ScanFinding& f) {
    HKEY root = CRegExportWriter::RootFromName(f.rootKey);
    if (!root) return false;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, f.key.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    bool exists = true;
    if (f.kind == "VAL") {
        DWORD type = 0, size = 0;
        exists = RegQueryValueExA(key, f.description.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return exists;
}



}  // namespace

CScanRepair::CScanRepair(CBackupStore& store)
    : m_store(store), m_messenger([](const std::string& text, const std::string& caption, unsigned type) {
          return MessageBoxA(nullptr, text.c_str(), caption.c_str(), type);
      }) {}

int CScanRepair::Tell(const std::string& text, const std::string& caption, unsigned type) const {
    return m_messenger(text, caption, type);
}

void CScanRepair::Report(int phase, size_t done, size_t total) const {
    if (m_progress == nullptr) return;
    m_progress->total.store(total, std::memory_order_relaxed);
    m_progress->done.store(done, std::memory_order_relaxed);
    m_progress->phase.store(phase, std::memory_order_release);
}

size_t CScanRepair::RemovedCount() const {
    size_t n = 0;
    for (RepairRowResult r : m_results) n += r == RepairRowResult::Removed ? 1 : 0;
    return n;
}

bool CScanRepair::IsProtected(const ScanFinding& f) {
    if (f.kind != "VAL" && f.kind != "KEY") return false;  // file rows change no registry data
    std::string path = f.key;
    if (f.rootKey == "HKEY_CLASSES_ROOT")
        path = std::string(scankeys::kClasses) + "\\" + path;
    else if (f.rootKey == "HKEY_CURRENT_CONFIG")
        path = std::string(scankeys::kCurrentConfig) + "\\" + path;
    else if (f.rootKey != "HKEY_LOCAL_MACHINE" && f.rootKey != "HKEY_CURRENT_USER")
        return true;  // no other root is ever written by a scanner
    if (f.kind == "VAL") return Elements(f.key).empty();  // a value at a hive root
    if (Elements(f.key).empty()) return true;              // a whole root
    // The key as named, and the key it really is when a link on the way leads elsewhere.
    std::vector<std::vector<std::string>> targets{Elements(path)};
    if (std::shared_ptr<qv::Prefix> prefix = qv::ActivePrefix()) {
        qv::RegistryStore& store = prefix->Registry();
        auto lock = store.ReadLock();
        qv::RegRoot root = f.rootKey == "HKEY_CURRENT_USER" ? qv::RegRoot::CurrentUser : qv::RegRoot::LocalMachine;
        if (f.rootKey == "HKEY_CLASSES_ROOT" || f.rootKey == "HKEY_CURRENT_CONFIG") root = qv::RegRoot::LocalMachine;
        const qv::reg::Key* top = store.Find(root, u"");
        const qv::reg::Key* key = store.Find(root, qv::reg::ToUtf16(path));
        if (top && key) targets.push_back(Elements(qv::reg::ToUtf8(key->PathFrom(top))));
    }
    static const std::vector<std::vector<std::string>> containers = [] {
        std::vector<std::vector<std::string>> list;
        for (const std::string& c : scankeys::ContainerKeys()) list.push_back(Elements(c));
        return list;
    }();
    for (const std::vector<std::string>& target : targets)
        for (const std::vector<std::string>& container : containers)
            if (target.size() <= container.size() && std::equal(target.begin(), target.end(), container.begin()))
                return true;  // the container itself or one of its ancestors
    return false;
}

std::string CScanRepair::WriteRefusal(const std::vector<RepairRow>& rows) const {
    std::shared_ptr<qv::Prefix> prefix = qv::ActivePrefix();
    if (!prefix) return "No Wine prefix is open.";
    bool registryRows = false;
    for (const RepairRow& row : rows) {
        if (!row.checked || (row.finding.kind != "VAL" && row.finding.kind != "KEY")) continue;
        registryRows = true;
        const std::string& root = row.finding.rootKey;
        std::string why = prefix->Registry().WriteRefusal(root == "HKEY_CURRENT_USER" ? qv::RegRoot::CurrentUser
                                                                                      : qv::RegRoot::LocalMachine);
        if (!why.empty()) return why;
    }
    if (!registryRows) return {};
    qv::WineServerStatus wine = qv::FindWineServer(prefix->Root());
    if (wine.running) return qv::WineRunningMessage(prefix->Root(), wine);
    return {};
}

bool CScanRepair::LeftAlone(size_t row) const { return row < m_leftAlone.size() && m_leftAlone[row]; }

bool CScanRepair::BackupSelected(const std::vector<RepairRow>& rows) {
    m_problem.clear();
    m_refused.clear();
    m_backupPath.clear();
    // Written whole under a temporary name, read back and compared, and only then given its
    // final name: a backup is never appended to another one, and a file that cannot bring
    // every entry back exactly never counts as a backup.
    std::string temp = m_store.CreatePartialBackup();
    if (temp.empty()) {
        m_problem = "The backup file could not be created in " + m_store.MakeBackupFileName("") + ".";
        return false;
    }
    std::shared_ptr<qv::Prefix> prefix = qv::ActivePrefix();
    std::vector<qv::BackupEntry> written;
    m_results.assign(rows.size(), RepairRowResult::Unchecked);
    for (size_t i = 0; i < rows.size(); ++i) {
        if ((i & 63) == 0) Report(RepairProgress::kBackingUp, i, rows.size());
        const ScanFinding& f = rows[i].finding;
        if (!rows[i].checked || (f.kind != "VAL" && f.kind != "KEY") || IsProtected(f)) continue;
        if (!ExistsInRegistry(f)) {
            // Nothing to keep, and nothing the repair may delete: the backup does not hold it.
            m_results[i] = RepairRowResult::NotInRegistry;
            continue;
        }
        qv::BackupEntry entry{f.rootKey, f.key, f.kind == "VAL" ? f.description : "", f.kind == "KEY"};
        std::string refusal = prefix ? qv::BackupRefusal(prefix->Registry(), entry) : std::string("no prefix");
        if (!refusal.empty()) {
            m_refused.emplace_back(i, refusal);
            continue;
        }
        m_store.m_writer.ExportRegistryKey(f.rootKey, f.key, entry.valueName, temp);
        if (!m_store.m_writer.m_bComplete) {
            m_problem = "The entry " + f.rootKey + "\\" + f.key + (f.kind == "VAL" ? " (" + f.description + ")" : "") +
                        " could not be written completely to " + temp + ".";
            m_store.DiscardBackup(temp);
            return false;
        }
        written.push_back(std::move(entry));
    }
    if (written.empty()) {
        // Nothing of the registry is to go (file and menu rows only): no backup of nothing.
        m_store.DiscardBackup(temp);
        return true;
    }
    std::optional<std::filesystem::path> unix = qv::FileNameToUnix(temp);
    std::string bytes;
    if (unix) {
        std::ifstream in(*unix, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        bytes = text.str();
    }
    std::string difference = prefix ? qv::CompareBackupWithRegistry(prefix->Registry(), bytes, written)
                                    : std::string("no prefix is open");
    if (!difference.empty()) {
        m_problem = "The backup file would not bring the entries back exactly: " + difference + ".";
        m_store.DiscardBackup(temp);
        return false;
    }
    std::string error;
    m_backupPath = m_store.PublishBackup(temp, "PartialBackup", error);
    if (m_backupPath.empty()) {
        m_problem = "The backup could not be saved: " + error + ".";
        return false;
    }
    return true;
}

RepairOutcome CScanRepair::RepairSelected(const std::vector<RepairRow>& rows) {
    m_leftAlone.assign(rows.size(), false);
    m_repaired = 0;
    if (m_results.size() != rows.size()) m_results.assign(rows.size(), RepairRowResult::Unchecked);
    if (Tell(std::string(StringText(189)), std::string(StringText(187)), MB_YESNO | MB_ICONINFORMATION) != IDYES)
        return RepairOutcome::Declined;
    for (const auto& [row, why] : m_refused) m_leftAlone[row] = true;
    std::string skipped;
    qv::RegistryBatch batch;
    for (size_t i = 0; i < rows.size(); ++i) {
        if ((i & 63) == 0) Report(RepairProgress::kRemoving, i, rows.size());
        const RepairRow& row = rows[i];
        if (!row.checked) continue;
        if (m_leftAlone[i]) {
            m_results[i] = RepairRowResult::LeftAlone;
            continue;
        }
        const ScanFinding& f = row.finding;
        if (IsProtected(f)) {
            m_leftAlone[i] = true;
            m_results[i] = RepairRowResult::LeftAlone;
            skipped += f.rootKey + "\\" + f.key + (f.kind == "VAL" ? " (" + f.description + ")" : "") + "\n";
            continue;
        }
        ++m_repaired;
        if (f.kind != "VAL" && f.kind != "KEY") {
            m_results[i] = RepairRowResult::NothingToRemove;
            continue;
        }
        if (m_results[i] == RepairRowResult::NotInRegistry) continue;
        HKEY root = CRegExportWriter::RootFromName(f.rootKey);
        const int deleted = f.kind == "VAL" ? CSystem32::DeleteRegistryValue(f.key, f.description, root)
                                            : CSystem32::DeleteRegistryKey(f.key, root);
        m_results[i] = deleted ? RepairRowResult::Removed : RepairRowResult::NotInRegistry;
    }
    Report(RepairProgress::kSaving, 0, 0);
    // The backup was taken from what this process read: when another program changed the
    // files since, the deletions are not put on top of its version (they could remove what
    // the backup does not hold).
    std::shared_ptr<qv::Prefix> prefix = qv::ActivePrefix();
    if (prefix) prefix->Registry().SetRebaseAllowed(false);
    long saved = batch.Commit();
    if (prefix) prefix->Registry().SetRebaseAllowed(true);
    if (saved != ERROR_SUCCESS) {
        m_problem = std::string(StringText(903)) + batch.Error();
        m_repaired = 0;
        m_results.assign(rows.size(), RepairRowResult::Unchecked);
        return RepairOutcome::RegistryRefused;
    }
    std::string notes;
    if (!skipped.empty()) notes += std::string(StringText(902)) + skipped;
    if (!m_refused.empty()) {
        if (!notes.empty()) notes += "\n";
        notes += StringText(904);
        for (const auto& [row, why] : m_refused) notes += why + "\n";
    }
    if (!notes.empty())
        Tell(notes, std::string(StringText(107)), MB_OK | MB_ICONWARNING);
    return RepairOutcome::Repaired;
}

RepairOutcome CScanRepair::FixSelected(const std::vector<RepairRow>& rows, const CFindingStores& stores) {
    m_notes.clear();
    m_deletedTempInternetFiles = m_deletedCookies = 0;
    m_removedMenuFiles = 0;
    m_menuArchive.clear();
    m_backupPath.clear();
    m_leftAlone.assign(rows.size(), false);
    m_results.assign(rows.size(), RepairRowResult::Unchecked);
    m_repaired = 0;
    // A repair that cannot write the registry makes no backup and asks nothing.
    m_problem = WriteRefusal(rows);
    if (!m_problem.empty()) {
        m_problem = std::string(StringText(903)) + m_problem;
        Tell(m_problem, std::string(StringText(107)), MB_OK | MB_ICONERROR);
        return RepairOutcome::RegistryRefused;
    }
    // The backup and the deletions work on the files as they are now, not as they were when
    // the scan (or the window) read them.
    if (std::shared_ptr<qv::Prefix> prefix = qv::ActivePrefix()) {
        auto lock = prefix->Registry().WriteLock();
        prefix->Registry().ReloadChangedFiles();
    }
    if (!BackupSelected(rows)) {
        Tell(std::string(StringText(901)) + m_problem, std::string(StringText(107)), MB_OK | MB_ICONERROR);
        return RepairOutcome::BackupIncomplete;
    }
    RepairOutcome outcome = RepairSelected(rows);
    if (outcome == RepairOutcome::RegistryRefused) {
        // When nothing was deleted the backup holds nothing worth keeping; a save that left
        // some file changed all the same keeps it.
        std::shared_ptr<qv::Prefix> prefix = qv::ActivePrefix();
        if (!prefix || !prefix->Registry().LastCommitLeftChanges()) {
            m_store.DiscardBackup(m_backupPath);
            m_backupPath.clear();
        }
        Tell(m_problem, std::string(StringText(107)), MB_OK | MB_ICONERROR);
        return outcome;
    }
    if (outcome != RepairOutcome::Repaired) return outcome;
    for (const auto* notes :
         {&stores.m_aShortcutFolderNotes, &stores.m_aTempInternetFolderNotes, &stores.m_aCookieFolderNotes})
        m_notes.insert(m_notes.end(), notes->begin(), notes->end());
    Report(RepairProgress::kFiles, 0, 0);
    m_deletedTempInternetFiles = DeleteTempInternetFiles(stores.m_aTempInternetFileRecords);
    m_deletedCookies = DeleteCookies(stores.m_aCookieFileRecords);
    CleanMenuRows(rows, stores);
    Report(RepairProgress::kDone, 0, 0);
    return outcome;
}

void CScanRepair::CleanMenuRows(const std::vector<RepairRow>& rows, const CFindingStores& stores) {
    std::vector<std::filesystem::path> entries;
    std::vector<size_t> menuRows;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (!rows[i].checked || rows[i].finding.kind != "MENU" || m_leftAlone[i]) continue;
        entries.push_back(rows[i].finding.key);
        menuRows.push_back(i);
    }
    if (entries.empty()) return;
    const std::vector<menus::StaleMenuFile> files = menus::FilesOfEntries(stores.m_aWineMenuFiles, entries);
    menus::MenuCleanResult clean = menus::CleanMenuFiles(stores.m_wineMenuHome, files);
    m_notes.insert(m_notes.end(), clean.notes.begin(), clean.notes.end());
    if (!clean.ok) m_notes.push_back("No Wine menu file was removed: " + clean.error);
    m_removedMenuFiles = clean.removed.size();
    m_menuArchive = clean.ok ? clean.archive : std::filesystem::path();
    for (size_t i : menuRows) {
        // A row whose entry is still there (not archived, or changed meanwhile) stays listed.
        const bool gone = std::find(clean.removed.begin(), clean.removed.end(),
                                    std::filesystem::path(rows[i].finding.key)) != clean.removed.end();
        m_results[i] = gone ? RepairRowResult::FilesArchived : RepairRowResult::LeftAlone;
        m_leftAlone[i] = !gone;
        if (!gone) --m_repaired;
    }
}

size_t CScanRepair::DeleteTempInternetFiles(const std::vector<CachedFileRecord>& files) {
    CachedFileDeletion done = DeleteCachedFiles(files);
    m_notes.insert(m_notes.end(), done.notes.begin(), done.notes.end());
    return done.deleted;
}

size_t CScanRepair::DeleteCookies(const std::vector<CachedFileRecord>& files) {
    CachedFileDeletion done = DeleteCachedFiles(files);
    m_notes.insert(m_notes.end(), done.notes.begin(), done.notes.end());
    return done.deleted;
}

int TotalItemCount(size_t listedRows, const CFindingStores& stores) {
    return static_cast<int>(listedRows + stores.CachedFileCount());
}
