#include "platform/prefix/prefix_discovery.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <set>

#include "platform/prefix/lutris_game_names.h"
#include "platform/prefix/manager_settings.h"
#include "platform/prefix/small_text_file.h"

namespace fs = std::filesystem;

namespace qv {

namespace {

// Folders listed from one place at most: a front-end's folder of prefixes or settings.
constexpr size_t kMaxEntries = 10'000;

class Collector {
public:
    explicit Collector(const DiscoveryEnvironment& env) : env_(env) {}

    PrefixDiscovery result;

    // Adds `folder` when it is a prefix not listed yet; returns whether it is a prefix.
    bool Add(const fs::path& folder, const std::string& name, const std::string& source, const std::string& note = {}) {
        if (!LooksLikePrefix(folder)) return false;
        std::error_code ec;
        fs::path real = fs::canonical(folder, ec);
        if (ec) real = folder.lexically_normal();
        auto [at, added] = seen_.emplace(real, result.prefixes.size());
        if (added) {
            result.prefixes.push_back({real, name, source, note});
        } else if (DiscoveredPrefix& first = result.prefixes[at->second];
                   first.source == "WINEPREFIX" && source != "WINEPREFIX") {
            // The prefix in use is listed first, as WINEPREFIX; a manager that keeps it knows
            // its real name (a game's, a bottle's), which a folder such as "pfx" does not tell.
            first.name = name;
            if (first.note.empty()) first.note = note;
        }
        return true;
    }

    void Note(const fs::path& file, const std::string& why) { result.notes.push_back(file.string() + ": " + why); }

    // A path from a settings file: "~/" is the home folder; relative paths are refused.
    std::optional<fs::path> Expand(const std::string& p) const {
        if (p == "~") return env_.home;
        if (p.rfind("~/", 0) == 0) return env_.home / p.substr(2);
        fs::path path(p);
        if (!path.is_absolute()) return std::nullopt;
        return path;
    }

    // The direct entries of `folder` (sorted, so that the order does not depend on the file
    // system), those that are folders or, with `extension`, regular files of that extension.
    std::vector<fs::path> List(const fs::path& folder, const std::string& extension = {}) {
        std::vector<fs::path> out;
        std::error_code ec;
        if (!fs::is_directory(folder, ec)) return out;
        fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
        if (ec) {
            Note(folder, "cannot be listed (" + ec.message() + ")");
            return out;
        }
        for (; it != end && !ec; it.increment(ec)) {
            if (out.size() >= kMaxEntries) {
                Note(folder, "more than " + std::to_string(kMaxEntries) + " entries; the rest were not looked at");
                break;
            }
            std::error_code e2;
            const fs::path& p = it->path();
            if (extension.empty() ? fs::is_directory(p, e2) : (p.extension() == extension && fs::is_regular_file(p, e2)))
                out.push_back(p);
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    const DiscoveryEnvironment& env_;

private:
    std::map<fs::path, size_t> seen_;  // real path -> its place in the result
};

void FindBottles(Collector& c, const fs::path& bottles, const std::string& source) {
    for (const fs::path& dir : c.List(bottles)) {
        if (!LooksLikePrefix(dir)) continue;
        std::string name = dir.filename().string(), note;
        fs::path yml = dir / "bottle.yml";
        std::error_code ec;
        if (fs::exists(yml, ec)) {
            std::string text, why;
            if (!ReadSmallTextFile(yml, text, why)) {
                c.Note(yml, "skipped: " + why);
                note = "bottle.yml unreadable";
            } else if (std::optional<std::string> n = BottleName(text, why)) {
                name = *n;
            } else if (!why.empty()) {
                c.Note(yml, "malformed: " + why);
                note = "bottle.yml malformed";
            }
        }
        c.Add(dir, name, source, note);
    }
}

// "Steam app 440" unless the library's appmanifest names it.
std::string SteamAppTitle(Collector& c, const fs::path& steamapps, const std::string& appid) {
    fs::path acf = steamapps / ("appmanifest_" + appid + ".acf");
    std::error_code ec;
    if (fs::exists(acf, ec)) {
        std::string text, why;
        if (!ReadSmallTextFile(acf, text, why)) {
            c.Note(acf, "skipped: " + why);
        } else {
            std::optional<std::string> name = SteamAppName(text, why);
            if (!why.empty()) c.Note(acf, "malformed: " + why);
            if (name) return *name;
        }
    }
    return "Steam app " + appid;
}

void FindSteam(Collector& c) {
    const fs::path& home = c.env_.home;
    std::vector<fs::path> roots = {home / ".local/share/Steam", c.env_.dataHome / "Steam", home / ".steam/steam",
                                   home / ".steam/root", home / ".var/app/com.valvesoftware.Steam/.local/share/Steam"};
    std::set<fs::path> seenRoots, seenLibraries;
    std::vector<fs::path> libraries;
    auto addLibrary = [&](const fs::path& lib) {
        std::error_code ec;
        fs::path real = fs::canonical(lib, ec);
        if (ec || !fs::is_directory(real, ec)) return;
        if (seenLibraries.insert(real).second) libraries.push_back(real);
    };
    for (const fs::path& root : roots) {
        std::error_code ec;
        fs::path real = fs::canonical(root, ec);
        if (ec || !fs::is_directory(real, ec) || !seenRoots.insert(real).second) continue;
        addLibrary(real);
        fs::path vdf = real / "steamapps/libraryfolders.vdf";
        if (!fs::exists(vdf, ec)) continue;
        std::string text, why;
        if (!ReadSmallTextFile(vdf, text, why)) {
            c.Note(vdf, "skipped: " + why);
            continue;
        }
        std::vector<std::string> listed = SteamLibraryFolders(text, why);
        if (!why.empty()) c.Note(vdf, "malformed: " + why + (listed.empty() ? "" : "; read what came before"));
        for (const std::string& p : listed) {
            if (std::optional<fs::path> lib = c.Expand(p)) addLibrary(*lib);
        }
    }
    for (const fs::path& lib : libraries) {
        fs::path steamapps = lib / "steamapps";
        for (const fs::path& app : c.List(steamapps / "compatdata")) {
            fs::path pfx = app / "pfx";
            if (!LooksLikePrefix(pfx)) continue;
            c.Add(pfx, SteamAppTitle(c, steamapps, app.filename().string()), "steam");
        }
    }
}

// "diablo-1612345678" -> "diablo": Lutris adds the time of installation to the slug.
std::string LutrisSlug(const std::string& base) {
    size_t dash = base.rfind('-');
    if (dash == std::string::npos || dash == 0 || dash + 1 == base.size()) return base;
    for (size_t i = dash + 1; i < base.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(base[i]))) return base;
    return base.substr(0, dash);
}

void FindLutris(Collector& c) {
    const fs::path data = c.env_.dataHome / "lutris";
    std::map<std::string, std::string> names;
    fs::path db = data / "pga.db";
    std::error_code ec;
    if (fs::exists(db, ec)) {
        std::string why;
        names = LutrisGameNames(db, why);
        if (!why.empty()) c.Note(db, "skipped: " + why);
    }
    std::set<fs::path> folders;
    for (const fs::path& games : {c.env_.configHome / "lutris/games", data / "games"}) {
        fs::path real = fs::weakly_canonical(games, ec);
        if (!folders.insert(ec ? games : real).second) continue;
        for (const fs::path& yml : c.List(games, ".yml")) {
            std::string text, why;
            if (!ReadSmallTextFile(yml, text, why)) {
                c.Note(yml, "skipped: " + why);
                continue;
            }
            std::optional<std::string> prefix = LutrisGamePrefix(text, why);
            if (!why.empty()) {
                c.Note(yml, "malformed: " + why);
                continue;
            }
            if (!prefix) continue;  // a game that does not run under Wine
            std::optional<fs::path> path = c.Expand(*prefix);
            std::string base = yml.stem().string();
            auto named = names.find(base);
            std::string name = named != names.end() ? named->second : LutrisSlug(base);
            if (!path || !c.Add(*path, name, "lutris"))
                c.Note(yml, "names " + *prefix + ", which is not a Wine prefix");
        }
    }
}

void FindHeroic(Collector& c) {
    const fs::path& home = c.env_.home;
    std::vector<fs::path> configs = {c.env_.configHome / "heroic",
                                     home / ".var/app/com.heroicgameslauncher.hgl/config/heroic"};
    std::map<std::string, std::string> titles;
    for (const fs::path& config : configs) {
        for (const fs::path& library : c.List(config / "store_cache", ".json")) {
            if (library.filename().string().find("_library") == std::string::npos) continue;
            std::string text, why;
            if (!ReadSmallTextFile(library, text, why)) {
                c.Note(library, "skipped: " + why);
                continue;
            }
            std::map<std::string, std::string> t = HeroicTitles(text, why);
            if (!why.empty()) c.Note(library, "malformed: " + why);
            titles.insert(t.begin(), t.end());
        }
    }
    for (const fs::path& config : configs) {
        for (const fs::path& json : c.List(config / "GamesConfig", ".json")) {
            std::string text, why;
            if (!ReadSmallTextFile(json, text, why)) {
                c.Note(json, "skipped: " + why);
                continue;
            }
            auto prefixes = HeroicWinePrefixes(text, why);
            if (!why.empty()) {
                c.Note(json, "malformed: " + why);
                continue;
            }
            for (const auto& [app, prefix] : prefixes) {
                std::optional<fs::path> path = c.Expand(prefix);
                auto title = titles.find(app);
                std::string name = title != titles.end() ? title->second : app;
                // With Proton the Wine prefix is the "pfx" folder inside the one Heroic names.
                bool found = path && (c.Add(*path, name, "heroic") || c.Add(*path / "pfx", name, "heroic"));
                if (!found && path) {
                    std::error_code ec;
                    // Heroic writes a default for every game it knows; only an existing
                    // folder that is not a prefix is worth a note.
                    if (fs::exists(*path, ec)) c.Note(json, "names " + prefix + ", which is not a Wine prefix");
                }
            }
        }
    }
}

// "/a/b/" -> "b"
std::string FolderName(const fs::path& p) {
    fs::path n = p.lexically_normal();
    if (n.filename().empty()) n = n.parent_path();
    return n.filename().empty() ? p.string() : n.filename().string();
}

void FindFolders(Collector& c, const fs::path& parent, const std::string& source) {
    for (const fs::path& dir : c.List(parent)) c.Add(dir, dir.filename().string(), source);
}

}  // namespace

DiscoveryEnvironment ProcessDiscoveryEnvironment() {
    DiscoveryEnvironment env;
    const char* home = std::getenv("HOME");
    env.home = home && *home ? fs::path(home) : fs::path("/");
    if (const char* p = std::getenv("WINEPREFIX"); p && *p) env.winePrefix = p;
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* config = std::getenv("XDG_CONFIG_HOME");
    // Relative XDG paths are invalid and ignored, as the XDG rules say.
    env.dataHome = data && *data == '/' ? fs::path(data) : env.home / ".local/share";
    env.configHome = config && *config == '/' ? fs::path(config) : env.home / ".config";
    return env;
}

bool LooksLikePrefix(const fs::path& folder) {
    std::error_code ec;
    return fs::is_regular_file(folder / "system.reg", ec) || fs::is_regular_file(folder / "user.reg", ec);
}

PrefixDiscovery DiscoverPrefixes(const DiscoveryEnvironment& env) {
    Collector c(env);
    if (env.winePrefix) {
        fs::path p(*env.winePrefix);
        if (!c.Add(p, FolderName(p), "WINEPREFIX"))
            c.result.notes.push_back("WINEPREFIX=" + *env.winePrefix + " is not a Wine prefix (no system.reg or user.reg)");
    }
    c.Add(env.home / ".wine", ".wine", "wine");
    FindBottles(c, env.dataHome / "bottles/bottles", "bottles");
    FindBottles(c, env.home / ".var/app/com.usebottles.bottles/data/bottles/bottles", "bottles-flatpak");
    FindSteam(c);
    FindLutris(c);
    FindHeroic(c);
    FindFolders(c, env.home / ".PlayOnLinux/wineprefix", "playonlinux");
    FindFolders(c, env.home / ".cxoffice", "crossover");
    return std::move(c.result);
}

}  // namespace qv
