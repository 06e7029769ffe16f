#include "scan/cached_file_set.h"

#include <shlobj.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <tuple>

#include "platform/prefix/confined_folder.h"
#include "platform/prefix/drive_map.h"
#include "platform/prefix/prefix.h"
#include "platform/win32/special_folders.h"
#include "platform/win32/wildcard_match.h"
#include "platform/win32/windows_environment.h"
#include "scan/skipped_folder_note.h"

namespace fs = std::filesystem;

namespace {

// A folder named by a Windows path, and where that path leads.
struct Candidate {
    std::string windows;
    qv::FolderPlace place;
};

class FolderChooser {
public:
    explicit FolderChooser(std::shared_ptr<qv::Prefix> prefix) : m_prefix(std::move(prefix)) {
        if (m_prefix) m_driveC = qv::RealDriveC(*m_prefix);
    }

    bool Ready() const { return m_prefix && !m_driveC.empty(); }
    const fs::path& DriveC() const { return m_driveC; }

    Candidate Place(const std::string& windows) const {
        return Candidate{windows, qv::PlaceWindowsFolder(*m_prefix, m_driveC, windows)};
    }

    // True when the candidate is a folder whose files may be counted and deleted; otherwise
    // a note says why it is skipped (nothing is said of a folder that is not there).
    bool Usable(const Candidate& c, std::vector<std::string>& notes) {
        if (std::optional<std::string> note = SkippedFolderNote(c.windows, c.place)) {
            notes.push_back(*note);
            return false;
        }
        if (c.place.kind != qv::FolderPlace::kInside) return false;
        return UsableInside(c.windows, c.place.real, notes);
    }

    // The check for a folder known to lie inside drive_c.
    bool UsableInside(const std::string& windows, const fs::path& real, std::vector<std::string>& notes) {
        if (const std::string* own = OwnFolder(real)) {
            notes.push_back("Skipped " + windows + ": it is " + *own + ", not a folder of cached files.");
            return false;
        }
        return true;
    }

private:
    // The Windows name of the system's or the user's own folder that `real` is, if it is one.
    const std::string* OwnFolder(const fs::path& real) {
        if (!m_ownFoldersRead) ReadOwnFolders();
        auto it = m_ownFolders.find(real);
        return it == m_ownFolders.end() ? nullptr : &it->second;
    }

    void AddOwnFolder(const std::string& windows) {
        qv::FolderPlace place = qv::PlaceWindowsFolder(*m_prefix, m_driveC, windows);
        if (place.kind == qv::FolderPlace::kInside) m_ownFolders.emplace(place.real, windows);
    }

    // Drive roots, the Windows, program and profile folders and every special folder but
    // the three that hold cached browser data.
    void ReadOwnFolders() {
        m_ownFoldersRead = true;
        m_ownFolders.emplace(m_driveC, "the root of drive C:");
        for (char letter = 'a'; letter <= 'z'; ++letter) {
            fs::path drive = m_prefix->DriveFolder(letter);
            qv::FolderPlace place = qv::PlaceFolder(m_driveC, drive);
            if (!drive.empty() && place.kind == qv::FolderPlace::kInside)
                m_ownFolders.emplace(place.real, std::string("the root of drive ") +
                                                     static_cast<char>(letter - 'a' + 'A') + ":");
        }
        for (const char* folder : {"C:\\windows", "C:\\windows\\system32", "C:\\windows\\syswow64", "C:\\users"})
            AddOwnFolder(folder);
        qv::WindowsEnvironment environment = qv::ReadWindowsEnvironment();
        for (const char* name : {"SystemRoot", "USERPROFILE", "PUBLIC", "ProgramData", "ProgramFiles",
                                 "ProgramFiles(x86)", "CommonProgramFiles", "CommonProgramFiles(x86)"})
            if (std::optional<std::string> value = environment.Get(name)) AddOwnFolder(*value);
        for (int csidl = 0; csidl <= 0xFF; ++csidl) {
            if (csidl == CSIDL_INTERNET_CACHE || csidl == CSIDL_COOKIES || csidl == CSIDL_HISTORY) continue;
            if (std::optional<std::string> path = qv::SpecialFolderPath(csidl)) AddOwnFolder(*path);
        }
    }

    std::shared_ptr<qv::Prefix> m_prefix;
    fs::path m_driveC;
    bool m_ownFoldersRead = false;
    std::map<fs::path, std::string> m_ownFolders;  // real path -> Windows name
};

std::string SpecialFolder(int csidl) { return qv::SpecialFolderPath(csidl).value_or(""); }

// The profile's folder `relative` when it is usable, else the candidates `fallback` gives
// that are usable (one real folder once).
std::vector<Candidate> ChooseFolders(FolderChooser& chooser, const std::string& relative,
                                     const std::vector<std::string>& fallback, std::vector<std::string>& notes) {
    std::vector<Candidate> chosen;
    std::string profile = SpecialFolder(CSIDL_PROFILE);
    if (!profile.empty()) {
        Candidate own = chooser.Place(profile + "\\" + relative);
        if (chooser.Usable(own, notes)) return {own};
    }
    for (const std::string& windows : fallback) {
        Candidate c = chooser.Place(windows);
        if (!chooser.Usable(c, notes)) continue;
        bool seen = std::any_of(chosen.begin(), chosen.end(),
                                [&](const Candidate& other) { return other.place.real == c.place.real; });
        if (!seen) chosen.push_back(c);
    }
    return chosen;
}

bool IsFolder(mode_t mode) { return S_ISDIR(mode); }
bool IsRegularFile(mode_t mode) { return S_ISREG(mode); }

void AddFile(CachedFileListing& listing, const fs::path& driveC, const Candidate& base, const std::string& subfolder,
             const qv::ConfinedFolder& folder, const qv::FolderEntry& file) {
    listing.names.push_back(file.name);
    listing.records.push_back({driveC.string(), base.place.components, subfolder, file.name, folder.Device(),
                               folder.Inode(), file.dev, file.ino, file.ctimeNs});
}

std::vector<qv::FolderEntry> SortedEntries(const qv::ConfinedFolder& folder) {
    std::vector<qv::FolderEntry> entries = folder.Entries();
    std::sort(entries.begin(), entries.end(),
              [](const qv::FolderEntry& a, const qv::FolderEntry& b) { return a.name < b.name; });
    return entries;
}

std::string CouldNotOpen(const std::string& windows) {
    return "Skipped " + windows + ": it could not be opened inside the prefix (" + std::strerror(errno) + ").";
}

}  // namespace

CachedFileListing ListTempInternetFiles(const std::function<void(const std::string&)>& onSubfolder) {
    CachedFileListing listing;
    FolderChooser chooser(qv::ActivePrefix());
    if (!chooser.Ready()) return listing;
    std::string cache = SpecialFolder(CSIDL_INTERNET_CACHE);
    std::vector<std::string> fallback;
    if (!cache.empty()) {
        // A Cache shell folder that is one of the own folders (the profile, Documents, a
        // drive root) makes no folder below it a cache.
        Candidate shellFolder = chooser.Place(cache);
        if (shellFolder.place.kind != qv::FolderPlace::kInside ||
            chooser.UsableInside(cache, shellFolder.place.real, listing.notes))
            fallback = {cache + "\\Content.IE5", cache + "\\IE"};
    }
    std::vector<Candidate> bases =
        ChooseFolders(chooser, "Local Settings\\Temporary Internet Files\\Content.IE5", fallback, listing.notes);
    for (const Candidate& base : bases) {
        qv::ConfinedFolder folder = qv::ConfinedFolder::Open(chooser.DriveC(), base.place.components);
        if (!folder.IsOpen()) {
            listing.notes.push_back(CouldNotOpen(base.windows));
            continue;
        }
        listing.found = true;
        for (const qv::FolderEntry& entry : SortedEntries(folder)) {
            if (!IsFolder(entry.mode)) continue;  // files, and links whatever they point to
            if (onSubfolder) onSubfolder(entry.name);
            const std::string windows = base.windows + "\\" + entry.name;
            if (!chooser.UsableInside(windows, base.place.real / entry.name, listing.notes)) continue;
            qv::ConfinedFolder sub = folder.Child(entry.name);
            if (!sub.IsOpen()) {
                listing.notes.push_back(CouldNotOpen(windows));
                continue;
            }
            for (const qv::FolderEntry& file : SortedEntries(sub))
                if (IsRegularFile(file.mode)) AddFile(listing, chooser.DriveC(), base, entry.name, sub, file);
        }
    }
    return listing;
}

CachedFileListing ListCookieFiles() {
    CachedFileListing listing;
    FolderChooser chooser(qv::ActivePrefix());
    if (!chooser.Ready()) return listing;
    std::string cookies = SpecialFolder(CSIDL_COOKIES);
    std::vector<Candidate> folders =
        ChooseFolders(chooser, "Cookies", cookies.empty() ? std::vector<std::string>{} : std::vector{cookies},
                      listing.notes);
    for (const Candidate& candidate : folders) {
        qv::ConfinedFolder folder = qv::ConfinedFolder::Open(chooser.DriveC(), candidate.place.components);
        if (!folder.IsOpen()) {
            listing.notes.push_back(CouldNotOpen(candidate.windows));
            continue;
        }
        listing.found = true;
        for (const qv::FolderEntry& file : SortedEntries(folder))
            if (IsRegularFile(file.mode) && qv::MatchesWildcard(file.name, "*.txt"))
                AddFile(listing, chooser.DriveC(), candidate, "", folder, file);
    }
    return listing;
}

CachedFileDeletion DeleteCachedFiles(const std::vector<CachedFileRecord>& records) {
    CachedFileDeletion result;
    if (records.empty()) return result;
    std::shared_ptr<qv::Prefix> prefix = qv::ActivePrefix();
    fs::path driveC = prefix ? qv::RealDriveC(*prefix) : fs::path();

    // The records by folder, folders in the order they first appear.
    using FolderKey = std::tuple<std::string, std::vector<std::string>, std::string>;
    std::map<FolderKey, std::vector<const CachedFileRecord*>> byFolder;
    std::vector<FolderKey> order;
    for (const CachedFileRecord& r : records) {
        FolderKey key{r.driveC, r.base, r.subfolder};
        auto [it, inserted] = byFolder.try_emplace(key);
        if (inserted) order.push_back(key);
        it->second.push_back(&r);
    }

    for (const FolderKey& key : order) {
        const std::vector<const CachedFileRecord*>& files = byFolder[key];
        const CachedFileRecord& first = *files.front();
        fs::path where = fs::path(first.driveC);
        for (const std::string& name : first.base) where /= name;
        if (!first.subfolder.empty()) where /= first.subfolder;
        const std::string shown = prefix ? qv::UnixToWindowsPath(*prefix, where) : where.string();
        if (driveC.empty() || first.driveC != driveC.string()) {
            result.notes.push_back("Skipped " + shown + ": it was listed in another prefix than the one being repaired.");
            continue;
        }
        qv::ConfinedFolder base = qv::ConfinedFolder::Open(driveC, first.base);
        qv::ConfinedFolder sub = first.subfolder.empty() ? qv::ConfinedFolder() : base.Child(first.subfolder);
        const qv::ConfinedFolder& folder = first.subfolder.empty() ? base : sub;
        if (!folder.IsOpen() || folder.Device() != first.folderDev || folder.Inode() != first.folderIno) {
            result.notes.push_back("Skipped " + shown + ": it is no longer the folder inside the prefix that the scan listed.");
            continue;
        }
        size_t deleted = 0;
        for (const CachedFileRecord* r : files)
            if (folder.DeleteFileIfSame(r->name, r->dev, r->ino, r->ctimeNs)) ++deleted;
        result.deleted += deleted;
        if (deleted > 0 && !first.subfolder.empty()) base.RemoveEmptyChild(first.subfolder, sub);
    }
    return result;
}
