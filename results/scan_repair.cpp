#include "results/scan_repair.h"

#include <fcntl.h>
#include <unistd.h>

#include <windows.h>

#include <cctype>

#include "app/string_table.h"
#include "platform/registry/registry_batch.h"
#include "platform/win32/windows_file_open.h"
#include "vendor/core/system32.h"

namespace {

// Keys that hold a whole category of entries (and the class roots): a repair deletes
// entries inside them, never the keys themselves or anything above them.
const char* const kContainers[] = {
    "software\\classes",
    "software\\microsoft\\windows\\currentversion\\app paths",
    "software\\microsoft\\windows\\currentversion\\shareddlls",
    "software\\microsoft\\windows nt\\currentversion\\fonts",
    "software\\microsoft\\windows\\help",
    "software\\microsoft\\windows\\html help",
    "software\\microsoft\\windows\\currentversion\\uninstall",
    "software\\microsoft\\windows\\currentversion\\run",
    "software\\microsoft\\windows\\currentversion\\runonce",
    "software\\microsoft\\windows\\currentversion\\runservices",
    "software\\microsoft\\windows\\currentversion\\runservicesonce",
    "software\\microsoft\\windows\\currentversion\\explorer\\fileexts",
    "software\\microsoft\\shared tools\\msconfig\\startupreg",
    "software\\wow6432node\\microsoft\\windows\\currentversion\\app paths",
    "software\\wow6432node\\microsoft\\windows\\currentversion\\uninstall",
    "software\\wow6432node\\microsoft\\windows\\currentversion\\run",
    "software\\wow6432node\\microsoft\\windows\\currentversion\\runonce",
    "system\\currentcontrolset\\hardware profiles\\current",
};

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

bool FlushToDisk(const std::string& windowsPath) {
    std::optional<std::filesystem::path> p = qv::FileNameToUnix(windowsPath);
    if (!p) return false;
    int fd = ::open(p->c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}


}  // namespace

bool CScanRepair::IsProtected(const ScanFinding& f) {
    if (f.kind != "VAL" && f.kind != "KEY") return false;  // file rows change no registry data
    std::string path = f.key;
    if (f.rootKey == "HKEY_CLASSES_ROOT")
        path = "Software\\Classes\\" + path;
    else if (f.rootKey == "HKEY_CURRENT_CONFIG")
        path = "System\\CurrentControlSet\\Hardware Profiles\\Current\\" + path;
    else if (f.rootKey != "HKEY_LOCAL_MACHINE" && f.rootKey != "HKEY_CURRENT_USER")
        return true;  // no other root is ever written by a scanner
    std::vector<std::string> target = Elements(path);
    if (f.kind == "VAL") return Elements(f.key).empty();  // a value at a hive root
    if (Elements(f.key).empty()) return true;              // a whole root
    for (const char* c : kContainers) {
        std::vector<std::string> container = Elements(c);
        if (target.size() <= container.size() && std::equal(target.begin(), target.end(), container.begin()))
            return true;  // the container itself or one of its ancestors
    }
    return false;
}

bool CScanRepair::BackupSelected(const std::vector<RepairRow>& rows) {
    m_problem.clear();
    m_backupPath = m_store.CreatePartialBackup();
    if (m_backupPath.empty()) {
        m_problem = "The backup file could not be created in " + m_store.MakeBackupFileName("") + ".";
        return false;
    }
    for (const RepairRow& row : rows) {
        const ScanFinding& f = row.finding;
        if (!row.checked || (f.kind != "VAL" && f.kind != "KEY") || IsProtected(f)) continue;
        if (!ExistsInRegistry(f)) continue;  // already gone: nothing to keep, nothing to delete
        m_store.m_writer.ExportRegistryKey(f.rootKey, f.key, f.kind == "VAL" ? f.description : "", m_backupPath);
        if (!m_store.m_writer.m_bComplete) {
            m_problem = "The entry " + f.rootKey + "\\" + f.key + (f.kind == "VAL" ? " (" + f.description + ")" : "") +
                        " could not be written completely to " + m_backupPath + ".";
            return false;
        }
    }
    if (!FlushToDisk(m_backupPath)) {
        m_problem = "The backup file " + m_backupPath + " could not be written to disk.";
        return false;
    }
    return true;
}

RepairOutcome CScanRepair::RepairSelected(const std::vector<RepairRow>& rows) {
    if (MessageBoxA(nullptr, std::string(StringText(189)).c_str(), std::string(StringText(187)).c_str(),
                    MB_YESNO | MB_ICONINFORMATION) != IDYES)
        return RepairOutcome::Declined;
    std::string skipped;
    qv::RegistryBatch batch;
    for (const RepairRow& row : rows) {
        if (!row.checked) continue;
        const ScanFinding& f = row.finding;
        if (f.kind != "VAL" && f.kind != "KEY") continue;
        if (IsProtected(f)) {
            skipped += f.rootKey + "\\" + f.key + (f.kind == "VAL" ? " (" + f.description + ")" : "") + "\n";
            continue;
        }
        HKEY root = CRegExportWriter::RootFromName(f.rootKey);
        if (f.kind == "VAL")
            CSystem32::DeleteRegistryValue(f.key, f.description, root);
        else
            CSystem32::DeleteRegistryKey(f.key, root);
    }
    if (batch.Commit() != ERROR_SUCCESS) {
        m_problem = std::string(StringText(903)) + batch.Error();
        return RepairOutcome::RegistryRefused;
    }
    if (!skipped.empty())
        MessageBoxA(nullptr, (std::string(StringText(902)) + skipped).c_str(), std::string(StringText(107)).c_str(),
                    MB_OK | MB_ICONWARNING);
    return RepairOutcome::Repaired;
}

RepairOutcome CScanRepair::FixSelected(const std::vector<RepairRow>& rows, const CFindingStores& stores) {
    m_notes.clear();
    m_deletedTempInternetFiles = m_deletedCookies = 0;
    if (!BackupSelected(rows)) {
        MessageBoxA(nullptr, (std::string(StringText(901)) + m_problem).c_str(), std::string(StringText(107)).c_str(),
                    MB_OK | MB_ICONERROR);
        return RepairOutcome::BackupIncomplete;
    }
    RepairOutcome outcome = RepairSelected(rows);
    if (outcome == RepairOutcome::RegistryRefused) {
        MessageBoxA(nullptr, m_problem.c_str(), std::string(StringText(107)).c_str(), MB_OK | MB_ICONERROR);
        return outcome;
    }
    if (outcome != RepairOutcome::Repaired) return outcome;
    for (const auto* notes : {&stores.m_aTempInternetFolderNotes, &stores.m_aCookieFolderNotes})
        m_notes.insert(m_notes.end(), notes->begin(), notes->end());
    m_deletedTempInternetFiles = DeleteTempInternetFiles(stores.m_aTempInternetFileRecords);
    m_deletedCookies = DeleteCookies(stores.m_aCookieFileRecords);
    return outcome;
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
