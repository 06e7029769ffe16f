#include "menus/stale_menu_files.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "menus/desktop_entry.h"
#include "menus/wine_launch.h"
#include "platform/prefix/drive_map.h"
#include "platform/prefix/prefix.h"
#include "platform/prefix/small_text_file.h"
#include "vendor/core/registry_object.h"
#include "vendor/core/shell_link.h"

namespace fs = std::filesystem;

namespace menus {

namespace {

// Wine's files are small; anything larger is not one of them and is not read.
constexpr size_t kMaxTextFile = 256 * 1024;
// A walk of a folder ends after this many entries, so that it always ends.
constexpr size_t kMaxEntries = 100000;

enum class Verdict { Live, Stale, Unknown };

struct DesktopFile {
    fs::path path;
    MenuFileKind kind = MenuFileKind::MenuEntry;
    bool wine = false;
    Verdict verdict = Verdict::Live;
    std::string reason;
    std::optional<fs::path> prefix;
    std::string name;
    std::string icon;
    std::vector<std::string> mimeTypes;
    std::string id;  // the desktop file id: "wine-Programs-Folder-Name.desktop"
    bool candidate = false;  // in a place where Wine writes its entries
    std::optional<WineLaunch> launch;
};

std::optional<std::string> ReadSmallFile(const fs::path& file) {
    std::string text, why;
    if (!qv::ReadSmallTextFile(file, text, why, kMaxTextFile)) return std::nullopt;
    return text;
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The regular files of `folder` (and below it when `recursive`) whose names `want` accepts.
// Links are never followed nor listed: what they lead to is not the home's.
std::vector<fs::path> RegularFiles(const fs::path& folder, bool recursive, const std::function<bool(const std::string&)>& want) {
    std::vector<fs::path> out;
    std::error_code ec;
    if (folder.empty() || !fs::is_directory(fs::symlink_status(folder, ec))) return out;
    size_t seen = 0;
    auto take = [&](const fs::directory_entry& e) {
        std::error_code sec;
        if (e.symlink_status(sec).type() == fs::file_type::regular && want(e.path().filename().string()))
            out.push_back(e.path());
    };
    if (recursive) {
        for (fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
             !ec && it != end && ++seen < kMaxEntries; it.increment(ec))
            take(*it);
    } else {
        for (fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
             !ec && it != end && ++seen < kMaxEntries; it.increment(ec))
            take(*it);
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> Split(const std::string& list, char separator) {
    std::vector<std::string> out;
    std::string item;
    std::istringstream in(list);
    while (std::getline(in, item, separator))
        if (!item.empty()) out.push_back(item);
    return out;
}

// The texts between <tag> and </tag>, everywhere in `text`.
std::vector<std::string> ElementTexts(const std::string& text, const std::string& tag) {
    std::vector<std::string> out;
    const std::string open = "<" + tag + ">", close = "</" + tag + ">";
    for (size_t at = text.find(open); at != std::string::npos; at = text.find(open, at + 1)) {
        const size_t begin = at + open.size();
        const size_t end = text.find(close, begin);
        if (end == std::string::npos) break;
        std::string value = text.substr(begin, end - begin);
        value.erase(0, value.find_first_not_of(" \t\r\n"));
        value.erase(value.find_last_not_of(" \t\r\n") + 1);
        out.push_back(value);
    }
    return out;
}

// The values of type="..." of the <mime-type> elements of a MIME package.
std::vector<std::string> MimeTypesOfPackage(const std::string& text) {
    std::vector<std::string> out;
    for (size_t at = text.find("<mime-type"); at != std::string::npos; at = text.find("<mime-type", at + 1)) {
        const size_t end = text.find('>', at);
        const size_t type = text.find("type=\"", at);
        if (end == std::string::npos || type == std::string::npos || type > end) continue;
        const size_t close = text.find('"', type + 6);
        if (close == std::string::npos || close > end) continue;
        out.push_back(text.substr(type + 6, close - type - 6));
    }
    return out;
}

// ---- prefixes ---------------------------------------------------------------------------

struct PrefixInfo {
    Verdict verdict = Verdict::Unknown;
    std::string reason;
    std::shared_ptr<qv::Prefix> prefix;  // loaded when live
};

bool OnRemovableMedia(const fs::path& p) {
    const std::string s = p.string();
    return s.rfind("/media/", 0) == 0 || s.rfind("/mnt/", 0) == 0 || s.rfind("/run/media/", 0) == 0;
}

PrefixInfo JudgePrefix(const fs::path& root) {
    PrefixInfo info;
    std::error_code ec;
    const fs::file_status st = fs::status(root, ec);
    if (fs::is_directory(st)) {
        const bool system = fs::exists(root / "system.reg", ec);
        const bool user = fs::exists(root / "user.reg", ec);
        if (ec) return info;
        if (!system && !user) {
            info.verdict = Verdict::Stale;
            info.reason = "its prefix " + root.string() + " holds no registry any more";
            return info;
        }
        // The prefix of the window is used as it is; another one is loaded here.
        std::shared_ptr<qv::Prefix> active = qv::ActivePrefix();
        if (active && fs::equivalent(active->Root(), root, ec)) {
            info.prefix = active;
        } else {
            try {
                info.prefix = std::make_shared<qv::Prefix>(root);
            } catch (const std::exception&) {
                return info;
            }
        }
        info.verdict = Verdict::Live;
        return info;
    }
    if (st.type() != fs::file_type::not_found) return info;  // unreadable: unknown
    // A prefix on a disk that is not plugged in is not gone: nothing is judged on a
    // removable disk's mount point, nor when nothing of the path is left but the root.
    fs::path existing = root.parent_path();
    while (!existing.empty() && existing != existing.root_path() && !fs::exists(existing, ec)) existing = existing.parent_path();
    if (existing.empty() || existing == existing.root_path()) return info;
    if (OnRemovableMedia(root) && (!OnRemovableMedia(existing / "x") || fs::is_empty(existing, ec) ||
                                   existing.parent_path() == "/run/media"))
        return info;
    info.verdict = Verdict::Stale;
    info.reason = "its prefix " + root.string() + " no longer exists";
    return info;
}

// ---- what an entry starts ---------------------------------------------------------------

// A program path as Wine would find it in the thread's prefix: present, a folder, or known
// by the scanners' wider search.
bool ProgramPresent(const std::string& windowsPath) {
    if (GetFileAttributesA(windowsPath.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    return CRegistryObject::FileVerified(windowsPath) != 0;
}

std::pair<Verdict, std::string> JudgeShortcut(qv::Prefix& prefix, const std::string& link) {
    const std::optional<fs::path> unix = qv::WindowsToUnixPath(prefix, link);
    if (!unix) return {Verdict::Unknown, ""};
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(*unix, ec);
    if (st.type() == fs::file_type::not_found) return {Verdict::Stale, "the shortcut " + link + " no longer exists"};
    if (ec || st.type() != fs::file_type::regular) return {Verdict::Unknown, ""};
    CShellLink shortcut;
    if (!shortcut.Load(link)) return {Verdict::Unknown, ""};  // unreadable: Wine may still start it
    const int r = shortcut.Resolve(nullptr, 2);
    if (r == 1) return {Verdict::Live, ""};
    const std::string target = shortcut.GetPath();
    if (target.empty()) return {Verdict::Unknown, ""};
    if (r == 2 && (PathIsDirectoryA(target.c_str()) || ProgramPresent(target))) return {Verdict::Live, ""};
    return {Verdict::Stale, "the program " + target + " of the shortcut " + link + " no longer exists"};
}

std::pair<Verdict, std::string> JudgeUnixShortcut(qv::Prefix& prefix, const std::string& link) {
    // The older form names the .lnk by its Unix path: judged only inside the prefix.
    const fs::path path = fs::path(link).lexically_normal();
    const fs::path rel = path.lexically_relative(prefix.Root().lexically_normal());
    if (rel.empty() || *rel.begin() == "..") return {Verdict::Unknown, ""};
    std::error_code ec;
    if (fs::symlink_status(path, ec).type() == fs::file_type::not_found)
        return {Verdict::Stale, "the shortcut " + link + " no longer exists"};
    return {Verdict::Unknown, ""};
}

std::pair<Verdict, std::string> JudgeProgIdOpen(const std::string& progId) {
    HKEY key = nullptr;
    if (progId.empty() || progId.find('\\') != std::string::npos) return {Verdict::Unknown, ""};
    const LONG opened = RegOpenKeyExA(HKEY_CLASSES_ROOT, progId.c_str(), 0, KEY_READ, &key);
    if (opened == ERROR_FILE_NOT_FOUND) return {Verdict::Stale, "the file type " + progId + " is no longer registered"};
    if (opened != ERROR_SUCCESS) return {Verdict::Unknown, ""};
    RegCloseKey(key);
    HKEY commandKey = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, (progId + "\\shell\\open\\command").c_str(), 0, KEY_READ, &commandKey) !=
        ERROR_SUCCESS)
        return {Verdict::Unknown, ""};
    char buffer[4096] = {};
    DWORD size = sizeof buffer - 1;
    DWORD type = 0;
    const LONG read = RegQueryValueExA(commandKey, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(commandKey);
    if (read != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {Verdict::Unknown, ""};
    std::string command(buffer);
    if (command.empty()) return {Verdict::Unknown, ""};
    // The program: the quoted part, else up to the first blank.
    std::string program = command.front() == '"' ? command.substr(1, command.find('"', 1) - 1)
                                                 : command.substr(0, command.find(' '));
    if (program.empty() || ProgramPresent(program) || CRegistryObject::FileVerified(command)) return {Verdict::Live, ""};
    return {Verdict::Stale, "the program " + program + " that opens " + progId + " files no longer exists"};
}

// ---- the finder -------------------------------------------------------------------------

class Finder {
public:
    explicit Finder(const MenuHome& home) : home_(home) {}

    StaleMenuReport Run() {
        ReadDesktopFiles();
        JudgeLaunches();
        JudgeMenusAndDirectories();
        JudgeIcons();
        JudgeMimePackages();
        JudgeDesktopShortcuts();
        return Report();
    }

private:
    // One prefix at a time: each is loaded once, judged for all its entries, and let go, so
    // that a home with entries of many large prefixes never holds more than one registry.
    void JudgeLaunches() {
        std::map<fs::path, std::vector<DesktopFile*>> byPrefix;
        for (DesktopFile& f : files_)
            if (f.launch) byPrefix[f.launch->prefix].push_back(&f);
        for (auto& [root, files] : byPrefix) {
            const PrefixInfo info = JudgePrefix(root);
            for (DesktopFile* f : files) Judge(*f, *f->launch, info);
        }
    }

    void Judge(DesktopFile& f, const WineLaunch& launch, const PrefixInfo& info) {
        f.prefix = launch.prefix;
        if (info.verdict != Verdict::Live) {
            f.verdict = info.verdict == Verdict::Stale ? Verdict::Stale : Verdict::Unknown;
            f.reason = info.reason;
            return;
        }
        qv::ScopedThreadPrefix use(info.prefix);
        std::pair<Verdict, std::string> v{Verdict::Unknown, ""};
        switch (launch.form) {
        case WineLaunch::Form::Shortcut: v = JudgeShortcut(*info.prefix, launch.target); break;
        case WineLaunch::Form::UnixShortcut: v = JudgeUnixShortcut(*info.prefix, launch.target); break;
        case WineLaunch::Form::Program:
            v = ProgramPresent(launch.target) ? std::make_pair(Verdict::Live, std::string())
                                              : std::make_pair(Verdict::Stale, "the program " + launch.target + " no longer exists");
            break;
        case WineLaunch::Form::ProgIdOpen: v = JudgeProgIdOpen(launch.target); break;
        case WineLaunch::Form::Other: break;
        }
        f.verdict = v.first;
        f.reason = v.second;
    }

    void AddDesktopFile(const fs::path& path, MenuFileKind kind, const std::string& id, bool candidate) {
        DesktopFile f;
        f.path = path;
        f.kind = kind;
        f.id = id;
        f.candidate = candidate;
        const std::optional<std::string> text = ReadSmallFile(path);
        if (!text) {
            notes_.push_back(path.string() + " could not be read; it is left alone.");
            f.verdict = Verdict::Unknown;
            files_.push_back(std::move(f));
            return;
        }
        const std::map<std::string, std::string> keys = ReadDesktopEntry(*text);
        auto get = [&keys](const char* k) {
            auto it = keys.find(k);
            return it == keys.end() ? std::string() : it->second;
        };
        f.name = get("Name");
        f.icon = get("Icon");
        f.mimeTypes = Split(get("MimeType"), ';');
        if (std::optional<std::vector<std::string>> words = SplitExec(get("Exec"))) {
            if (std::optional<WineLaunch> launch = ReadWineLaunch(*words)) {
                f.wine = true;
                f.launch = std::move(launch);
            }
        }
        files_.push_back(std::move(f));
    }

    void ReadDesktopFiles() {
        const fs::path apps = home_.Applications();
        const fs::path wineMenu = apps / "wine";
        auto isDesktop = [](const std::string& n) { return EndsWith(n, ".desktop"); };
        for (const fs::path& p : RegularFiles(apps, true, isDesktop)) {
            const fs::path rel = p.lexically_relative(apps);
            std::string id = rel.generic_string();
            std::replace(id.begin(), id.end(), '/', '-');
            const fs::path inWine = p.lexically_relative(wineMenu);
            const bool menuEntry = !inWine.empty() && *inWine.begin() != "..";
            const bool association = rel.parent_path().empty() && rel.string().rfind("wine-extension-", 0) == 0;
            // Only Wine's files in Wine's places are candidates; the others only keep the
            // icons and file types they name alive.
            AddDesktopFile(p, association ? MenuFileKind::Association : MenuFileKind::MenuEntry, id, menuEntry || association);
        }
        for (const fs::path& p : RegularFiles(home_.desktop, false, isDesktop))
            AddDesktopFile(p, MenuFileKind::DesktopEntry, "", true);
    }

    static bool Candidate(const DesktopFile& f) { return f.wine && f.candidate; }
    bool StaleEntry(const DesktopFile& f) const { return Candidate(f) && f.verdict == Verdict::Stale; }

    void Attach(const fs::path& path, MenuFileKind kind, const DesktopFile& owner, const std::string& reason) {
        auto it = attached_.find(path);
        if (it != attached_.end()) {
            std::vector<fs::path>& owners = dependents_[it->second.first][it->second.second].owners;
            if (std::find(owners.begin(), owners.end(), owner.path) == owners.end()) owners.push_back(owner.path);
            return;
        }
        std::vector<StaleMenuFile>& list = dependents_[owner.path];
        attached_.emplace(path, std::make_pair(owner.path, list.size()));
        list.push_back({path, kind, owner.prefix, reason, owner.name, owner.path, {owner.path}});
    }

    void JudgeMenusAndDirectories() {
        std::map<std::string, const DesktopFile*> byId;
        for (const DesktopFile& f : files_)
            if (!f.id.empty()) byId[f.id] = &f;
        std::map<std::string, const DesktopFile*> staleDirectories;  // name -> first owner
        std::set<std::string> liveDirectories;
        auto isMenu = [](const std::string& n) { return n.rfind("wine-", 0) == 0 && EndsWith(n, ".menu"); };
        for (const fs::path& menu : RegularFiles(home_.MergedMenus(), false, isMenu)) {
            const std::optional<std::string> text = ReadSmallFile(menu);
            const std::vector<std::string> names = text ? ElementTexts(*text, "Filename") : std::vector<std::string>{};
            const std::vector<std::string> dirs = text ? ElementTexts(*text, "Directory") : std::vector<std::string>{};
            // Stale when it names at least one stale entry and nothing else that exists.
            const DesktopFile* owner = nullptr;
            bool live = names.empty();
            for (const std::string& id : names) {
                auto it = byId.find(id);
                if (it != byId.end() && StaleEntry(*it->second)) {
                    if (owner == nullptr) owner = it->second;
                } else {
                    std::error_code ec;
                    if (it != byId.end() || fs::exists(home_.Applications() / id, ec)) live = true;
                }
            }
            if (live || owner == nullptr) {
                liveDirectories.insert(dirs.begin(), dirs.end());
                continue;
            }
            Attach(menu, MenuFileKind::MenuFile, *owner, "the menu of " + owner->path.filename().string());
            for (const std::string& d : dirs) staleDirectories.emplace(d, owner);
        }
        for (const auto& [name, owner] : staleDirectories) {
            if (liveDirectories.count(name) != 0 || name.rfind("wine-", 0) != 0) continue;
            const fs::path file = home_.Directories() / name;
            std::error_code ec;
            if (fs::symlink_status(file, ec).type() == fs::file_type::regular)
                Attach(file, MenuFileKind::Directory, *owner, "a menu folder that no live menu uses");
        }
    }

    void JudgeIcons() {
        std::set<std::string> live;
        std::map<std::string, const DesktopFile*> stale;
        for (const DesktopFile& f : files_) {
            std::vector<std::string> names;
            if (!f.icon.empty()) names.push_back(f.icon);
            if (f.kind == MenuFileKind::Association) {
                std::string ext = f.path.stem().string().substr(std::string("wine-extension-").size());
                names.push_back("application-x-wine-extension-" + ext);
            }
            for (const std::string& n : names) {
                if (StaleEntry(f))
                    stale.emplace(n, &f);
                else
                    live.insert(n);
            }
        }
        if (stale.empty()) return;
        const fs::path hicolor = home_.Icons() / "hicolor";
        auto isIcon = [](const std::string& n) { return EndsWith(n, ".png") || EndsWith(n, ".xpm") || EndsWith(n, ".svg"); };
        for (const fs::path& icon : RegularFiles(hicolor, true, isIcon)) {
            if (icon.parent_path().filename() != "apps") continue;
            const std::string stem = icon.stem().string();
            auto it = stale.find(stem);
            if (it != stale.end() && live.count(stem) == 0)
                Attach(icon, MenuFileKind::Icon, *it->second, "the icon of " + it->second->path.filename().string());
        }
    }

    void JudgeMimePackages() {
        std::set<std::string> live;
        std::map<std::string, const DesktopFile*> stale;
        for (const DesktopFile& f : files_)
            for (const std::string& t : f.mimeTypes) {
                if (StaleEntry(f) && f.kind == MenuFileKind::Association)
                    stale.emplace(t, &f);
                else
                    live.insert(t);
            }
        if (stale.empty()) return;
        auto isPackage = [](const std::string& n) { return n.rfind("x-wine-extension-", 0) == 0 && EndsWith(n, ".xml"); };
        for (const fs::path& package : RegularFiles(home_.MimePackages(), false, isPackage)) {
            const std::optional<std::string> text = ReadSmallFile(package);
            if (!text) continue;
            const std::vector<std::string> types = MimeTypesOfPackage(*text);
            const DesktopFile* owner = nullptr;
            bool needed = types.empty();
            for (const std::string& t : types) {
                if (live.count(t) != 0) needed = true;
                auto it = stale.find(t);
                if (it == stale.end())
                    needed = true;
                else if (owner == nullptr)
                    owner = it->second;
            }
            if (!needed && owner != nullptr)
                Attach(package, MenuFileKind::MimePackage, *owner, "the file type of " + owner->path.filename().string());
        }
    }

    void JudgeDesktopShortcuts() {
        // A Windows program's desktop shortcut lives in the desktop folder itself when the
        // prefix's Desktop leads there; it goes with its stale desktop entry.
        for (const DesktopFile& f : files_) {
            if (f.kind != MenuFileKind::DesktopEntry || !StaleEntry(f)) continue;
            for (const char* ext : {".lnk", ".LNK"}) {
                const fs::path lnk = f.path.parent_path() / (f.path.stem().string() + ext);
                std::error_code ec;
                if (fs::symlink_status(lnk, ec).type() == fs::file_type::regular)
                    Attach(lnk, MenuFileKind::Shortcut, f, "the Windows shortcut beside " + f.path.filename().string());
            }
        }
    }

    StaleMenuReport Report() {
        StaleMenuReport report;
        for (const DesktopFile& f : files_) {
            if (!StaleEntry(f)) continue;
            report.files.push_back({f.path, f.kind, f.prefix, f.reason, f.name, f.path, {f.path}});
            auto it = dependents_.find(f.path);
            if (it != dependents_.end())
                report.files.insert(report.files.end(), it->second.begin(), it->second.end());
        }
        // Never anything outside the home's folders.
        report.files.erase(std::remove_if(report.files.begin(), report.files.end(),
                                          [this](const StaleMenuFile& s) { return !home_.Holds(s.path); }),
                           report.files.end());
        report.notes = notes_;
        return report;
    }

    const MenuHome& home_;
    std::vector<DesktopFile> files_;
    std::map<fs::path, std::vector<StaleMenuFile>> dependents_;
    std::map<fs::path, std::pair<fs::path, size_t>> attached_;  // file -> its first owner's list, index
    std::vector<std::string> notes_;
};

}  // namespace

const char* KindName(MenuFileKind kind) {
    switch (kind) {
    case MenuFileKind::MenuEntry: return "menu-entry";
    case MenuFileKind::DesktopEntry: return "desktop-entry";
    case MenuFileKind::Association: return "association";
    case MenuFileKind::MimePackage: return "mime-package";
    case MenuFileKind::Icon: return "icon";
    case MenuFileKind::MenuFile: return "menu-file";
    case MenuFileKind::Directory: return "directory";
    case MenuFileKind::Shortcut: return "shortcut";
    }
    return "";
}

StaleMenuReport FindStaleMenuFiles(const MenuHome& home) { return Finder(home).Run(); }

std::vector<StaleMenuFile> FilesOfEntries(const std::vector<StaleMenuFile>& files, const std::vector<fs::path>& entries) {
    auto chosen = [&entries](const fs::path& p) { return std::find(entries.begin(), entries.end(), p) != entries.end(); };
    std::vector<StaleMenuFile> out;
    for (const StaleMenuFile& f : files)
        if (!f.owners.empty() && std::all_of(f.owners.begin(), f.owners.end(), chosen)) out.push_back(f);
    return out;
}

}  // namespace menus
