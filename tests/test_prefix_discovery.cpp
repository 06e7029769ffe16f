// Finding every Wine prefix of a home folder: each front-end's layout in a scratch home,
// malformed settings skipped with a note, each real path once, and the command line's list.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <nlohmann/json.hpp>

#include <map>
#include <sstream>
#include <tuple>

#include "platform/prefix/key_values_text.h"
#include "platform/prefix/manager_settings.h"
#include "platform/prefix/prefix_discovery.h"
#include "command_run.h"
#include "temp_dir.h"

using namespace qvtest;
namespace fs = std::filesystem;

namespace {

void MakePrefix(const fs::path& p) {
    fs::create_directories(p);
    WriteFile(p / "system.reg", "WINE REGISTRY Version 2\n");
    WriteFile(p / "user.reg", "WINE REGISTRY Version 2\n");
}

void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    WriteFile(file, text);
}

void MakeLutrisDatabase(const fs::path& db) {
    fs::create_directories(db.parent_path());
    sqlite3* h = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &h), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(h,
                           "CREATE TABLE games (id INTEGER PRIMARY KEY, name TEXT, slug TEXT, configpath TEXT);"
                           "INSERT INTO games (name, slug, configpath) VALUES ('Overwatch 2', 'overwatch', 'overwatch-1600000000');"
                           "INSERT INTO games (name, slug, configpath) VALUES ('Native Game', 'native', 'native');",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(h);
}

std::string Acf(const std::string& appid, const std::string& name) {
    return "\"AppState\"\n{\n\t\"appid\"\t\t\"" + appid + "\"\n\t\"name\"\t\t\"" + name + "\"\n}\n";
}

// A home folder with every front-end's layout; `tmp`/games holds prefixes outside it.
struct ScratchHome {
    TempDir tmp;
    fs::path home = tmp / "home";
    fs::path games = tmp / "games";

    ScratchHome() {
        MakePrefix(tmp / "elsewhere/wp");
        MakePrefix(home / ".wine");

        const fs::path bottles = home / ".local/share/bottles/bottles";
        MakePrefix(bottles / "Gaming");
        Write(bottles / "Gaming/bottle.yml", "Arch: win64\nName: My Games\nRunner: soda\n");
        MakePrefix(bottles / "broken");
        Write(bottles / "broken/bottle.yml", "Name: [unclosed\n  - : :\n");
        fs::create_directories(bottles / "templates");  // no registry: not a prefix
        Write(bottles / "templates/bottle.yml", "Name: Template\n");
        MakePrefix(home / ".var/app/com.usebottles.bottles/data/bottles/bottles/Office");

        const fs::path steam = home / ".local/share/Steam";
        Write(steam / "steamapps/libraryfolders.vdf",
              "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" + steam.string() +
                  "\"\n\t\t\"apps\"\n\t\t{\n\t\t\t\"440\"\t\t\"123\"\n\t\t}\n\t}\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"" +
                  (games / "SteamLibrary").string() + "\"\n\t}\n}\n");
        MakePrefix(steam / "steamapps/compatdata/440/pfx");
        Write(steam / "steamapps/appmanifest_440.acf", Acf("440", "Team Fortress 2"));
        fs::create_directories(steam / "steamapps/compatdata/999/pfx");  // no registry yet
        fs::create_directories(home / ".steam");
        fs::create_directory_symlink(steam, home / ".steam/steam");
        const fs::path lib = games / "SteamLibrary/steamapps";
        MakePrefix(lib / "compatdata/570/pfx");
        MakePrefix(lib / "compatdata/730/pfx");
        Write(lib / "appmanifest_730.acf", Acf("730", "Counter-Strike 2"));
        const fs::path flatSteam = home / ".var/app/com.valvesoftware.Steam/.local/share/Steam/steamapps";
        MakePrefix(flatSteam / "compatdata/1000/pfx");
        Write(flatSteam / "appmanifest_1000.acf", Acf("1000", "Flat Game"));

        const fs::path lutrisConfig = home / ".config/lutris/games";
        Write(lutrisConfig / "overwatch-1600000000.yml", "game:\n  exe: x.exe\n  prefix: ~/Games/overwatch\nsystem: {}\n");
        MakePrefix(home / "Games/overwatch");
        Write(lutrisConfig / "broken.yml", "game: [\n  prefix: /x\n");
        Write(lutrisConfig / "native.yml", "game:\n  exe: /usr/games/native\n");
        Write(lutrisConfig / "dup-1.yml", "game:\n  prefix: " + (home / ".wine").string() + "\n");
        Write(home / ".local/share/lutris/games/diablo-1700000000.yml",
              "game:\n  prefix: " + (games / "diablo").string() + "\n");
        MakePrefix(games / "diablo");
        MakeLutrisDatabase(home / ".local/share/lutris/pga.db");

        const fs::path heroic = home / ".config/heroic";
        Write(heroic / "GamesConfig/Fortnite.json",
              "{\"Fortnite\": {\"winePrefix\": \"" + (games / "heroic/fn").string() +
                  "\", \"wineVersion\": {}}, \"version\": \"v0\", \"explicit\": true}");
        MakePrefix(games / "heroic/fn");
        Write(heroic / "GamesConfig/bad.json", "{\"x\": {\"winePrefix\": ");
        Write(heroic / "store_cache/legendary_library.json",
              "{\"library\": [{\"app_name\": \"Fortnite\", \"title\": \"Fortnite Battle\"}, {\"app_name\": 3}]}");
        // The Flatpak's, with Proton: the prefix is the "pfx" folder inside the one named.
        Write(home / ".var/app/com.heroicgameslauncher.hgl/config/heroic/GamesConfig/12345.json",
              "{\"12345\": {\"winePrefix\": \"~/Games/Heroic/Prefixes/gog\"}}");
        MakePrefix(home / "Games/Heroic/Prefixes/gog/pfx");

        MakePrefix(home / ".PlayOnLinux/wineprefix/Office2003");
        MakePrefix(home / ".cxoffice/Steam");
    }

    qv::DiscoveryEnvironment Env() const {
        return {home, (tmp / "elsewhere/wp/").string(), home / ".local/share", home / ".config"};
    }
};

using Row = std::tuple<std::string, std::string, std::string>;  // path, name, source

std::vector<Row> Rows(const qv::PrefixDiscovery& d) {
    std::vector<Row> rows;
    for (const auto& p : d.prefixes) rows.emplace_back(p.path.string(), p.name, p.source);
    return rows;
}

bool NoteNames(const std::vector<std::string>& notes, const std::string& file) {
    for (const std::string& n : notes)
        if (n.find(file) != std::string::npos) return true;
    return false;
}

std::vector<Row> Expected(const ScratchHome& s, const std::string& overwatch, const std::string& diablo) {
    auto real = [](const fs::path& p) { return fs::canonical(p).string(); };
    const fs::path& h = s.home;
    return {
        {real(s.tmp / "elsewhere/wp"), "wp", "WINEPREFIX"},
        {real(h / ".wine"), ".wine", "wine"},
        {real(h / ".local/share/bottles/bottles/Gaming"), "My Games", "bottles"},
        {real(h / ".local/share/bottles/bottles/broken"), "broken", "bottles"},
        {real(h / ".var/app/com.usebottles.bottles/data/bottles/bottles/Office"), "Office", "bottles-flatpak"},
        {real(h / ".local/share/Steam/steamapps/compatdata/440/pfx"), "Team Fortress 2", "steam"},
        {real(s.games / "SteamLibrary/steamapps/compatdata/570/pfx"), "Steam app 570", "steam"},
        {real(s.games / "SteamLibrary/steamapps/compatdata/730/pfx"), "Counter-Strike 2", "steam"},
        {real(h / ".var/app/com.valvesoftware.Steam/.local/share/Steam/steamapps/compatdata/1000/pfx"), "Flat Game", "steam"},
        {real(h / "Games/overwatch"), overwatch, "lutris"},
        {real(s.games / "diablo"), diablo, "lutris"},
        {real(s.games / "heroic/fn"), "Fortnite Battle", "heroic"},
        {real(h / "Games/Heroic/Prefixes/gog/pfx"), "12345", "heroic"},
        {real(h / ".PlayOnLinux/wineprefix/Office2003"), "Office2003", "playonlinux"},
        {real(h / ".cxoffice/Steam"), "Steam", "crossover"},
    };
}

}  // namespace

TEST(PrefixDiscovery, EveryFrontEndOnceWithNotesForMalformedFiles) {
    ScratchHome s;
    qv::PrefixDiscovery d = qv::DiscoverPrefixes(s.Env());
    EXPECT_EQ(Rows(d), Expected(s, "Overwatch 2", "diablo"));
    for (const char* file : {"broken/bottle.yml", "lutris/games/broken.yml", "GamesConfig/bad.json"})
        EXPECT_TRUE(NoteNames(d.notes, file)) << file;
    for (const char* fine : {"Gaming/bottle.yml", "native.yml", "Fortnite.json", "libraryfolders.vdf", "pga.db"})
        EXPECT_FALSE(NoteNames(d.notes, fine)) << fine;
    EXPECT_FALSE(d.prefixes[3].note.empty());  // the bottle named after its folder says why

    // Without Lutris's database the games are named after their files; a broken database
    // gives a note, not a failure.
    fs::remove(s.home / ".local/share/lutris/pga.db");
    EXPECT_EQ(Rows(qv::DiscoverPrefixes(s.Env())), Expected(s, "overwatch", "diablo"));
    Write(s.home / ".local/share/lutris/pga.db", "not a database at all, but long enough to look like one.........");
    d = qv::DiscoverPrefixes(s.Env());
    EXPECT_EQ(Rows(d), Expected(s, "overwatch", "diablo"));
    EXPECT_TRUE(NoteNames(d.notes, "pga.db"));
}

TEST(PrefixDiscovery, WithoutWinePrefixAndWithAMissingOne) {
    ScratchHome s;
    qv::DiscoveryEnvironment env = s.Env();
    env.winePrefix.reset();
    qv::PrefixDiscovery d = qv::DiscoverPrefixes(env);
    std::vector<Row> expected = Expected(s, "Overwatch 2", "diablo");
    expected.erase(expected.begin());
    EXPECT_EQ(Rows(d), expected);

    // WINEPREFIX naming a folder that another source also finds is listed once, as WINEPREFIX.
    env.winePrefix = (s.home / ".cxoffice/Steam").string();
    d = qv::DiscoverPrefixes(env);
    ASSERT_FALSE(d.prefixes.empty());
    EXPECT_EQ(d.prefixes.front().source, "WINEPREFIX");
    EXPECT_EQ(d.prefixes.size(), expected.size());
    // ...with the name its manager gives it: a Steam game's prefix started through the chooser
    // (which sets WINEPREFIX) still reads as the game, not as "pfx".
    env.winePrefix = (s.home / ".local/share/Steam/steamapps/compatdata/440/pfx").string();
    d = qv::DiscoverPrefixes(env);
    ASSERT_FALSE(d.prefixes.empty());
    EXPECT_EQ(d.prefixes.front().name, "Team Fortress 2");
    EXPECT_EQ(d.prefixes.front().source, "WINEPREFIX");
    EXPECT_EQ(d.prefixes.size(), expected.size());

    env.winePrefix = (s.tmp / "nothing").string();
    d = qv::DiscoverPrefixes(env);
    EXPECT_EQ(Rows(d), expected);
    EXPECT_TRUE(NoteNames(d.notes, "WINEPREFIX"));
}

TEST(PrefixDiscovery, EmptyHomeFindsNothing) {
    TempDir tmp;
    qv::PrefixDiscovery d = qv::DiscoverPrefixes({tmp.path(), std::nullopt, tmp / "data", tmp / "config"});
    EXPECT_TRUE(d.prefixes.empty());
    EXPECT_TRUE(d.notes.empty());
}

TEST(KeyValuesText, OddInputKeepsWhatCameBefore) {
    qv::KeyValuesText kv = qv::ParseKeyValues(
        "// comment\n\"a\" \"1\"\n\"b\" { \"c\" \"x\\\"y\\\\z\\q\" [$WIN32] bare word }\n\"d\" \"unterminated");
    ASSERT_EQ(kv.top.size(), 2u);
    EXPECT_EQ(kv.top[0].value, "1");
    ASSERT_TRUE(kv.top[1].block);
    ASSERT_EQ(kv.top[1].children.size(), 2u);
    EXPECT_EQ(kv.top[1].children[0].value, "x\"y\\z\\q");
    EXPECT_EQ(kv.top[1].children[1].key, "bare");
    EXPECT_NE(kv.error.find("unterminated"), std::string::npos);
    EXPECT_NE(kv.error.find("line 4"), std::string::npos);

    for (const char* bad : {"\"a\" {", "}", "{", "\"a\"", "\"a\" }", "\"a\" { \"b\" { }"}) {
        qv::KeyValuesText r = qv::ParseKeyValues(bad);
        EXPECT_FALSE(r.error.empty()) << bad;
    }
    EXPECT_TRUE(qv::ParseKeyValues("").error.empty());
    // Deep nesting stops at the bound instead of exhausting the stack.
    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += "\"k\" {";
    EXPECT_NE(qv::ParseKeyValues(deep).error.find("deeply"), std::string::npos);

    // The old layout of libraryfolders.vdf: numbered entries holding the path itself.
    std::string error;
    EXPECT_EQ(qv::SteamLibraryFolders("\"LibraryFolders\" { \"TimeNextStatsReport\" \"1\" \"1\" \"/mnt/games\" }", error),
              std::vector<std::string>{"/mnt/games"});
    EXPECT_TRUE(error.empty());
}

TEST(PrefixDiscovery, CliListsPrefixesAsJson) {
    ScratchHome s;
    CommandRun run = RunCommand("env -u XDG_DATA_HOME -u XDG_CONFIG_HOME HOME='" + s.home.string() + "' WINEPREFIX='" +
                                (s.tmp / "elsewhere/wp").string() + "' " + QV_BIN_DIR + "/quorvane-cli prefixes --json 2>/dev/null");
    ASSERT_EQ(run.status, 0);
    nlohmann::json list = nlohmann::json::parse(run.out);
    std::vector<Row> rows;
    for (const auto& p : list) {
        rows.emplace_back(p["path"], p["name"], p["source"]);
        EXPECT_FALSE(p["running"].get<bool>());
    }
    EXPECT_EQ(rows, Expected(s, "Overwatch 2", "diablo"));

    CommandRun notes = RunCommand("env -u XDG_DATA_HOME -u XDG_CONFIG_HOME -u WINEPREFIX HOME='" + s.home.string() + "' " +
                                  QV_BIN_DIR + "/quorvane-cli prefixes 2>&1 >/dev/null");
    EXPECT_NE(notes.out.find("bad.json"), std::string::npos) << notes.out;
}

TEST(PrefixDiscovery, CliScansEveryPrefix) {
    TempDir tmp;
    fs::path home = tmp / "home";
    fs::create_directories(home);
    ASSERT_FALSE(UnpackFreshPrefix(home).empty());
    fs::rename(home / "prefix", home / ".wine");
    // A bottle whose system.reg cannot be read: a link to an endless file.
    fs::path bottle = home / ".local/share/bottles/bottles/Bad";
    fs::create_directories(bottle);
    WriteFile(bottle / "user.reg", "WINE REGISTRY Version 2\n");
    fs::create_symlink("/dev/zero", bottle / "system.reg");
    CommandRun run = RunCommand("env -u XDG_DATA_HOME -u XDG_CONFIG_HOME -u WINEPREFIX HOME='" + home.string() + "' " +
                                QV_BIN_DIR + "/quorvane-cli scan --all 2>/dev/null");
    EXPECT_EQ(run.status, 1) << run.out;
    std::string wineLine = run.out.substr(0, run.out.find('\n'));
    EXPECT_EQ(wineLine.rfind(".wine (wine) " + fs::canonical(home / ".wine").string() + ": ", 0), 0u) << run.out;
    EXPECT_NE(wineLine.find("total "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Bad (bottles) " + fs::canonical(bottle).string() + ": not scanned: "), std::string::npos)
        << run.out;
}

// One process scans prefix after prefix: nothing of one (its drives, code page, folder
// listings, 32-bit view) may carry over into the next one's findings.
TEST(PrefixDiscovery, ScanAllGivesEachPrefixWhatItsOwnScanGives) {
    TempDir tmp;
    fs::path home = tmp / "home";
    fs::create_directories(home);
    ASSERT_FALSE(UnpackFreshPrefix(home).empty());
    fs::rename(home / "prefix", home / ".wine");
    const fs::path demo = tmp / "demo";
    ASSERT_EQ(RunCommand(std::string("QV_BIN_DIR='") + QV_BIN_DIR + "' '" + QV_SOURCE_DIR + "/samples/make-demo-prefix' '" +
                         demo.string() + "' >/dev/null 2>&1")
                  .status,
              0);
    const fs::path bottle = home / ".local/share/bottles/bottles/Demo";
    fs::create_directories(bottle.parent_path());
    ASSERT_EQ(RunCommand("cp -a '" + demo.string() + "' '" + bottle.string() + "'").status, 0);

    auto scanAll = [&](const std::string& winePrefix) {
        const std::string env = winePrefix.empty() ? "-u WINEPREFIX" : "WINEPREFIX='" + winePrefix + "'";
        CommandRun run = RunCommand("env -u XDG_DATA_HOME -u XDG_CONFIG_HOME " + env + " HOME='" + home.string() + "' " +
                                    QV_BIN_DIR + "/quorvane-cli scan --all 2>/dev/null");
        EXPECT_EQ(run.status, 0) << run.out;
        std::map<std::string, std::string> summaries;  // name -> what follows the path
        std::istringstream lines(run.out);
        for (std::string line; std::getline(lines, line);) {
            const size_t colon = line.find(": ");
            if (colon != std::string::npos) summaries[line.substr(0, line.find(' '))] = line.substr(colon + 2);
        }
        return summaries;
    };
    // The demo (from WINEPREFIX), then the fresh .wine, then the demo's copy in a bottle.
    std::map<std::string, std::string> together = scanAll(demo.string());
    ASSERT_EQ(together.size(), 3u);
    EXPECT_NE(together["demo"].find("total "), std::string::npos) << together["demo"];
    EXPECT_EQ(together["Demo"], together["demo"]);
    fs::rename(bottle, tmp / "away");
    std::map<std::string, std::string> alone = scanAll("");
    ASSERT_EQ(alone.size(), 1u);
    EXPECT_EQ(alone[".wine"], together[".wine"]);
    EXPECT_NE(alone[".wine"], together["demo"]);
}
