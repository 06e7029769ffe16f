// End to end on a prefix that real installers filled under Wine
// (tests/fixtures/installer-prefix, see its README.txt): five programs, two of them kept,
// two removed by sloppy uninstallers, one deleted by hand, in both registry views of a
// 64-bit prefix. A scan lists exactly what the removed programs left behind, a fix removes
// that and nothing the kept programs use, and a second scan finds nothing more to remove.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <compare>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "platform/registry/reg_text.h"
#include "platform/registry/registry_store.h"
#include "command_run.h"
#include "temp_dir.h"

using namespace qvtest;
namespace fs = std::filesystem;

namespace {

struct Row {
    std::string category, root, key, description;
    auto operator<=>(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Row& r) {
    return out << r.category << " | " << r.root << " | " << r.key << " | " << r.description;
}

const std::string kMachine = "HKEY_LOCAL_MACHINE", kUser = "HKEY_CURRENT_USER";
const std::string kVersion = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
const std::string kVersion32 = "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\";
const std::string kHelp32 = "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\Help";
const std::string kDesktop = "C:\\users\\root\\Desktop\\";
const std::string kStartMenu = "C:\\users\\root\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\";
const std::string kX86 = "C:\\Program Files (x86)\\";

// What Orbital Chess's and Quillmark Draw's uninstallers and the hand-deleted Tidewater
// Maps folder left behind (the README's list of dead entries).
const std::set<Row> kDeadRegistryRows = {
    {"Application Path", kMachine, kVersion + "App Paths\\orbchess.exe",
     "orbchess.exe" + kX86 + "Orbital Chess\\orbchess.exe"},
    // Orbital Chess's tool in the system folder, gone from syswow64 and never in system32.
    {"Application Path", kMachine, kVersion + "App Paths\\orbcfg.exe", "orbcfg.exeC:\\windows\\system32\\orbcfg.exe"},
    {"Application Path", kMachine, kVersion + "App Paths\\quill.exe",
     "quill.exeC:\\Program Files\\Quillmark Draw\\quill.exe"},
    // A short path of the deleted folder (Wine's short names of "Program Files (x86)" and
    // "Tidewater Maps").
    {"Application Path", kMachine, kVersion + "App Paths\\tidemaps.exe", "tidemaps.exeC:\\PROG~5P2\\TIDE~POJ\\tidemaps.exe"},
    {"Shared DLLs", kMachine, kVersion32 + "SharedDlls", "C:\\windows\\system32\\orbnet.dll"},
    {"Shared DLLs", kMachine, kVersion32 + "SharedDlls", kX86 + "Orbital Chess\\orbengine.dll"},
    {"Shared DLLs", kMachine, kVersion32 + "SharedDlls", kX86 + "Common Files\\Orbital Games\\orbgfx.dll"},
    {"Shared DLLs", kMachine, kVersion32 + "SharedDlls", kX86 + "Tidewater Maps\\tidegeo.dll"},
    {"Shared DLLs", kMachine, kVersion + "SharedDlls", "C:\\windows\\system32\\qmink.dll"},
    {"Shared DLLs", kMachine, kVersion + "SharedDlls", "C:\\Program Files\\Quillmark Draw\\quillcore.dll"},
    {"Startup Programs", kMachine, kVersion32 + "Run", "Orbital Chess Updater"},
    {"Startup Programs", kMachine, kVersion32 + "Run", "TidewaterSync"},
    {"Startup Programs", kMachine, kVersion + "Run", "QuillmarkAgent"},
    {"Startup Programs", kUser, kVersion + "Run", "OrbitalChessTray"},
    {"Startup Programs", kUser, kVersion + "Run", "Tidewater Maps"},
    {"Add or Remove Programs", kMachine, kVersion32 + "Uninstall\\OrbitalChess", "OrbitalChess"},
    {"Add or Remove Programs", kMachine, kVersion + "Uninstall\\QuillmarkDraw", "QuillmarkDraw"},
    {"System Help Files", kMachine, kHelp32, "orbchess.hlp"},
    {"System Help Files", kMachine, kHelp32, "tidemaps.hlp"},
};

const std::set<Row> kDeadShortcutRows = {
    {"Missing Shortcuts", "NULL", "", kDesktop + "Orbital Chess.lnk"},
    {"Missing Shortcuts", "NULL", "", kDesktop + "Tidewater Maps.lnk"},
    {"Start Menu Programs", "NULL", "", kStartMenu + "Quillmark Draw\\Quillmark Draw.lnk"},
    {"Start Menu Programs", "NULL", "", kStartMenu + "Tidewater Maps\\Tidewater Maps.lnk"},
};

// Rows whose repair deletes the key they name; the others delete the value named by the
// description.
bool NamesWholeKey(const Row& r) { return r.category == "Add or Remove Programs" || r.category == "Application Path"; }

std::set<Row> AllDeadRows() {
    std::set<Row> all = kDeadRegistryRows;
    all.insert(kDeadShortcutRows.begin(), kDeadShortcutRows.end());
    return all;
}

// Registry entries a scan must leave alone: a key (empty value name) or a value.
struct Entry {
    std::string root, key, value;
};

// Hexledger (32-bit, short paths, %ProgramFiles%, a DLL in system32 that is really in
// syswow64) and Pinewood Notes (64-bit, a DLL in the real system32) are installed; so is
// Tidewater Maps's library in Common Files, which its hand-deleted folder did not hold.
// Tidewater Maps's Add or Remove Programs entry still names an uninstaller: an entry with
// uninstall data is no finding, however dead its uninstaller. The per-user file type lists
// name ProgIDs whose open commands name .exe files, which are never findings either.
const std::vector<Entry> kWorkingEntries = {
    {kMachine, kVersion + "App Paths\\hexledger.exe", ""},
    {kMachine, kVersion + "App Paths\\pinewood.exe", ""},
    // Written by the 32-bit installer into the App Paths key both kinds of program share
    // (Wine links the 32-bit one to it): C:\windows\system32\hexlcli.exe, in syswow64.
    {kMachine, kVersion + "App Paths\\hexlcli.exe", ""},
    {kMachine, kVersion32 + "Uninstall\\Hexledger", ""},
    {kMachine, kVersion32 + "Uninstall\\TidewaterMaps", ""},
    {kMachine, kVersion + "Uninstall\\PinewoodNotes", ""},
    {kMachine, kVersion32 + "Run", "Hexledger Tray"},
    {kMachine, kVersion32 + "Run", "HexledgerSync"},
    {kMachine, kVersion + "Run", "PinewoodHelper"},
    {kUser, kVersion + "Run", "Pinewood Notes"},
    {kMachine, kVersion32 + "SharedDLLs", "C:\\windows\\system32\\hexlfmt.dll"},
    {kMachine, kVersion32 + "SharedDLLs", kX86 + "Hexledger\\hxlcore.dll"},
    {kMachine, kVersion32 + "SharedDLLs", kX86 + "Common Files\\Tidewater\\tidecore.dll"},
    {kMachine, kVersion + "SharedDLLs", "C:\\windows\\system32\\pwhook.dll"},
    {kMachine, kVersion + "SharedDLLs", "C:\\Program Files\\Common Files\\Pinewood\\pwspell.dll"},
    {kMachine, kHelp32, "hexledgr.hlp"},
    {kUser, kVersion + "Explorer\\FileExts\\.hxl\\OpenWithProgids", "Hexledger.Ledger"},
    {kUser, kVersion + "Explorer\\FileExts\\.pwn\\OpenWithProgids", "Pinewood.Note"},
    {kUser, kVersion + "Explorer\\FileExts\\.tdm\\OpenWithProgids", "Tidewater.Map"},
};

const char* const kWorkingShortcuts[] = {
    "users/root/Desktop/Hexledger.lnk",
    "users/root/Desktop/Pinewood Notes.lnk",
    "users/root/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Hexledger/Hexledger.lnk",
    "users/root/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Hexledger/Uninstall Hexledger.lnk",
    "users/root/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Pinewood Notes/Pinewood Notes.lnk",
};

CommandRun Cli(const fs::path& prefix, const std::string& args) {
    return RunCommand("WINEPREFIX='" + prefix.string() + "' " + QV_BIN_DIR + "/quorvane-cli " + args + " 2>/dev/null");
}

struct ScanRows {
    std::set<Row> rows;
    std::vector<nlohmann::json> fonts;  // "Missing Fonts" rows: Wine's own registrations
};

ScanRows Scan(const fs::path& prefix) {
    CommandRun scan = Cli(prefix, "scan --json");
    EXPECT_EQ(scan.status, 0);
    ScanRows out;
    nlohmann::json doc = nlohmann::json::parse(scan.out, nullptr, false);
    if (doc.is_discarded()) {
        ADD_FAILURE() << "scan --json printed no JSON: " << scan.out;
        return out;
    }
    for (const auto& f : doc["findings"]) {
        if (f["category"] == "Missing Fonts") {
            out.fonts.push_back(f);
            continue;
        }
        Row row{f["category"], f["root"], f["key"], f["description"]};
        EXPECT_TRUE(out.rows.insert(row).second) << "listed twice: " << row;
    }
    return out;
}

// The installers register no fonts; the font rows are fonts Wine registers without a file
// (or system fonts of the machine that made the prefix): each must really be missing.
void ExpectFontRowsMissing(const fs::path& prefix, const std::vector<nlohmann::json>& fonts) {
    for (const auto& f : fonts) {
        std::string file = f["data"].get<std::string>();
        if (file.size() > 3 && (file[0] == 'Z' || file[0] == 'z') && file[1] == ':') {
            std::string unix = file.substr(2);
            for (char& c : unix)
                if (c == '\\') c = '/';
            EXPECT_FALSE(fs::exists(unix)) << f.dump();
            continue;
        }
        EXPECT_EQ(file.find('\\'), std::string::npos) << f.dump();
        EXPECT_FALSE(fs::exists(prefix / "drive_c/windows/Fonts" / file)) << f.dump();
        EXPECT_FALSE(fs::exists(fs::path("/usr/share/wine/fonts") / file)) << f.dump();
    }
}

const qv::reg::Key* FindKey(const qv::RegistryStore& store, const std::string& root, const std::string& key) {
    return store.Find(root == kUser ? qv::RegRoot::CurrentUser : qv::RegRoot::LocalMachine, qv::reg::ToUtf16(key));
}

bool HasEntry(const qv::RegistryStore& store, const Entry& e) {
    const qv::reg::Key* key = FindKey(store, e.root, e.key);
    return key && (e.value.empty() || key->FindValue(qv::reg::ToUtf16(e.value)));
}

}  // namespace

TEST(InstallerPrefix, ScanListsEveryDeadEntryOfBothViewsAndNoWorkingOne) {
    TempDir tmp;
    fs::path prefix = UnpackInstallerPrefix(tmp.path());
    ASSERT_FALSE(prefix.empty());
    {
        // The fixture is what the README says: a 64-bit prefix with the kept entries.
        qv::RegistryStore store(prefix);
        ASSERT_EQ(store.Arch(), "win64");
        for (const Entry& e : kWorkingEntries) EXPECT_TRUE(HasEntry(store, e)) << e.root << "\\" << e.key << " " << e.value;
    }
    ScanRows scan = Scan(prefix);
    const std::set<Row> expected = AllDeadRows();
    for (const Row& r : scan.rows) EXPECT_TRUE(expected.count(r)) << "listed, but works: " << r;
    for (const Row& r : expected) EXPECT_TRUE(scan.rows.count(r)) << "dead, but not listed: " << r;
    ExpectFontRowsMissing(prefix, scan.fonts);
}

TEST(InstallerPrefix, FixRemovesTheDeadEntriesAndKeepsEveryWorkingOne) {
    TempDir tmp;
    fs::path prefix = UnpackInstallerPrefix(tmp.path());
    ASSERT_FALSE(prefix.empty());
    CommandRun fix = Cli(prefix, "fix --yes");
    ASSERT_EQ(fix.status, 0);
    ASSERT_EQ(fix.out.rfind("Backup: ", 0), 0u) << fix.out;

    qv::RegistryStore store(prefix);
    for (const Entry& e : kWorkingEntries) EXPECT_TRUE(HasEntry(store, e)) << e.root << "\\" << e.key << " " << e.value;
    for (const Row& r : kDeadRegistryRows) {
        const qv::reg::Key* key = FindKey(store, r.root, r.key);
        if (NamesWholeKey(r))
            EXPECT_EQ(key, nullptr) << r;
        else
            EXPECT_TRUE(key && !key->FindValue(qv::reg::ToUtf16(r.description))) << r;
    }
    for (const char* link : kWorkingShortcuts) EXPECT_TRUE(fs::exists(prefix / "drive_c" / link)) << link;

    // Nothing left to remove in the registry; shortcut rows delete no file, so those stay.
    ScanRows again = Scan(prefix);
    EXPECT_EQ(again.rows, kDeadShortcutRows);
    EXPECT_TRUE(again.fonts.empty());

    // The backup brings back every entry of both views.
    const std::string backup = fix.out.substr(8, fix.out.find('\n') - 8);
    ASSERT_EQ(Cli(prefix, "restore --yes '" + backup + "'").status, 0);
    qv::RegistryStore restored(prefix);
    for (const Row& r : kDeadRegistryRows)
        EXPECT_TRUE(HasEntry(restored, {r.root, r.key, NamesWholeKey(r) ? "" : r.description})) << r;
    EXPECT_EQ(Scan(prefix).rows, AllDeadRows());
}
