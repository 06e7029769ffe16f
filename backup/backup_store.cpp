#include "backup/backup_store.h"

#include <windows.h>

#include <srrestoreptapi.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

#include "app/app_utils.h"
#include "app/derived_paths.h"
#include "app/settings.h"
#include "app/string_table.h"
#include "backup/backup_file_publish.h"
#include "backup/regedit_command.h"
#include "platform/prefix/prefix.h"
#include "platform/prefix/wineserver_guard.h"
#include "platform/win32/windows_file_open.h"
#include "vendor/core/system32.h"

namespace {

std::string ProductFolder() {
    std::string backup = GetBackupFolder();  // ...\Quorvane\Backup\ -> ...\Quorvane
    if (!backup.empty() && backup.back() == '\\') backup.pop_back();
    size_t cut = backup.find_last_of('\\');
    return cut == std::string::npos ? backup : backup.substr(0, cut);
}

// The backup folder as a Unix path (empty when it cannot be mapped).
std::filesystem::path UnixBackupFolder() {
    std::optional<std::filesystem::path> p = qv::FileNameToUnix(GetBackupFolder());
    return p ? *p : std::filesystem::path();
}

// A temporary name beside the backups for a backup that will be called like `wanted`.
std::string TempBackupPath(const std::string& wanted) {
    std::string name = wanted.substr(wanted.find_last_of('\\') + 1);
    return GetBackupFolder() + qv::BackupTempPath("", name).filename().string();
}

int64_t FileTimeToUnix(const FILETIME& ft) {
    uint64_t ticks = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return static_cast<int64_t>(ticks / 10000000ULL) - 11644473600LL;
}

}  // namespace

void CBackupStore::EnsureBackupFolder() {
    const std::string folder = GetBackupFolder();
    if (GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES) {
        qv::RemoveStaleBackupTemps(UnixBackupFolder());
        return;
    }
    const std::string product = ProductFolder();
    if (GetFileAttributesA(product.c_str()) == INVALID_FILE_ATTRIBUTES) CreateDirectoryA(product.c_str(), nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
}

std::string CBackupStore::MakeBackupFileName(const std::string& prefix) {
    int64_t now = static_cast<int64_t>(std::time(nullptr));
    EnsureBackupFolder();
    return GetBackupFolder() + prefix + FormatTime(now, "[%b-%d-%Y %#I-%M %p]") + ".reg";
}

std::string CBackupStore::GetFileCreationText(const std::string& pattern) {
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(pattern.c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return {};
    std::string text;
    do {
        text = FormatTime(FileTimeToUnix(data.ftCreationTime), settings::kTimeFormat);
    } while (FindNextFileA(h, &data));
    FindClose(h);
    return text;
}

std::string CBackupStore::CreatePartialBackup() {
    std::string path = TempBackupPath(MakeBackupFileName("PartialBackup"));
    if (!m_writer.WriteRegFileHeader(path)) {
        DiscardBackup(path);
        return {};
    }
    return path;
}

std::string CBackupStore::PublishBackup(const std::string& tempPath, const std::string& prefix, std::string& error) {
    std::optional<std::filesystem::path> temp = qv::FileNameToUnix(tempPath);
    std::optional<std::filesystem::path> wanted = qv::FileNameToUnix(MakeBackupFileName(prefix));
    if (!temp || !wanted) {
        error = "the backup folder " + GetBackupFolder() + " cannot be reached";
        DiscardBackup(tempPath);
        return {};
    }
    std::filesystem::path published;
    if (!qv::PublishBackupFile(*temp, *wanted, published, error)) return {};
    return GetBackupFolder() + published.filename().string();
}

void CBackupStore::DiscardBackup(const std::string& path) {
    if (std::optional<std::filesystem::path> p = qv::FileNameToUnix(path)) ::unlink(p->c_str());
}

std::string CBackupStore::FindBackupFile(const std::string& name) {
    std::optional<std::filesystem::path> given = qv::FileNameToUnix(name);
    struct stat wanted {};
    if (!given || ::stat(given->c_str(), &wanted) != 0 || !S_ISREG(wanted.st_mode)) {
        // A relative Unix path names a file below the working folder.
        if (::stat(name.c_str(), &wanted) != 0 || !S_ISREG(wanted.st_mode)) return {};
    }
    for (auto& [text, path] : ListBackupFiles()) {
        std::optional<std::filesystem::path> unix = qv::FileNameToUnix(path);
        struct stat st {};
        if (unix && ::stat(unix->c_str(), &st) == 0 && st.st_dev == wanted.st_dev && st.st_ino == wanted.st_ino)
            return path;
    }
    return {};
}

std::vector<qv::BackupFileEntry> CBackupStore::ListBackupEntries() {
    EnsureBackupFolder();
    std::vector<qv::BackupFileEntry> out;
    const std::string folder = GetBackupFolder();
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA((folder + "*.reg").c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return out;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        qv::BackupFileEntry entry;
        entry.created = FileTimeToUnix(data.ftCreationTime);
        const uint64_t ticks = (static_cast<uint64_t>(data.ftCreationTime.dwHighDateTime) << 32) |
                               data.ftCreationTime.dwLowDateTime;
        entry.createdFraction = static_cast<uint32_t>(ticks % 10000000ULL);
        entry.listingText = FormatTime(entry.created, settings::kTimeFormat);
        entry.path = folder + data.cFileName;
        entry.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        out.push_back(std::move(entry));
    } while (FindNextFileA(h, &data));
    FindClose(h);
    return out;
}

std::vector<std::pair<std::string, std::string>> CBackupStore::ListBackupFiles() {
    std::vector<std::pair<std::string, std::string>> out;
    for (qv::BackupFileEntry& entry : ListBackupEntries()) out.emplace_back(std::move(entry.listingText), std::move(entry.path));
    return out;
}

std::vector<std::string> CBackupStore::ListBackups() {
    std::vector<std::string> texts;
    for (auto& [text, path] : ListBackupFiles()) texts.push_back(text);
    return texts;
}

std::string CBackupStore::FindBackupByTime(const std::string& text) {
    for (auto& [listing, path] : ListBackupFiles())
        if (listing == text) return path;
    return {};
}

int CBackupStore::ExportWithRegedit(const std::string& rootName, const std::string& keyPath,
                                    const std::string& filePath) {
    std::string command = "regedit.exe /e \"" + filePath + "\"";
    if (!rootName.empty()) command += " \"" + (keyPath.empty() ? rootName : rootName + "\\" + keyPath) + "\"";
    if (!GetFileCreationText(filePath).empty()) return 1;  // an existing backup is never overwritten
    return RunAndWait(command);
}

int CBackupStore::ImportWithRegedit(const std::string& filePath) {
    if (GetFileCreationText(filePath).empty()) return -1;
    return RunAndWait("regedit.exe /s \"" + filePath + "\"");
}

std::string CBackupStore::MakeRegistryBackup(const std::string& prefix, IBackupPageHooks* page, std::string& error) {
    // Exported whole under a temporary name and then given a name no other backup holds, so
    // a second backup in the same minute holds the registry as it is now.
    std::string wanted = MakeBackupFileName(prefix);
    std::string temp = TempBackupPath(wanted);
    if (page) page->SetLastBackupLabel("Please wait this may take a few moments to complete your backup");
    int status = ExportWithRegedit("", "", temp);
    std::string path;
    std::string why;
    if (status == 0) path = PublishBackup(temp, prefix, why);
    else DiscardBackup(temp);
    std::string text = path.empty() ? std::string() : GetFileCreationText(path);
    if (text.empty()) {
        // The export failed: no "Last Backup", so the next start tries again.
        error = "The backup could not be written to " + wanted + ". " + (why.empty() ? qv::LastRegeditMessages() : why);
        if (page) page->SetLastBackupLabel(error);
        return {};
    }
    CSystem32::SetRegistryValue(settings::kOptionsKey, settings::kLastBackup, text, HKEY_LOCAL_MACHINE);
    if (page) {
        page->SetLastBackupLabel(std::string(StringText(145)) + text);
        page->RefillList(ListBackupEntries());
    }
    return path;
}

std::string CBackupStore::DoFullBackup(IBackupPageHooks* page, std::string& error) {
    if (page) page->EnableControls(false);
    std::string path = MakeRegistryBackup("FullBackup", page, error);
    if (page) page->EnableControls(true);
    return path;
}

void CBackupStore::DoSystemBackup() {
    std::string error;
    MakeRegistryBackup("SystemBackup", nullptr, error);
}

bool CBackupStore::RestoreBackup(const std::string& listingText) {
    std::string path = FindBackupByTime(listingText);
    if (path.empty()) {
        size_t b = listingText.find_first_not_of(" \t\r\n");
        size_t e = listingText.find_last_not_of(" \t\r\n");
        std::string trimmed = b == std::string::npos ? std::string() : listingText.substr(b, e - b + 1);
        MessageBoxA(nullptr, ("Cannot found the backup file\nto " + trimmed).c_str(), "Confirmation",
                    MB_OK | MB_ICONINFORMATION);
        return false;
    }
    return RestoreBackupFile(path);
}

bool CBackupStore::RestoreBackupFile(const std::string& path) {
    return RestoreBackupFileResult(path) == RestoreResult::Restored;
}

CBackupStore::RestoreResult CBackupStore::RestoreBackupFileResult(const std::string& path) {
    std::string text = GetFileCreationText(path);
    if (text.empty()) {
        MessageBoxA(nullptr, ("Cannot found the backup file\nto " + path).c_str(), "Confirmation",
                    MB_OK | MB_ICONINFORMATION);
        return RestoreResult::NotFound;
    }
    if (MessageBoxA(nullptr, ("Are you sure you want to restore your registry setting\nto " + text).c_str(),
                    "Confirmation", MB_YESNO | MB_ICONINFORMATION) != IDYES)
        return RestoreResult::Declined;
    if (ImportWithRegedit(path) != 0) {
        // A restore that did not happen is said so, never passed over in silence.
        MessageBoxA(nullptr, ("The backup could not be restored; nothing was changed.\n\n" + qv::LastRegeditMessages()).c_str(),
                    "Quorvane", MB_OK | MB_ICONERROR);
        return RestoreResult::Failed;
    }
    return RestoreResult::Restored;
}

void CBackupStore::CreateRestorePoint() {
    RESTOREPOINTINFOA request{};
    request.dwEventType = BEGIN_SYSTEM_CHANGE;
    request.dwRestorePtType = MODIFY_SETTINGS;
    request.llSequenceNumber = 0;
    std::strncpy(request.szDescription, std::string(StringText(207)).c_str(), MAX_DESC - 1);
    STATEMGRSTATUS status{};
    if (!SRSetRestorePointA(&request, &status))
        std::printf("Unable to set restore point. Error %ld\n", static_cast<long>(status.nStatus));
    else
        std::printf("Restore point created. Sequence %ld\n", static_cast<long>(status.llSequenceNumber));
}
