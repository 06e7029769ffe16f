// The shell services of CSystem32: special folders and deletion of files and folders.
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/prefix/confined_folder.h"
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

// The folder `unixFolder`, opened by descriptor from the prefix's drive_c, when its path
// with every link resolved lies inside drive_c; not open otherwise. Nothing outside drive_c
// is ever deleted, whatever a path or a link says.
qv::ConfinedFolder OpenInsideDriveC(const qv::Prefix& prefix, const fs::path& unixFolder) {
    fs::path driveC = qv::RealDriveC(prefix);
    qv::FolderPlace place = qv::PlaceFolder(driveC, unixFolder);
    if (place.kind != qv::FolderPlace::kInside) return {};
    return qv::ConfinedFolder::Open(driveC, place.components);
}

// Deletes the entries of `folder` whose names match `pattern` and that are not folders
// (nor links to folders); false when one of them could not be deleted or none matched.
bool DeleteMatchingFiles(const qv::ConfinedFolder& folder, const std::string& pattern) {
    bool matched = false;
    bool complete = true;
    for (const qv::FolderEntry& entry : folder.Entries()) {
        if (!qv::MatchesWildcard(entry.name, pattern) || S_ISDIR(entry.mode)) continue;
        struct stat target;
        if (S_ISLNK(entry.mode) && ::fstatat(folder.Descriptor(), entry.name.c_str(), &target, 0) == 0 &&
            S_ISDIR(target.st_mode))
            continue;
        matched = true;
        // unlinkat removes a link itself, never what it points to.
        if (::unlinkat(folder.Descriptor(), entry.name.c_str(), 0) != 0) complete = false;
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
            qv::ConfinedFolder parent = OpenInsideDriveC(*prefix, named->parent_path());
            if (!parent.IsOpen()) return 0;
            return ::unlinkat(parent.Descriptor(), named->filename().c_str(), 0) == 0 ? 1 : 0;
        }
        // A folder named without a pattern: its files go, the folder and its subfolders stay.
        folder = named;
        name.assign(1, '*');
    }
    if (qv::IsProtectedFromEmptying(*folder)) return 0;
    qv::ConfinedFolder open = OpenInsideDriveC(*prefix, *folder);
    if (!open.IsOpen()) return 0;
    return DeleteMatchingFiles(open, name) ? 1 : 0;
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
    qv::ConfinedFolder parent = OpenInsideDriveC(*prefix, folder->parent_path());
    if (!parent.IsOpen()) return 0;
    // A link is removed as a link, whatever it points to.
    return qv::RemoveFolderTreeAt(parent.Descriptor(), folder->filename().string()) ? 1 : 0;
}
