// quorvane-demo-prefix: fills a fresh Wine prefix with the clutter that uninstalled games
// and old installers leave behind, so that a scan shows real findings.
//
// It installs four programs (files under C:\Program Files and friends, with their registry
// entries), then "uninstalls" two of them the careless way: their files go, their registry
// entries, shortcuts and caches stay. The two programs that remain installed are the live
// counterparts: every category holds entries pointing at files that exist, which a scanner
// must leave alone. The content is fixed; running the tool twice on fresh copies gives the
// same prefix (the registry store stamps its own key times).
//
// A fresh prefix lists the fonts of the computer that made it (Z:\usr\share\fonts\...) in
// the registry; the tool drops every font value that leads out of the prefix, so that the
// demo shows the same findings on a computer that has those fonts and on one that has not.
//
//   Left installed  Kestrel Interactive Launcher (game launcher), Brightfield PhotoDesk
//   Removed         Orbit Arcade (game launcher), Stonebridge Setup (installer runtime),
//                   Gone (a small game)
#include "app/shell_link_writer.h"
#include "platform/prefix/drive_map.h"
#include "platform/prefix/prefix.h"
#include "platform/prefix/short_file_name.h"
#include "platform/registry/registry_batch.h"
#include "platform/win32/registry_text_values.h"
#include "vendor/core/system32.h"

#include <shlobj.h>
#include <windows.h>

#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// ---- program folders -----------------------------------------------------------------------

const std::string kKestrel = "C:\\Program Files\\Kestrel Interactive\\Launcher";
const std::string kKestrelCommon = "C:\\Program Files\\Common Files\\Kestrel Interactive";
const std::string kPhotoDesk = "C:\\Program Files\\Brightfield\\PhotoDesk";
const std::string kOrbit = "C:\\Program Files\\Orbit Arcade";
const std::string kStonebridge = "C:\\Program Files\\Stonebridge";
const std::string kStonebridgeSetup = kStonebridge + "\\Setup";
const std::string kStonebridgeCommon = "C:\\Program Files\\Common Files\\Stonebridge";
const std::string kStonebridgeData = "C:\\ProgramData\\Stonebridge";
const std::string kGone = "C:\\Program Files\\Gone";
// Two 32-bit programs: installed where a 32-bit installer puts them, registered in the
// 32-bit registry view.
const std::string kProgramFilesX86 = "C:\\Program Files (x86)";
const std::string kTidewater = kProgramFilesX86 + "\\Tidewater";
const std::string kTidewaterMail = kTidewater + "\\Mail";
const std::string kTidewaterSync = kTidewater + "\\Sync";
const std::string kTidewaterCommon = kProgramFilesX86 + "\\Common Files\\Tidewater";
const std::string kFonts = "C:\\windows\\Fonts";

// ---- registry locations --------------------------------------------------------------------

const std::string kCurrentVersion = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const std::string kAppPaths = kCurrentVersion + "\\App Paths";
const std::string kSharedDlls = kCurrentVersion + "\\SharedDLLs";
const std::string kUninstall = kCurrentVersion + "\\Uninstall";
const std::string kRun = kCurrentVersion + "\\Run";
const std::string kRunOnce = kCurrentVersion + "\\RunOnce";
const std::string kFileExts = kCurrentVersion + "\\Explorer\\FileExts";
const std::string kHelp = "SOFTWARE\\Microsoft\\Windows\\Help";
const std::string kHtmlHelp = "SOFTWARE\\Microsoft\\Windows\\HTML Help";
const std::string kFontsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
const std::string kOldFontsKey = kCurrentVersion + "\\Fonts";
const std::string kWineExternalFonts = "Software\\Wine\\Fonts\\External Fonts";
const std::string kStartupReg = "SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg";
const std::string kClasses = "SOFTWARE\\Classes";
const std::string kCurrentVersion32 = "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion";

// COM identities.
const std::string kOrbitPlayerClsid = "{8E2C4B71-5A3D-4F0E-9B6C-2D7A1E5F3C90}";
const std::string kOrbitPlayerTypeLib = "{3F9A6D20-7C1B-4E85-A2D4-6B0E8F1C5A37}";
const std::string kOrbitPlayerInterface = "{C4D7E2A9-1B6F-4A30-8E95-7F2B0D3C6A14}";
const std::string kStonebridgeHelperClsid = "{5B0F3E8A-2C7D-4A91-B6E4-9D1C7F2A8E65}";  // never registered
const std::string kStonebridgeTypeLib = "{D1E5A7C3-8F2B-4C69-9A0D-3B6E1F4C7D28}";      // never registered
const std::string kStonebridgeInterface = "{92A6C0E4-7D3F-4B1A-8C5E-0F9B2D6A4E71}";
const std::string kKestrelClsid = "{A3F1C9E2-6B4D-4D8A-9E27-1C5B8F0D3A46}";
const std::string kKestrelTypeLib = "{E6B2D8F4-9A1C-4F37-B5E0-2D8C6A4F1B93}";
const std::string kKestrelInterface = "{7B3E9D15-4C2A-4E68-A0F9-5D1B8C7E2F04}";
const std::string kAutomationProxy = "{00020424-0000-0000-C000-000000000046}";
const std::string kPhotoDeskProduct = "{2C81E9F0-3B5D-4E6A-A1F7-8D04C6B95E23}";
const std::string kStonebridgeProduct = "{6F3B1C2A-8D4E-4B7A-9C21-5E0F3A7D9B14}";
const std::string kTidewaterClsid = "{4D2B7A90-3E1C-4F58-8B6D-0A9C5E2F7B13}";

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// Everything the tool does acts on one prefix; a failure stops it with a message.
class DemoBuilder {
public:
    explicit DemoBuilder(std::shared_ptr<qv::Prefix> prefix) : prefix_(std::move(prefix)) {}

    void Build() {
        InstallFiles();
        {
            qv::RegistryBatch batch;
            DropFontsOutsideThePrefix();
            RegisterApplicationPaths();
            RegisterSharedDlls();
            RegisterHelpFiles();
            RegisterFonts();
            RegisterStartupPrograms();
            RegisterFileExtensions();
            RegisterUninstallEntries();
            RegisterComClasses();
            RegisterThirtyTwoBitPrograms();
            if (batch.Commit() != ERROR_SUCCESS)
                throw std::runtime_error("cannot save the registry: " + batch.Error());
        }
        CreateShortcuts();
        CreateBrowserLeftovers();
        UninstallCarelessly();
    }

private:
    // ---- files ---------------------------------------------------------------------------------

    // The Unix path of a file the demo writes or removes. It must stay inside drive_c after
    // every link is resolved: a fresh prefix links Desktop and Documents to the user's home,
    // and the demo's files never go there.
    fs::path Unix(const std::string& windowsPath) const {
        const auto path = qv::WindowsToUnixPath(*prefix_, windowsPath);
        if (!path) throw std::runtime_error("no drive for " + windowsPath);
        fs::path real;
        if (!InsideDriveC(*path, real))
            throw std::runtime_error(windowsPath + " leads outside the prefix (to " + real.string() +
                                     "); make the demo with samples/make-demo-prefix, which gives the profile "
                                     "folders of its own");
        return *path;
    }

    // True when a Unix path lies inside drive_c once every link of its deepest existing folder
    // is resolved; `real` is that folder's real path.
    bool InsideDriveC(const fs::path& path, fs::path& real) const {
        std::error_code ec;
        const fs::path driveC = fs::canonical(prefix_->Root() / "drive_c", ec);
        fs::path existing = path;
        while (!existing.empty() && existing != existing.root_path() && !fs::exists(existing, ec))
            existing = existing.parent_path();
        real = fs::canonical(existing, ec);
        auto mismatch = std::mismatch(driveC.begin(), driveC.end(), real.begin(), real.end());
        return !driveC.empty() && mismatch.first == driveC.end();
    }

    void WriteFile(const std::string& windowsPath, const std::string& content) {
        const fs::path file = Unix(windowsPath);
        fs::create_directories(file.parent_path());
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << content;
        out.close();
        if (!out) throw std::runtime_error("cannot write " + file.string());
    }

    // A stand-in for a program file: the DOS header's signature and a line that says what
    // it stands for.
    void WriteProgram(const std::string& windowsPath) {
        WriteFile(windowsPath, "MZ demo stand-in for " + windowsPath + "\r\n");
    }

    void MakeFolder(const std::string& windowsPath) { fs::create_directories(Unix(windowsPath)); }

    void RemoveTree(const std::string& windowsPath) { fs::remove_all(Unix(windowsPath)); }

    void RemoveFile(const std::string& windowsPath) { fs::remove(Unix(windowsPath)); }

    std::string SpecialFolder(int csidl) const {
        char buffer[MAX_PATH] = {};
        if (!SHGetSpecialFolderPathA(nullptr, buffer, csidl, TRUE))
            throw std::runtime_error("the prefix has no special folder " + std::to_string(csidl));
        std::string path = buffer;
        if (!path.empty() && path.back() == '\\') path.pop_back();
        return path;
    }

    void InstallFiles() {
        for (const char* name : {"KestrelLauncher.exe", "kestrel_core.dll", "uninstall.exe"})
            WriteProgram(kKestrel + "\\" + name);
        WriteFile(kKestrel + "\\kestrel.tlb", "MSFT demo type library\r\n");
        WriteFile(kKestrel + "\\Help\\launcher.chm", "ITSF demo help\r\n");
        WriteProgram(kKestrelCommon + "\\kcrash.dll");
        WriteFile(kFonts + "\\kestreldisplay.ttf", "demo font: Kestrel Display\r\n");

        for (const char* name : {"photodesk.exe", "pdagent.exe"}) WriteProgram(kPhotoDesk + "\\" + name);
        WriteFile(kPhotoDesk + "\\Help\\photodesk.hlp", "demo help: PhotoDesk\r\n");
        WriteFile(kPhotoDesk + "\\Fonts\\bfmono.ttf", "demo font: Brightfield Mono\r\n");

        for (const char* name : {"OrbitArcade.exe", "OrbitTray.exe", "OrbitUpdate.exe", "OrbitHelper.exe",
                                 "unins000.exe", "orbitnet.dll", "orbitplug.dll"})
            WriteProgram(kOrbit + "\\" + name);
        WriteFile(kOrbit + "\\orbitplug.tlb", "MSFT demo type library\r\n");
        WriteFile(kOrbit + "\\Help\\orbitarc.hlp", "demo help: Orbit Arcade\r\n");
        WriteFile(kOrbit + "\\Help\\orbitarc.chm", "ITSF demo help\r\n");
        WriteFile(kOrbit + "\\manual\\index.html", "<html><body>Orbit Arcade manual</body></html>\r\n");
        WriteFile(kFonts + "\\orbitarc.ttf", "demo font: Orbitron Arcade\r\n");

        for (const char* name : {"sbsetup.exe", "sbclean.exe"}) WriteProgram(kStonebridgeSetup + "\\" + name);
        WriteFile(kStonebridgeSetup + "\\viewlog.bat", "@echo off\r\nnotepad %1\r\n");
        WriteFile(kStonebridgeSetup + "\\sbsetup.chm", "ITSF demo help\r\n");
        WriteFile(kStonebridge + "\\Fonts\\sbsans.ttf", "demo font: Stonebridge Sans\r\n");
        WriteProgram(kStonebridgeCommon + "\\sbinst32.dll");
        WriteProgram(kStonebridgeData + "\\setup_resume.exe");

        WriteProgram(kGone + "\\gone.exe");

        for (const char* name : {"twmail.exe", "uninst.exe"}) WriteProgram(kTidewaterMail + "\\" + name);
        WriteProgram(kTidewaterCommon + "\\twshell.dll");
        // A 32-bit program's system32 is syswow64.
        WriteProgram("C:\\windows\\syswow64\\twmapi.dll");
        for (const char* name : {"twsync.exe", "twsyncnet.dll"}) WriteProgram(kTidewaterSync + "\\" + name);
    }

    // What an uninstaller that forgets the registry leaves: the program files are gone, an
    // empty Orbit Arcade folder stays behind, and so does everything registered for them.
    void UninstallCarelessly() {
        RemoveTree(kOrbit);
        MakeFolder(kOrbit);
        RemoveFile(kFonts + "\\orbitarc.ttf");
        RemoveTree(kStonebridge);
        RemoveTree(kStonebridgeCommon);
        RemoveTree(kStonebridgeData);
        RemoveTree(kGone);
        RemoveTree(kTidewaterSync);
    }

    // ---- registry ------------------------------------------------------------------------------

    static const char* RootName(HKEY root) {
        return root == HKEY_CURRENT_USER ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
    }

    static void Check(int ok, HKEY root, const std::string& key, const std::string& name) {
        if (!ok)
            throw std::runtime_error(std::string("cannot write ") + RootName(root) + "\\" + key +
                                     (name.empty() ? "" : " value " + name));
    }

    void Text(HKEY root, const std::string& key, const std::string& name, const std::string& value) {
        Check(CSystem32::SetRegistryValue(key, name, value, root), root, key, name);
    }

    void Dword(HKEY root, const std::string& key, const std::string& name, int value) {
        Check(CSystem32::SetRegistryValue(key, name, value, root), root, key, name);
    }

    void Key(HKEY root, const std::string& key) {
        Check(CSystem32::CreateRegistryKey(key, root), root, key, "");
    }

    // Values of types that the CSystem32 forms do not write.
    void Raw(HKEY root, const std::string& key, const std::string& name, DWORD type,
             const std::string& bytes) {
        HKEY handle = nullptr;
        LONG r = RegCreateKeyExA(root, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                 nullptr, &handle, nullptr);
        if (r == ERROR_SUCCESS) {
            r = RegSetValueExA(handle, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                               static_cast<DWORD>(bytes.size()));
            RegCloseKey(handle);
        }
        Check(r == ERROR_SUCCESS, root, key, name);
    }

    void ExpandText(HKEY root, const std::string& key, const std::string& name, const std::string& value) {
        Raw(root, key, name, REG_EXPAND_SZ, value + '\0');
    }

    // True when a font value's file lies outside the prefix: a Unix path or a path on a drive
    // that leads out of drive_c (Z: is the whole Unix file system), a network path, or a
    // drive the prefix does not map. A bare name is a file of the Fonts folder.
    bool FontLeadsOutOfThePrefix(const std::string& data) const {
        fs::path unixPath;
        if (data.size() >= 2 && (data.substr(0, 2) == "\\\\" || data.substr(0, 2) == "//")) return true;
        if (!data.empty() && data[0] == '/') {
            unixPath = data;
        } else if (data.size() >= 2 && data[1] == ':') {
            const auto path = qv::WindowsToUnixPath(*prefix_, data);
            if (!path) return true;
            unixPath = *path;
        } else {
            return false;
        }
        fs::path real;
        return !InsideDriveC(unixPath, real);
    }

    // The fonts of the computer that made the fresh prefix: another computer may lack them,
    // and each would be a finding there and not here. Wine lists the fonts of the computer
    // it runs on again when it next starts in the prefix.
    void DropFontsOutsideThePrefix() {
        const struct {
            HKEY root;
            const std::string& key;
        } lists[] = {{HKEY_LOCAL_MACHINE, kFontsKey},
                     {HKEY_LOCAL_MACHINE, kOldFontsKey},
                     {HKEY_CURRENT_USER, kWineExternalFonts}};
        for (const auto& list : lists) {
            for (const qv::RegistryText& value : qv::ReadRegistryTexts(list.root, list.key.c_str()))
                if (FontLeadsOutOfThePrefix(value.text))
                    Check(CSystem32::DeleteRegistryValue(list.key, value.name, list.root), list.root, list.key,
                          value.name);
        }
    }

    void RegisterApplicationPaths() {
        const HKEY lm = HKEY_LOCAL_MACHINE;
        // Stale: the program files are gone.
        Text(lm, kAppPaths + "\\OrbitArcade.exe", "", kOrbit + "\\OrbitArcade.exe");
        Text(lm, kAppPaths + "\\OrbitArcade.exe", "Path", kOrbit + ";");
        Text(lm, kAppPaths + "\\sbsetup.exe", "", Quoted(kStonebridgeSetup + "\\sbsetup.exe"));
        // Live.
        Text(lm, kAppPaths + "\\KestrelLauncher.exe", "", kKestrel + "\\KestrelLauncher.exe");
        Text(lm, kAppPaths + "\\KestrelLauncher.exe", "Path", kKestrel + ";" + kKestrelCommon + ";");
        ExpandText(lm, kAppPaths + "\\photodesk.exe", "",
                   "%ProgramFiles%\\Brightfield\\PhotoDesk\\photodesk.exe");
    }

    void RegisterSharedDlls() {
        const HKEY lm = HKEY_LOCAL_MACHINE;
        Dword(lm, kSharedDlls, kOrbit + "\\orbitnet.dll", 1);
        Dword(lm, kSharedDlls, kOrbit + "\\orbitplug.dll", 1);
        Dword(lm, kSharedDlls, kStonebridgeCommon + "\\sbinst32.dll", 3);
        Dword(lm, kSharedDlls, kKestrel + "\\kestrel_core.dll", 1);
        Dword(lm, kSharedDlls, kKestrelCommon + "\\kcrash.dll", 2);
    }

    void RegisterHelpFiles() {
        const HKEY lm = HKEY_LOCAL_MACHINE;
        Text(lm, kHelp, "orbitarc.hlp", kOrbit + "\\Help");
        Text(lm, kHelp, "photodesk.hlp", kPhotoDesk + "\\Help\\");
        Text(lm, kHtmlHelp, "orbitarc.chm", kOrbit + "\\Help");
        Text(lm, kHtmlHelp, "sbsetup.chm", kStonebridgeSetup);
        Text(lm, kHtmlHelp, "launcher.chm", kKestrel + "\\Help");
    }

    void RegisterFonts() {
        const HKEY lm = HKEY_LOCAL_MACHINE;
        Text(lm, kFontsKey, "Orbitron Arcade (TrueType)", "orbitarc.ttf");
        Text(lm, kFontsKey, "Stonebridge Sans (TrueType)", kStonebridge + "\\Fonts\\sbsans.ttf");
        Text(lm, kFontsKey, "Kestrel Display (TrueType)", "kestreldisplay.ttf");
        Text(lm, kFontsKey, "Brightfield Mono (TrueType)", kPhotoDesk + "\\Fonts\\bfmono.ttf");
    }

    void DisabledStartupItem(const std::string& item, const std::string& hkey, const std::string& command) {
        const std::string key = kStartupReg + "\\" + item;
        const HKEY lm = HKEY_LOCAL_MACHINE;
        Text(lm, key, "key", kRun);
        Text(lm, key, "item", item);
        Text(lm, key, "hkey", hkey);
        Text(lm, key, "command", command);
        Text(lm, key, "inimapping", "0");
    }

    void RegisterStartupPrograms() {
        const HKEY cu = HKEY_CURRENT_USER;
        const HKEY lm = HKEY_LOCAL_MACHINE;
        Text(cu, kRun, "OrbitArcadeTray", Quoted(kOrbit + "\\OrbitTray.exe") + " -minimized");
        Text(cu, kRun, "KestrelLauncher", Quoted(kKestrel + "\\KestrelLauncher.exe") + " --tray");
        Text(cu, kRunOnce, "StonebridgeCleanup", kStonebridgeSetup + "\\sbclean.exe /finish");
        Text(lm, kRun, "OrbitUpdater", Quoted(kOrbit + "\\OrbitUpdate.exe") + " /background");
        Text(lm, kRun, "PhotoDeskAgent", kPhotoDesk + "\\pdagent.exe");
        Text(lm, kRunOnce, "StonebridgeResume", Quoted(kStonebridgeData + "\\setup_resume.exe") + " /resume");
        DisabledStartupItem("OrbitHelper", "HKLM", Quoted(kOrbit + "\\OrbitHelper.exe"));
        DisabledStartupItem("KestrelUpdater", "HKCU",
                            Quoted(kKestrel + "\\KestrelLauncher.exe") + " --update-check");
    }

    // A file type: the extension's key names the ProgID, whose open command runs `command`.
    void FileType(const std::string& extension, const std::string& progId, const std::string& description,
                  const std::string& command) {
        const HKEY lm = HKEY_LOCAL_MACHINE;
        Text(lm, kClasses + "\\" + extension, "", progId);
        Text(lm, kClasses + "\\" + progId, "", description);
        Text(lm, kClasses + "\\" + progId + "\\shell\\open\\command", "", command);
    }

    // Explorer's per-user record of an extension and the programs offered for it.
    void OpenWithProgIds(const std::string& extension, const std::string& progId) {
        Raw(HKEY_CURRENT_USER, kFileExts + "\\" + extension + "\\OpenWithProgids", progId, REG_NONE, "");
    }

    void RegisterFileExtensions() {
        const HKEY lm = HKEY_LOCAL_MACHINE;
        const HKEY cu = HKEY_CURRENT_USER;
        // Stale: the handler is a batch file of the removed installer.
        FileType(".sblog", "Stonebridge.LogFile", "Stonebridge Setup Log",
                 Quoted(kStonebridgeSetup + "\\viewlog.bat") + " \"%1\"");
        OpenWithProgIds(".sblog", "Stonebridge.LogFile");
        // Stale: the game is gone (a missing .exe handler).
        FileType(".orbreplay", "OrbitArcade.Replay", "Orbit Arcade Replay",
                 Quoted(kOrbit + "\\OrbitArcade.exe") + " --replay \"%1\"");
        OpenWithProgIds(".orbreplay", "OrbitArcade.Replay");
        // Stale: nothing behind the extension: its ProgID was never kept, and Explorer's
        // record holds only the recently used list.
        Text(lm, kClasses + "\\.orbmap", "", "OrbitArcade.Map");
        Text(cu, kFileExts + "\\.orbmap\\OpenWithList", "a", "OrbitArcade.exe");
        Text(cu, kFileExts + "\\.orbmap\\OpenWithList", "MRUList", "a");
        // Live.
        FileType(".kreplay", "Kestrel.Replay", "Kestrel Replay",
                 Quoted(kKestrel + "\\KestrelLauncher.exe") + " --replay \"%1\"");
        OpenWithProgIds(".kreplay", "Kestrel.Replay");
        FileType(".pdproj", "Brightfield.PhotoDesk.Project", "PhotoDesk Project",
                 Quoted(kPhotoDesk + "\\photodesk.exe") + " \"%1\"");
        OpenWithProgIds(".pdproj", "Brightfield.PhotoDesk.Project");
    }

    void RegisterUninstallEntries() {
        const HKEY lm = HKEY_LOCAL_MACHINE;
        // Stale: display data only, the uninstall data is gone.
        const std::string orbit = kUninstall + "\\OrbitArcade";
        Text(lm, orbit, "DisplayName", "Orbit Arcade 2.4");
        Text(lm, orbit, "DisplayVersion", "2.4.1187");
        Text(lm, orbit, "Publisher", "Orbit Arcade Ltd.");
        Text(lm, orbit, "DisplayIcon", kOrbit + "\\OrbitArcade.exe,0");
        Text(lm, orbit, "InstallLocation", kOrbit);
        // Stale: the only marker is an empty NoModify.
        const std::string stonebridge = kUninstall + "\\" + kStonebridgeProduct;
        Text(lm, stonebridge, "DisplayName", "Stonebridge Installer Runtime 1.2");
        Text(lm, stonebridge, "Publisher", "Stonebridge Software");
        Raw(lm, stonebridge, "NoModify", REG_BINARY, "");
        // Live.
        const std::string kestrel = kUninstall + "\\Kestrel Interactive Launcher";
        Text(lm, kestrel, "DisplayName", "Kestrel Interactive Launcher");
        Text(lm, kestrel, "DisplayVersion", "5.12.0");
        Text(lm, kestrel, "Publisher", "Kestrel Interactive");
        Text(lm, kestrel, "InstallLocation", kKestrel);
        Text(lm, kestrel, "UninstallString", Quoted(kKestrel + "\\uninstall.exe"));
        Dword(lm, kestrel, "EstimatedSize", 48210);
        Dword(lm, kestrel, "NoModify", 1);
        Dword(lm, kestrel, "NoRepair", 1);
        const std::string photoDesk = kUninstall + "\\" + kPhotoDeskProduct;
        Text(lm, photoDesk, "DisplayName", "Brightfield PhotoDesk 3");
        Text(lm, photoDesk, "DisplayVersion", "3.0.412");
        Text(lm, photoDesk, "Publisher", "Brightfield Software");
        Text(lm, photoDesk, "UninstallString", "MsiExec.exe /X" + kPhotoDeskProduct);
        Dword(lm, photoDesk, "WindowsInstaller", 1);
    }

    // The short (8.3) form of a path, as an installer gets it from GetShortPathName.
    static std::string ShortPath(const std::string& path) {
        std::string out;
        size_t start = 0;
        while (start <= path.size()) {
            size_t end = path.find('\\', start);
            if (end == std::string::npos) end = path.size();
            const std::string name = path.substr(start, end - start);
            const std::string shortName = start == 0 ? std::string() : qv::ShortNameOf(name);
            out += (shortName.empty() ? name : shortName) + (end < path.size() ? "\\" : "");
            start = end + 1;
        }
        return out;
    }

    // Tidewater Mail stays installed; Tidewater Sync was removed by an uninstaller that left
    // its registry entries. Both registered themselves as 32-bit programs do: in the 32-bit
    // view, with paths as a 32-bit program sees them (system32, %ProgramFiles%), and short
    // paths where the installer asked for them. Wine's 32-bit App Paths key is a link to the
    // 64-bit one, so the application path lands there.
    void RegisterThirtyTwoBitPrograms() {
        const HKEY lm = HKEY_LOCAL_MACHINE;
        ExpandText(lm, kCurrentVersion32 + "\\Run", "TidewaterMail", "\"%ProgramFiles%\\Tidewater\\Mail\\twmail.exe\" /tray");
        Text(lm, kAppPaths + "\\twmail.exe", "", ShortPath(kTidewaterMail + "\\twmail.exe"));
        Dword(lm, kCurrentVersion32 + "\\SharedDLLs", "C:\\windows\\system32\\twmapi.dll", 1);
        const std::string mail = kCurrentVersion32 + "\\Uninstall\\Tidewater Mail";
        Text(lm, mail, "DisplayName", "Tidewater Mail 7");
        Text(lm, mail, "UninstallString", ShortPath(kTidewaterMail + "\\uninst.exe"));
        const std::string classKey = kClasses + "\\Wow6432Node\\CLSID\\" + kTidewaterClsid;
        Text(lm, classKey, "", "Tidewater Message");
        ExpandText(lm, classKey + "\\InprocServer32", "", "%CommonProgramFiles%\\Tidewater\\twshell.dll");
        Text(lm, kClasses + "\\Tidewater.Message", "", "Tidewater Message");
        Text(lm, kClasses + "\\Tidewater.Message\\CLSID", "", kTidewaterClsid);

        Text(lm, kCurrentVersion32 + "\\Run", "TidewaterSync", Quoted(kTidewaterSync + "\\twsync.exe") + " -background");
        Dword(lm, kCurrentVersion32 + "\\SharedDLLs", kTidewaterSync + "\\twsyncnet.dll", 1);
        const std::string sync = kCurrentVersion32 + "\\Uninstall\\Tidewater Sync";
        Text(lm, sync, "DisplayName", "Tidewater Sync 2");
        Text(lm, sync, "InstallLocation", kTidewaterSync);
    }

    void ComClass(const std::string& clsid, const std::string& name, const std::string& server,
                  const std::string& progId, const std::string& typeLib) {
        const HKEY lm = HKEY_LOCAL_MACHINE;
        const std::string key = kClasses + "\\CLSID\\" + clsid;
        Text(lm, key, "", name);
        Text(lm, key + "\\InprocServer32", "", server);
        Text(lm, key + "\\InprocServer32", "ThreadingModel", "Apartment");
        Text(lm, key + "\\ProgID", "", progId + ".1");
        Text(lm, key + "\\VersionIndependentProgID", "", progId);
        Text(lm, key + "\\TypeLib", "", typeLib);
        for (const std::string& id : {progId, progId + ".1"}) {
            Text(lm, kClasses + "\\" + id, "", name);
            Text(lm, kClasses + "\\" + id + "\\CLSID", "", clsid);
        }
        Text(lm, kClasses + "\\" + progId + "\\CurVer", "", progId + ".1");
    }

    void ComTypeLib(const std::string& libid, const std::string& name, const std::string& file,
                    const std::string& helpDir) {
        const HKEY lm = HKEY_LOCAL_MACHINE;
        const std::string key = kClasses + "\\TypeLib\\" + libid + "\\1.0";
        Text(lm, key, "", name);
        Text(lm, key + "\\0\\win32", "", file);
        Text(lm, key + "\\FLAGS", "", "0");
        Text(lm, key + "\\HELPDIR", "", helpDir);
    }

    void ComInterface(const std::string& iid, const std::string& name, const std::string& libid) {
        const HKEY lm = HKEY_LOCAL_MACHINE;
        const std::string key = kClasses + "\\Interface\\" + iid;
        Text(lm, key, "", name);
        Text(lm, key + "\\ProxyStubClsid32", "", kAutomationProxy);
        Text(lm, key + "\\TypeLib", "", libid);
        Text(lm, key + "\\TypeLib", "Version", "1.0");
    }

    void RegisterComClasses() {
        // Stale: the web player's server and type library went with the game.
        ComClass(kOrbitPlayerClsid, "Orbit Arcade Web Player", kOrbit + "\\orbitplug.dll",
                 "OrbitArcade.WebPlayer", kOrbitPlayerTypeLib);
        ComTypeLib(kOrbitPlayerTypeLib, "Orbit Arcade Web Player 1.0 Type Library",
                   kOrbit + "\\orbitplug.tlb", kOrbit);
        ComInterface(kOrbitPlayerInterface, "IOrbitWebPlayer", kOrbitPlayerTypeLib);
        // Stale: a ProgID whose class was never kept, an interface whose library was never kept.
        const HKEY lm = HKEY_LOCAL_MACHINE;
        Text(lm, kClasses + "\\Stonebridge.InstallHelper.1", "", "Stonebridge Install Helper");
        Text(lm, kClasses + "\\Stonebridge.InstallHelper.1\\CLSID", "", kStonebridgeHelperClsid);
        ComInterface(kStonebridgeInterface, "IStonebridgeProgress", kStonebridgeTypeLib);
        // Live.
        ComClass(kKestrelClsid, "Kestrel Launcher Control", kKestrel + "\\kestrel_core.dll",
                 "Kestrel.LauncherControl", kKestrelTypeLib);
        ComTypeLib(kKestrelTypeLib, "Kestrel Launcher 1.0 Type Library", kKestrel + "\\kestrel.tlb",
                   kKestrel + "\\Help");
        ComInterface(kKestrelInterface, "IKestrelLauncher", kKestrelTypeLib);
    }

    // ---- shortcuts and browser files -------------------------------------------------------------

    void Shortcut(const std::string& folder, const std::string& name, const std::string& target,
                  const std::string& workingDir, bool targetIsFolder = false) {
        ShellLinkData link;
        link.targetPath = target;
        link.workingDir = workingDir;
        link.targetIsFolder = targetIsFolder;
        link.volumeSerial = 0x5A3C1E07;
        const fs::path file = Unix(folder + "\\" + name);
        fs::create_directories(file.parent_path());
        if (!WriteShellLinkFile(file, link)) throw std::runtime_error("cannot write " + file.string());
    }

    void InternetShortcut(const std::string& folder, const std::string& name, const std::string& url) {
        WriteFile(folder + "\\" + name, "[InternetShortcut]\r\nURL=" + url + "\r\n");
    }

    void CreateShortcuts() {
        const std::string desktop = SpecialFolder(CSIDL_DESKTOPDIRECTORY);
        const std::string programs = SpecialFolder(CSIDL_STARTMENU) + "\\Programs";
        // Stale.
        Shortcut(desktop, "Gone.lnk", kGone + "\\gone.exe", kGone);
        Shortcut(desktop, "Orbit Arcade.lnk", kOrbit + "\\OrbitArcade.exe", kOrbit);
        InternetShortcut(desktop, "Orbit Arcade Manual.url",
                         "file:///C:/Program%20Files/Orbit%20Arcade/manual/index.html");
        Shortcut(programs, "Orbit Arcade\\Orbit Arcade.lnk", kOrbit + "\\OrbitArcade.exe", kOrbit);
        Shortcut(programs, "Orbit Arcade\\Uninstall Orbit Arcade.lnk", kOrbit + "\\unins000.exe", kOrbit);
        Shortcut(programs, "Stonebridge\\Setup Log Viewer.lnk", kStonebridgeSetup + "\\viewlog.bat",
                 kStonebridgeSetup);
        // Live.
        Shortcut(desktop, "Kestrel Launcher.lnk", kKestrel + "\\KestrelLauncher.exe", kKestrel);
        Shortcut(desktop, "PhotoDesk Folder.lnk", kPhotoDesk, "", true);
        InternetShortcut(desktop, "Kestrel Community.url", "https://community.kestrel-interactive.example/");
        Shortcut(programs, "Kestrel Interactive\\Kestrel Launcher.lnk", kKestrel + "\\KestrelLauncher.exe",
                 kKestrel);
        Shortcut(programs, "Brightfield PhotoDesk.lnk", kPhotoDesk + "\\photodesk.exe", kPhotoDesk);
    }

    // Cookies and cached pages of the game launchers' news pages and the installer's ads,
    // in the profile's current browser folders and in the older folders of the same name.
    void CreateBrowserLeftovers() {
        const std::string profile = SpecialFolder(CSIDL_PROFILE);
        const std::string user = profile.substr(profile.rfind('\\') + 1);
        const std::string cookieFolders[] = {profile + "\\AppData\\Local\\Microsoft\\Windows\\INetCookies",
                                             profile + "\\Cookies"};
        const std::string cacheFolders[] = {
            profile + "\\AppData\\Local\\Microsoft\\Windows\\INetCache\\Content.IE5",
            profile + "\\Local Settings\\Temporary Internet Files\\Content.IE5"};

        for (const std::string& folder : cookieFolders) {
            WriteFile(folder + "\\" + user + "@orbitarcade[1].txt",
                      "session\r\n7f3a9c\r\norbitarcade.example/\r\n1536\r\n");
            WriteFile(folder + "\\" + user + "@kestrel-interactive[2].txt",
                      "region\r\neu\r\nkestrel-interactive.example/\r\n1536\r\n");
            WriteFile(folder + "\\" + user + "@ads.stonebridge[1].txt",
                      "tracker\r\n0041\r\nads.stonebridge.example/\r\n1536\r\n");
            WriteFile(folder + "\\index.dat", "Client UrlCache MMF Ver 5.2\r\n");
        }
        struct CachedFile {
            const char* folder;
            const char* name;
            const char* content;
        };
        const CachedFile cached[] = {
            {"Q7XK2M4P", "launcher_news[1].htm", "<html><body>Kestrel news</body></html>\r\n"},
            {"Q7XK2M4P", "style[1].css", "body { margin: 0 }\r\n"},
            {"Q7XK2M4P", "banner_728x90[1].gif", "GIF89a demo\r\n"},
            {"B3ZD9W1L", "orbit_logo[1].png", "demo image\r\n"},
            {"B3ZD9W1L", "update[1].xml", "<rss version=\"2.0\"></rss>\r\n"},
            {"H5RW2E9K", "setup_log_viewer[1].js", "var demo = 1;\r\n"},
        };
        for (const std::string& base : cacheFolders) {
            WriteFile(base + "\\index.dat", "Client UrlCache MMF Ver 5.2\r\n");
            MakeFolder(base + "\\0FJ8TN6C");  // an empty cache folder
            for (const CachedFile& f : cached)
                WriteFile(base + "\\" + f.folder + "\\" + f.name, f.content);
        }
    }

    std::shared_ptr<qv::Prefix> prefix_;
};

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Fills a fresh Wine prefix with stale and live registry entries, shortcuts and\n"
                 "browser files, as uninstalled games and old installers leave them."};
    std::string folder;
    app.add_option("prefix", folder, "the prefix folder (a fresh copy; changed in place)")->required();
    CLI11_PARSE(app, argc, argv);

    try {
        auto prefix = std::make_shared<qv::Prefix>(fs::absolute(folder));
        qv::SetActivePrefix(prefix);
        DemoBuilder(prefix).Build();
        qv::SetActivePrefix(nullptr);
    } catch (const std::exception& e) {
        std::cerr << "quorvane-demo-prefix: " << e.what() << "\n";
        return 1;
    }
    std::cout << "Demo entries written to " << fs::absolute(folder).string() << "\n";
    return 0;
}
