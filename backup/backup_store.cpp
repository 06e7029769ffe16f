#include "backup/backup_store.h"

#include <windows.h>

#include <ctime>

#include "app/app_utils.h"
#include "app/derived_paths.h"
#include "app/settings.h"

namespace {

std::string ProductFolder() {
    std::string backup = GetBackupFolder();  // ...\Quorvane\Backup\ -> ...\Quorvane
    if (!backup.empty() && backup.back() == '\\') backup.pop_back();
    size_t cut = backup.find_last_of('\\');
    return cut == std::string::npos ? backup : backup.substr(0, cut);
}

int64_t FileTimeToUnix(const FILETIME& ft) {
    uint64_t ticks = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return static_cast<int64_t>(ticks / 10000000ULL) - 11644473600LL;
}

}  // namespace

void CBackupStore::EnsureBackupFolder() {
    const std::string folder = GetBackupFolder();
    if (GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES) return;
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
    std::string path = MakeBackupFileName("PartialBackup");
    if (GetFileCreationText(path).empty() && !m_writer.WriteRegFileHeader(path)) return {};
    return path;
}
