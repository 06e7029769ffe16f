// The shell services of CSystem32: special folders and deletion of files and folders.
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>

#include <string>
#include <vector>

#include "platform/prefix/drive_map.h"
#include "platform/prefix/prefix.h"
#include "platform/win32/special_folders.h"
#include "platform/win32/wildcard_match.h"
#include "vendor/core/folder_tree_removal.h"
#include "vendor/core/protected_folders.h"
#include "vendor/core/system32.h"

namespace fs = std::filesystem;

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsFolder(const fs::path& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Deletes the entries of `folder` whose names match `pattern` and that are not folders
// (nor links to folders); false when one of them could not be deleted or none matched.
bool DeleteMatchingFiles(const fs::path& folder, const std::string& pattern) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != ".." && qv::MatchesWildcard(name, pattern)) names.push_back(name);
        }
        ::closedir(dir);
    }
    bool matched = false;
    bool complete = true;
    for (const std::string& name : names) {
        fs::path path = folder / name;
        if (IsFolder(path)) continue;
        matched = true;
        // unlink removes a link itself, never what it points to.
        if (::unlink(path.c_str()) != 0) complete = false;
    }
    return matched && complete;
}

}  // namespace

int CSystem32::GetSpecialFolder(int csidl, std::string& path) {
    std::optional<std::string> folder = qv::SpecialFolderPath(csidl & 0xFF);
    if (!folder) return 0;
    path = *folder;
    if (path.empty() || path.back() != '\\') path += '\\';
    return 1;
}

int CSystem32::ShellDeleteFiles(const std::string& pattern) {
    std::shared_ptr<qv::Prefix> prefix = qv::ActivePrefix();
    if (!prefix || pattern.empty()) return 0;
    size_t last = std::string::npos;
    for (size_t i = 0; i < pattern.size(); ++i)
        if (IsSeparator(pattern[i])) last = i;
    std::string folderText = last == std::string::npos ? "." : pattern.substr(0, last + 1);
    std::string name = last == std::string::npos ? pattern : pattern.substr(last + 1);
    if (qv::HasWildcards(folderText)) return 0;

    std::optional<fs::path> folder = qv::WindowsToUnixPath(*prefix, folderText);
    if (!folder || !IsFolder(*folder)) return 0;
    if (name.empty() || !qv::HasWildcards(name)) {
        std::optional<fs::path> named = qv::WindowsToUnixPath(*prefix, pattern);
        if (!named) return 0;
        if (!IsFolder(*named)) {
            // One file named exactly (or a link to one).
            struct stat info;
            if (::lstat(named->c_str(), &info) != 0) return 0;
            return ::unlink(named->c_str()) == 0 ? 1 : 0;
        }
        // A folder named without a pattern: its files go, the folder and its subfolders stay.
        folder = named;
        name.assign(1, '*');
    }
    if (qv::IsProtectedFromEmptying(*folder)) return 0;
    return DeleteMatchingFiles(*folder, name) ? 1 : 0;
}

int CSystem32::ShellDeleteDir(const std::string& path) {
    std::shared_ptr<qv::Prefix> prefix = qv::ActivePrefix();
    if (!prefix || path.empty() || qv::HasWildcards(path)) return 0;
    std::optional<qv::WindowsPath> full = qv::ResolveWindowsPath(path);
    if (!full || full->components.empty()) return 0;  // never a drive root
    std::optional<fs::path> folder = qv::WindowsToUnixPath(*prefix, *full);
    if (!folder) return 0;
    struct stat info;
    if (::lstat(folder->c_str(), &info) != 0) return 0;
    if (!S_ISDIR(info.st_mode) && !S_ISLNK(info.st_mode)) return 0;
    if (qv::IsProtectedFromRemoval(*folder)) return 0;
    // A link is removed as a link, whatever it points to.
    return qv::RemoveFolderTree(*folder) ? 1 : 0;
}
