#include "vendor/core/protected_folders.h"

#include <shlobj.h>

#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

#include "platform/prefix/drive_map.h"
#include "platform/prefix/prefix.h"
#include "platform/win32/special_folders.h"
#include "platform/win32/windows_environment.h"

namespace fs = std::filesystem;

namespace qv {
namespace {

fs::path Real(const fs::path& path) {
    std::error_code error;
    fs::path real = fs::weakly_canonical(path, error);
    return error ? path.lexically_normal() : real;
}

// The path with the links above its last name resolved, the last name kept as it is: a
// link's own place rather than where it points.
fs::path RealPlace(const fs::path& path) {
    fs::path normal = path.lexically_normal();
    if (!normal.has_filename()) normal = normal.parent_path();
    if (!normal.has_filename()) return Real(normal);
    return Real(normal.parent_path()) / normal.filename();
}

// A protected folder is matched both where it is and, when it is a link, where it points.
void AddForms(std::vector<fs::path>& folders, const fs::path& path) {
    folders.push_back(Real(path));
    fs::path place = RealPlace(path);
    if (place != folders.back()) folders.push_back(place);
}

// `ancestor` is `path` or lies above it.
bool Contains(const fs::path& ancestor, const fs::path& path) {
    auto a = ancestor.begin();
    auto p = path.begin();
    for (; a != ancestor.end(); ++a, ++p) {
        if (a->empty()) continue;
        if (p == path.end() || *a != *p) return false;
    }
    return true;
}

std::vector<fs::path> SystemFolders() {
    std::vector<fs::path> folders{"/"};
    if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') AddForms(folders, home);
    std::shared_ptr<Prefix> prefix = ActivePrefix();
    if (!prefix) return folders;
    AddForms(folders, prefix->Root());
    for (char letter = 'a'; letter <= 'z'; ++letter)
        if (fs::path drive = prefix->DriveFolder(letter); !drive.empty()) AddForms(folders, drive);

    WindowsEnvironment environment = ReadWindowsEnvironment();
    std::vector<std::string> windowsFolders{"C:\\windows", "C:\\windows\\system32", "C:\\windows\\syswow64",
                                            "C:\\users"};
    for (const char* name : {"SystemRoot", "USERPROFILE", "PUBLIC", "ProgramData", "ProgramFiles",
                             "ProgramFiles(x86)", "CommonProgramFiles", "CommonProgramFiles(x86)"})
        if (auto value = environment.Get(name)) windowsFolders.push_back(*value);
    for (const std::string& folder : windowsFolders)
        if (auto unix = WindowsToUnixPath(*prefix, folder)) AddForms(folders, *unix);
    return folders;
}

std::vector<fs::path> UserFolders() {
    std::vector<fs::path> folders;
    std::shared_ptr<Prefix> prefix = ActivePrefix();
    if (!prefix) return folders;
    for (int csidl = 0; csidl <= 0xFF; ++csidl)
        if (auto path = SpecialFolderPath(csidl))
            if (auto unix = WindowsToUnixPath(*prefix, *path)) AddForms(folders, *unix);
    return folders;
}

}  // namespace

bool IsProtectedFromRemoval(const fs::path& folder) {
    fs::path target = RealPlace(folder);
    for (const auto& list : {SystemFolders(), UserFolders()})
        for (const fs::path& protectedFolder : list)
            if (Contains(target, protectedFolder)) return true;
    return false;
}

bool IsProtectedFromEmptying(const fs::path& folder) {
    fs::path target = Real(folder);
    for (const fs::path& protectedFolder : SystemFolders())
        if (target == protectedFolder) return true;
    return false;
}

}  // namespace qv
