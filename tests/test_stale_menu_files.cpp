// Wine's menu files in a home shared by a live prefix and a deleted one: which are stale
// (and which a cleaner must never touch), the clean that archives before it removes, and the
// restore that puts every file back exactly.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "app/shell_link_writer.h"
#include "menus/menu_archive.h"
#include "menus/menu_clean.h"
#include "menus/menu_home.h"
#include "menus/stale_menu_files.h"
#include "platform/prefix/prefix.h"
#include "temp_dir.h"

namespace fs = std::filesystem;

namespace {

const std::string kPrograms = "users/tester/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/";
const std::string kProgramsWin = "C:\\users\\tester\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\";

// A Windows path as Wine's menu builder writes it into an Exec line: backslashes and
// reserved characters escaped for the Exec rules, then for the file's string rules.
std::string WineExecArg(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\\')
            out += "\\\\\\\\";
        else if (std::string(" \t\"'><~|&;$*?#()`").find(c) != std::string::npos)
            out += std::string("\\\\") + c;
        else
            out += c;
    }
    return out;
}

std::string Entry(const std::string& name, const fs::path& prefix, const std::string& args, const std::string& icon = "",
                  const std::string& extra = "") {
    return "[Desktop Entry]\nName=" + name + "\nExec=env WINEPREFIX=\"" + prefix.string() + "\" wine " + args +
           "\nType=Application\nStartupNotify=true\n" + (icon.empty() ? "" : "Icon=" + icon + "\n") + extra;
}

std::string MenuFile(const std::string& folder, const std::string& id) {
    return "<!DOCTYPE Menu PUBLIC \"-//freedesktop//DTD Menu 1.0//EN\"\n"
           "\"http://www.freedesktop.org/standards/menu-spec/menu-1.0.dtd\">\n<Menu>\n  <Name>Applications</Name>\n"
           "  <Menu>\n    <Name>wine-wine</Name>\n    <Directory>wine-wine.directory</Directory>\n"
           "  <Menu>\n    <Name>wine-Programs</Name>\n    <Directory>wine-Programs.directory</Directory>\n"
           "  <Menu>\n    <Name>wine-Programs-" + folder + "</Name>\n    <Directory>wine-Programs-" + folder +
           ".directory</Directory>\n    <Include>\n      <Filename>" + id + "</Filename>\n    </Include>\n"
           "  </Menu>\n  </Menu>\n  </Menu>\n</Menu>\n";
}

std::string MimePackage(const std::string& ext) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
           "  <mime-type type=\"application/x-wine-extension-" + ext + "\">\n    <glob pattern=\"*." + ext +
           "\"/>\n  </mime-type>\n</mime-info>\n";
}

class StaleMenuFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        home_ = temp_.path() / "home";
        live_ = temp_.path() / "prefixes" / "live";
        gone_ = temp_.path() / "prefixes" / "gone";
        MakeLivePrefix();
        MakeHome();
    }
    void TearDown() override { qv::SetActivePrefix(nullptr); }

    menus::MenuHome Home() const {
        return menus::MenuHome::FromVariables({{"HOME", home_.string()}});
    }
    fs::path Apps() const { return home_ / ".local/share/applications"; }

    void Put(const fs::path& file, const std::string& text) {
        fs::create_directories(file.parent_path());
        qvtest::WriteFile(file, text);
    }

    void MakeLivePrefix() {
        fs::create_directories(live_ / "dosdevices");
        fs::create_directories(live_ / "drive_c/Lumen");
        fs::create_symlink("../drive_c", live_ / "dosdevices/c:");
        Put(live_ / "system.reg",
            "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n"
            "[Software\\\\Classes\\\\.lmn] 1700000000\n@=\"Lumen.Note\"\n\n"
            "[Software\\\\Classes\\\\Lumen.Note\\\\shell\\\\open\\\\command] 1700000000\n"
            "@=\"\\\"C:\\\\Lumen\\\\lumen.exe\\\" \\\"%1\\\"\"\n");
        Put(live_ / "user.reg", "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n");
        Put(live_ / "drive_c/Lumen/lumen.exe", "MZ");
        const fs::path menu = live_ / "drive_c" / kPrograms / "Lumen";
        fs::create_directories(menu);
        ShellLinkData link;
        link.targetPath = "C:\\Lumen\\lumen.exe";
        ASSERT_TRUE(WriteShellLinkFile(menu / "Lumen Notes.lnk", link));
        link.targetPath = "C:\\Lumen\\old.exe";
        ASSERT_TRUE(WriteShellLinkFile(menu / "Lumen Old.lnk", link));
    }

    void MakeHome() {
        const std::string lnk = kProgramsWin + "Lumen\\";
        // Start Menu entries, with their menu files and icons.
        Put(Apps() / "wine/Programs/Lumen/Lumen Notes.desktop",
            Entry("Lumen Notes", live_, WineExecArg(lnk + "Lumen Notes.lnk"), "AAAA_lumen.0"));
        Put(Apps() / "wine/Programs/Lumen/Lumen Help.desktop",
            Entry("Lumen Help", live_, WineExecArg(lnk + "Lumen Help.lnk"), "BBBB_help.0"));
        Put(Apps() / "wine/Programs/Lumen/Lumen Old.desktop", Entry("Lumen Old", live_, WineExecArg(lnk + "Lumen Old.lnk")));
        Put(Apps() / "wine/Programs/Harrow/Harrow Chess.desktop",
            Entry("Harrow Chess", gone_, WineExecArg(kProgramsWin + "Harrow\\Harrow Chess.lnk"), "CCCC_harrow.0"));
        const fs::path merged = home_ / ".config/menus/applications-merged";
        Put(merged / "wine-Programs-Lumen-Lumen Notes.menu", MenuFile("Lumen", "wine-Programs-Lumen-Lumen Notes.desktop"));
        Put(merged / "wine-Programs-Lumen-Lumen Help.menu", MenuFile("Lumen", "wine-Programs-Lumen-Lumen Help.desktop"));
        Put(merged / "wine-Programs-Harrow-Harrow Chess.menu", MenuFile("Harrow", "wine-Programs-Harrow-Harrow Chess.desktop"));
        const fs::path dirs = home_ / ".local/share/desktop-directories";
        for (const char* d : {"wine-wine", "wine-Programs", "wine-Programs-Lumen", "wine-Programs-Harrow"})
            Put(dirs / (std::string(d) + ".directory"), "[Desktop Entry]\nType=Directory\nIcon=folder\n");
        const fs::path icons = home_ / ".local/share/icons/hicolor";
        for (const char* size : {"32x32", "48x48"})
            for (const char* icon : {"AAAA_lumen.0", "BBBB_help.0", "CCCC_harrow.0", "application-x-wine-extension-lmn",
                                     "application-x-wine-extension-hcg"})
                Put(icons / size / "apps" / (std::string(icon) + ".png"), std::string("PNG ") + icon);

        // Desktop entries, one beside its Windows shortcut.
        Put(home_ / "Desktop/Harrow Chess.desktop", Entry("Harrow Chess", gone_, WineExecArg("C:\\Harrow\\chess.exe")));
        Put(home_ / "Desktop/Harrow Chess.lnk", "L shortcut bytes");
        Put(home_ / "Desktop/Lumen Notes.desktop", Entry("Lumen Notes", live_, WineExecArg("C:\\Lumen\\lumen.exe")));

        // File type associations and their MIME packages.
        const fs::path mime = home_ / ".local/share/mime/packages";
        Put(Apps() / "wine-extension-lmn.desktop",
            Entry("Lumen Notes", live_, "start /ProgIDOpen Lumen.Note %f", "", "MimeType=application/x-wine-extension-lmn;\nNoDisplay=true\n"));
        Put(mime / "x-wine-extension-lmn.xml", MimePackage("lmn"));
        Put(Apps() / "wine-extension-hcg.desktop",
            Entry("Harrow Chess", gone_, "start /ProgIDOpen Harrow.Game %f", "", "MimeType=application/x-wine-extension-hcg;\nNoDisplay=true\n"));
        Put(mime / "x-wine-extension-hcg.xml", MimePackage("hcg"));
        Put(Apps() / "wine-extension-qpt.desktop",
            Entry("Quill Paint", live_, "start /ProgIDOpen Quill.Picture %f", "", "MimeType=application/x-wine-extension-qpt;\n"));
        Put(mime / "x-wine-extension-qpt.xml", MimePackage("qpt"));

        // What a cleaner must never touch: a Linux program's entry that shares an icon name
        // with a stale entry, one whose comment mentions Wine, Wine's own entry, another
        // program's MIME package, an entry led to through a link, and a prefix on a disk
        // that is not plugged in.
        Put(Apps() / "editor.desktop", "[Desktop Entry]\nName=Editor\nExec=/usr/bin/editor %U\nIcon=BBBB_help.0\nType=Application\n");
        Put(Apps() / "notes.desktop", "[Desktop Entry]\nName=Notes\nComment=Works well beside wine and WINEPREFIX=/x\nExec=/usr/bin/notes\n");
        Put(Apps() / "wine.desktop", "[Desktop Entry]\nName=Wine Windows Program Loader\nExec=wine start /unix %f\nMimeType=application/x-ms-dos-executable;\n");
        Put(mime / "x-another-app.xml", MimePackage("another"));
        Put(temp_.path() / "outside/Stale.desktop", Entry("Stale", gone_, WineExecArg("C:\\x.exe")));
        fs::create_symlink(temp_.path() / "outside/Stale.desktop", Apps() / "wine/Programs/Lumen/Link.desktop");
        Put(Apps() / "wine/Programs/Usb/Usb Game.desktop",
            Entry("Usb Game", "/media/quorvane-test-unplugged/games/pfx", WineExecArg("C:\\game.exe")));
    }

    // The stale files as "kind path-relative-to-the-home".
    std::set<std::string> Listed() {
        std::set<std::string> out;
        for (const menus::StaleMenuFile& f : menus::FindStaleMenuFiles(Home()).files)
            out.insert(std::string(menus::KindName(f.kind)) + " " + f.path.lexically_relative(home_).generic_string());
        return out;
    }

    qvtest::TempDir temp_;
    fs::path home_, live_, gone_;
};

const std::set<std::string> kStale = {
    "menu-entry .local/share/applications/wine/Programs/Lumen/Lumen Help.desktop",
    "menu-file .config/menus/applications-merged/wine-Programs-Lumen-Lumen Help.menu",
    "menu-entry .local/share/applications/wine/Programs/Lumen/Lumen Old.desktop",
    "menu-entry .local/share/applications/wine/Programs/Harrow/Harrow Chess.desktop",
    "menu-file .config/menus/applications-merged/wine-Programs-Harrow-Harrow Chess.menu",
    "directory .local/share/desktop-directories/wine-Programs-Harrow.directory",
    "icon .local/share/icons/hicolor/32x32/apps/CCCC_harrow.0.png",
    "icon .local/share/icons/hicolor/48x48/apps/CCCC_harrow.0.png",
    "desktop-entry Desktop/Harrow Chess.desktop",
    "shortcut Desktop/Harrow Chess.lnk",
    "association .local/share/applications/wine-extension-hcg.desktop",
    "mime-package .local/share/mime/packages/x-wine-extension-hcg.xml",
    "icon .local/share/icons/hicolor/32x32/apps/application-x-wine-extension-hcg.png",
    "icon .local/share/icons/hicolor/48x48/apps/application-x-wine-extension-hcg.png",
    "association .local/share/applications/wine-extension-qpt.desktop",
    "mime-package .local/share/mime/packages/x-wine-extension-qpt.xml",
};

// Every file below `root` with its bytes and mode.
std::map<std::string, std::pair<std::string, unsigned>> Snapshot(const fs::path& root) {
    std::map<std::string, std::pair<std::string, unsigned>> out;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (e.is_symlink() || !e.is_regular_file()) continue;
        struct stat st {};
        ::lstat(e.path().c_str(), &st);
        out[e.path().lexically_relative(root).generic_string()] = {qvtest::ReadFile(e.path()), st.st_mode & 07777};
    }
    return out;
}

}  // namespace

TEST_F(StaleMenuFilesTest, ListsWhatWineLeftForGoneTargetsAndNothingLive) {
    EXPECT_EQ(Listed(), kStale);
    // Each entry says why, and names its prefix.
    for (const menus::StaleMenuFile& f : menus::FindStaleMenuFiles(Home()).files) {
        EXPECT_FALSE(f.reason.empty()) << f.path;
        ASSERT_TRUE(f.prefix.has_value()) << f.path;
    }
    const auto files = menus::FindStaleMenuFiles(Home()).files;
    auto reasonOf = [&](const std::string& name) {
        for (const auto& f : files)
            if (f.path.filename() == name) return f.reason;
        return std::string();
    };
    EXPECT_EQ(reasonOf("Harrow Chess.desktop"), "its prefix " + gone_.string() + " no longer exists");
    EXPECT_EQ(reasonOf("Lumen Help.desktop"), "the shortcut " + kProgramsWin + "Lumen\\Lumen Help.lnk no longer exists");
    EXPECT_NE(reasonOf("Lumen Old.desktop").find("C:\\Lumen\\old.exe"), std::string::npos);
    EXPECT_EQ(reasonOf("wine-extension-qpt.desktop"), "the file type Quill.Picture is no longer registered");
}

TEST_F(StaleMenuFilesTest, TheListIsTheSameWhicheverPrefixTheProgramWorksOn) {
    const std::set<std::string> without = Listed();
    qv::SetActivePrefix(std::make_shared<qv::Prefix>(live_));
    EXPECT_EQ(Listed(), without);
    fs::path other = temp_.path() / "other";
    fs::create_directories(other / "drive_c");
    qvtest::WriteFile(other / "system.reg", "WINE REGISTRY Version 2\n#arch=win64\n");
    qv::SetActivePrefix(std::make_shared<qv::Prefix>(other));
    EXPECT_EQ(Listed(), without);
}

TEST_F(StaleMenuFilesTest, CleanArchivesThenRemovesExactlyThoseAndRestoreGivesThemBackByteForByte) {
    // Modes and times that the restore must give back.
    const fs::path odd = home_ / "Desktop/Harrow Chess.desktop";
    fs::permissions(odd, fs::perms::owner_all | fs::perms::group_read);
    const timespec old[2] = {{1500000000, 0}, {1500000000, 123456789}};
    ::utimensat(AT_FDCWD, odd.c_str(), old, AT_SYMLINK_NOFOLLOW);
    const auto before = Snapshot(home_);

    const menus::MenuHome home = Home();
    const menus::MenuCleanResult clean = menus::CleanMenuFiles(home, menus::FindStaleMenuFiles(home).files, 1765000000);
    ASSERT_TRUE(clean.ok) << clean.error;
    EXPECT_TRUE(clean.notes.empty());
    EXPECT_EQ(clean.removed.size(), kStale.size());
    EXPECT_EQ(clean.archive.parent_path(), home_ / ".local/share/quorvane/menu-backups");
    auto after = Snapshot(home_);
    for (const auto& [path, file] : before) {
        const bool stale = std::any_of(kStale.begin(), kStale.end(), [&](const std::string& s) {
            return s.substr(s.find(' ') + 1) == path;
        });
        EXPECT_EQ(after.count(path), stale ? 0u : 1u) << path;
    }
    EXPECT_EQ(qvtest::ReadFile(temp_.path() / "outside/Stale.desktop").empty(), false);
    EXPECT_TRUE(menus::FindStaleMenuFiles(home).files.empty());

    const menus::MenuRestoreResult restore = menus::RestoreMenuFiles(home, clean.archive);
    ASSERT_TRUE(restore.ok) << (restore.refused.empty() ? restore.error : restore.refused.front());
    after = Snapshot(home_);
    for (const auto& [path, file] : before) EXPECT_EQ(after[path], file) << path;
    struct stat st {};
    ::lstat(odd.c_str(), &st);
    EXPECT_EQ(st.st_mtim.tv_sec, 1500000000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 123456789);
    EXPECT_EQ(menus::ListMenuArchives(home), std::vector<fs::path>{clean.archive});
}

TEST_F(StaleMenuFilesTest, RestoreNeverOverwritesAChangedFileNorWritesOutsideTheMenuFolders) {
    const menus::MenuHome home = Home();
    const menus::MenuCleanResult clean = menus::CleanMenuFiles(home, menus::FindStaleMenuFiles(home).files, 1765000000);
    ASSERT_TRUE(clean.ok);
    const fs::path changed = home_ / "Desktop/Harrow Chess.desktop";
    qvtest::WriteFile(changed, "the user's own file now");
    menus::MenuRestoreResult restore = menus::RestoreMenuFiles(home, clean.archive);
    EXPECT_FALSE(restore.ok);
    ASSERT_EQ(restore.refused.size(), 1u);
    EXPECT_NE(restore.refused[0].find("Harrow Chess.desktop"), std::string::npos);
    EXPECT_EQ(qvtest::ReadFile(changed), "the user's own file now");
    EXPECT_EQ(restore.restored.size(), kStale.size() - 1);

    // An archive whose members climb out of the home, or lead outside the menu folders, or
    // through a link, is refused member by member, and nothing is written there.
    std::vector<menus::ArchivedFile> evil(3);
    evil[0].name = "../outside/evil.desktop";
    evil[1].name = ".bashrc";
    evil[2].name = ".local/share/applications/linked/evil.desktop";
    for (auto& f : evil) f.content = "evil";
    fs::create_directory_symlink(temp_.path() / "outside", Apps() / "linked");
    std::string error;
    EXPECT_FALSE(menus::WriteMenuArchive(temp_.path() / "evil.tar", evil, error));  // ".." is no member name
    evil.erase(evil.begin());
    ASSERT_TRUE(menus::WriteMenuArchive(temp_.path() / "evil.tar", evil, error)) << error;
    restore = menus::RestoreMenuFiles(home, temp_.path() / "evil.tar");
    EXPECT_FALSE(restore.ok);
    EXPECT_EQ(restore.refused.size(), 2u);
    EXPECT_FALSE(fs::exists(home_ / ".bashrc"));
    EXPECT_FALSE(fs::exists(temp_.path() / "outside/evil.desktop"));
}

TEST(MenuHome, DesktopFolderFromUserDirsAndXdgFolders) {
    qvtest::TempDir temp;
    const fs::path home = temp.path();
    fs::create_directories(home / "cfg");
    qvtest::WriteFile(home / "cfg/user-dirs.dirs", "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
    const menus::MenuHome h = menus::MenuHome::FromVariables(
        {{"HOME", home.string()}, {"XDG_CONFIG_HOME", (home / "cfg").string()}, {"XDG_DATA_HOME", "relative/ignored"}});
    EXPECT_EQ(h.desktop, home / "Schreibtisch");
    EXPECT_EQ(h.dataHome, home / ".local/share");
    EXPECT_TRUE(h.Holds(home / "Schreibtisch/x.desktop"));
    EXPECT_FALSE(h.Holds(home / "Schreibtisch/sub/x.desktop"));
    EXPECT_FALSE(h.Holds(home / ".local/share/applications/../../../etc/passwd"));
    EXPECT_TRUE(h.Holds(home / ".local/share/applications/wine/Programs/a.desktop"));
}

namespace {

// The home that Wine's own menu builder made for three prefixes (one since deleted, one
// that lost a program, one intact), with decoys, copied to `root` with its paths made real.
void CopyWineMenusFixture(const fs::path& root) {
    const fs::path from = qvtest::Fixtures().parent_path() / "wine-menus";
    for (const char* part : {"home", "prefixes"})
        fs::copy(from / part, root / part, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    std::string regRoot;  // the root as Wine's registry files write a Windows path of it
    for (char c : root.string()) regRoot += c == '/' ? std::string("\\\\") : std::string(1, c);
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (e.is_symlink() || !e.is_regular_file()) continue;
        std::string text = qvtest::ReadFile(e.path());
        const std::string with = e.path().extension() == ".reg" ? regRoot : root.string();
        bool changed = false;
        for (size_t at; (at = text.find("@ROOT@")) != std::string::npos; changed = true) text.replace(at, 6, with);
        if (!changed) continue;
        const fs::perms perms = fs::status(e.path()).permissions();
        qvtest::WriteFile(e.path(), text);
        fs::permissions(e.path(), perms);
    }
}

// The files of a home that the menu builder (or a decoy) wrote: not the caches that the
// desktop's database tools make.
std::map<std::string, std::pair<std::string, unsigned>> WrittenFiles(const fs::path& home) {
    auto all = Snapshot(home);
    std::erase_if(all, [](const auto& item) {
        const std::string& p = item.first;
        return p.ends_with("mimeinfo.cache") || (p.rfind(".local/share/mime/", 0) == 0 && p.rfind(".local/share/mime/packages/", 0) != 0) ||
               p.rfind(".local/share/quorvane/", 0) == 0;
    });
    return all;
}

}  // namespace

TEST(WineMenusFixture, WhatWinesMenuBuilderLeftIsListedCleanedAndRestoredExactly) {
    qvtest::TempDir temp;
    CopyWineMenusFixture(temp.path());
    const fs::path home = temp.path() / "home";
    const menus::MenuHome h = menus::MenuHome::FromVariables({{"HOME", home.string()}});

    std::set<std::string> expected, listed;
    std::istringstream lines(qvtest::ReadFile(qvtest::Fixtures().parent_path() / "wine-menus/expected.txt"));
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("stale ", 0) == 0) expected.insert(line.substr(6));
    ASSERT_GT(expected.size(), 20u);
    const menus::StaleMenuReport report = menus::FindStaleMenuFiles(h);
    for (const menus::StaleMenuFile& f : report.files)
        listed.insert(std::string(menus::KindName(f.kind)) + " " + f.path.lexically_relative(home).generic_string());
    EXPECT_EQ(listed, expected);
    EXPECT_TRUE(report.notes.empty());

    const auto before = WrittenFiles(home);
    const menus::MenuCleanResult clean = menus::CleanMenuFiles(h, report.files, 1765000000);
    ASSERT_TRUE(clean.ok) << clean.error;
    EXPECT_TRUE(clean.notes.empty());
    auto after = WrittenFiles(home);
    EXPECT_EQ(after.size() + expected.size(), before.size());
    for (const std::string& e : expected) EXPECT_EQ(after.count(e.substr(e.find(' ') + 1)), 0u) << e;
    // The desktop's databases follow: the removed file types are gone, the live ones stay.
    const std::string mimeCache = qvtest::ReadFile(home / ".local/share/applications/mimeinfo.cache");
    const std::string globs = qvtest::ReadFile(home / ".local/share/mime/globs2");
    ASSERT_FALSE(mimeCache.empty()) << "update-desktop-database did not run";
    ASSERT_FALSE(globs.empty()) << "update-mime-database did not run";
    {
        EXPECT_EQ(mimeCache.find("wine-extension-lmn.desktop"), std::string::npos);
        EXPECT_NE(mimeCache.find("wine-extension-qpt.desktop"), std::string::npos);
        EXPECT_EQ(globs.find("*.lmn"), std::string::npos);
        EXPECT_NE(globs.find("*.qpt"), std::string::npos);
    }
    EXPECT_TRUE(menus::FindStaleMenuFiles(h).files.empty());

    const menus::MenuRestoreResult restore = menus::RestoreMenuFiles(h, clean.archive);
    ASSERT_TRUE(restore.ok) << (restore.refused.empty() ? restore.error : restore.refused.front());
    EXPECT_EQ(WrittenFiles(home), before);
    if (!globs.empty()) {
        EXPECT_NE(qvtest::ReadFile(home / ".local/share/mime/globs2").find("*.lmn"), std::string::npos);
    }
}
