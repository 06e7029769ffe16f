// The shortcut scanner: broken .lnk and .url files on the desktop and in the Start Menu,
// with all their sub-folders.
//
// Shortcuts are judged against this prefix, so only folders of this prefix are walked: a
// folder whose path, with every link on the way resolved, leads outside drive_c is skipped
// with a note (Wine links the profile's Desktop, Documents, ... to the user's home folder,
// which holds the home's own shortcuts and those of other prefixes). The walk never enters
// a folder twice (by device and inode), passes over hidden Unix folders (names starting
// with a dot, which Windows desktops do not have), and stops after a bounded number of
// entries, so that it always ends in bounded time.
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <shlobj.h>
#include <shlwapi.h>

#include "app/string_table.h"
#include "platform/prefix/confined_folder.h"
#include "platform/prefix/prefix.h"
#include "platform/win32/windows_file_open.h"
#include "scan/scan_engine.h"
#include "scan/skipped_folder_note.h"
#include "vendor/core/registry_object.h"
#include "vendor/core/shell_link.h"
#include "vendor/core/system32.h"

namespace {

constexpr size_t kMaxEntriesPerWalk = 200000;

struct Walk {
    std::shared_ptr<qv::Prefix> prefix;
    std::filesystem::path driveC;  // real path
    std::set<std::pair<dev_t, ino_t>> visited;
    size_t entries = 0;
    std::vector<std::string>* notes = nullptr;
};

bool EndsWith(const std::string& s, const char* tail) {
    size_t n = std::char_traits<char>::length(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// Marks a folder as entered; false when it was entered before in this walk.
bool Enter(Walk& walk, const std::string& folder) {
    std::optional<std::filesystem::path> unix = qv::FileNameToUnix(folder);
    struct stat st {};
    if (!unix || ::stat(unix->c_str(), &st) != 0) return false;
    return walk.visited.insert({st.st_dev, st.st_ino}).second;
}

// True when `folder` leads to a folder inside drive_c; otherwise a note (kept and shown in
// the status line) says why it is skipped. Nothing is said of a folder that is not there.
bool InsidePrefix(CScanEngine& engine, Walk& walk, const std::string& folder) {
    std::string shown = folder;
    if (shown.size() > 3 && shown.back() == '\\') shown.pop_back();
    qv::FolderPlace place = qv::PlaceWindowsFolder(*walk.prefix, walk.driveC, shown);
    if (std::optional<std::string> note = SkippedFolderNote(shown, place)) {
        walk.notes->push_back(*note);
        engine.PostStatus(*note);
    }
    return place.kind == qv::FolderPlace::kInside;
}

void WalkShortcuts(CScanEngine& engine, std::string folder, std::vector<std::string>& store, Walk& walk,
                   const std::string& status) {
    if (folder.empty() || folder.back() != '\\') folder += '\\';
    if (!InsidePrefix(engine, walk, folder) || !Enter(walk, folder)) return;
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA((folder + "*").c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return;
    CShellLink link;
    CUrlShellLink url;
    // The first entry is the folder's own "." entry.
    while (FindNextFileA(h, &data)) {
        if (engine.m_bStop || ++walk.entries > kMaxEntriesPerWalk) break;
        std::string name = data.cFileName;
        std::string path = folder + name;
        engine.EntryStatus([&] { return status + path; });
        if (!path.empty() && path.back() == '.') continue;
        if (PathIsDirectoryA(path.c_str())) {
            if (name[0] != '.') WalkShortcuts(engine, path, store, walk, status);
            continue;
        }
        bool broken = false;
        if (EndsWith(path, ".lnk")) {
            link.Load(path);
            int r = link.Resolve(nullptr, 2);
            if (r == 2) {
                std::string target = link.GetPath();
                broken = !PathIsDirectoryA(target.c_str()) && !CRegistryObject::FileVerified(target);
            } else {
                broken = r != 1;
            }
        } else if (EndsWith(path, ".url")) {
            url.Load(path);
            broken = url.Resolve(nullptr, 2) == 0;
            (void)url.GetPath();
        } else {
            continue;
        }
        if (broken) store.push_back(path);
    }
    FindClose(h);
}

}  // namespace

int CScanEngine::ScanShortcuts(const std::string& folder, std::vector<std::string>& store) {
    Walk walk;
    walk.prefix = qv::ActivePrefix();
    if (walk.prefix) walk.driveC = qv::RealDriveC(*walk.prefix);
    if (walk.driveC.empty()) return 0;
    walk.notes = &m_stores.m_aShortcutFolderNotes;
    WalkShortcuts(*this, folder, store, walk, std::string(StringText(121)));
    return 1;
}

int CScanEngine::ScanShortcutsFirstGroup() {
    std::string desktop;
    if (!CSystem32::GetSpecialFolder(CSIDL_DESKTOP, desktop)) return 0;
    return ScanShortcuts(desktop, m_stores.m_aMissingShortcuts);
}

int CScanEngine::ScanShortcutsSecondGroup() {
    std::string startMenu;
    if (!CSystem32::GetSpecialFolder(CSIDL_STARTMENU, startMenu)) return 0;
    return ScanShortcuts(startMenu, m_stores.m_aStartMenuShortcuts);
}
