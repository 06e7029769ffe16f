// quorvane-screenshots DIR: renders every view of the program into DIR as PNG files named
// after the view (main_home.png, about_box.png, ...), on the prefix chosen as the program
// chooses it. Needs a display; scripts/screenshots runs it under a virtual one.
#include <wx/app.h>
#include <wx/utils.h>
#include <wx/dialog.h>
#include <wx/msgdlg.h>
#include <wx/evtloop.h>
#include <wx/image.h>
#include <wx/timer.h>
#include <wx/uiaction.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <windows.h>

#include "app/derived_paths.h"
#include "app/prefix_state.h"
#include "app/settings.h"
#include "pages/exit_pop_dlg.h"
#include "pages/home_page.h"
#include "backup/backup_restore_page.h"
#include "backup/backup_store.h"
#include "menus/menu_archive.h"
#include "menus/menu_clean.h"
#include "menus/menu_home.h"
#include "app/string_table.h"
#include "scan/optimize_registry_page.h"
#include "results/scan_repair.h"
#include "results/scan_result_page.h"
#include "platform/win32/message_box.h"
#include "vendor/ui/ui_thread_calls.h"
#include "platform/prefix/prefix.h"
#include "platform/win32/windows_file_open.h"
#include "platform/win32/command_line.h"
#include "shell/command_ids.h"
#include "shell/quorvane_main_dlg.h"
#include "vendor/core/system32.h"
#include "vendor/ui/skin_bitmap.h"
#include "vendor/ui/toolkit_environment.h"

namespace {

std::filesystem::path g_folder;
int g_failures = 0;

// Copies the window from the screen; where a skin gives the window its outline, the pixels
// outside it become transparent.
PrefixState WineRunningState() {
    PrefixState state;
    state.wineRunning = true;
    state.winePid = 4242;
    return state;
}

// What loading a system.reg with a broken line gives: the store's own words for it.
PrefixState DamagedRegistryState() {
    const std::string file = (std::filesystem::path(std::getenv("WINEPREFIX")) / "system.reg").string();
    PrefixState state;
    state.unwritableFiles = {file};
    state.loaderReport = {file + ":23310: Malformed value 'ProgramFilesDir\"=str(2):\"C:\\Program Files'"};
    state.fileProblems = {file + " holds data that cannot be read safely (" + state.loaderReport[0] +
                          "), so Quorvane will not rewrite it: saving would lose that data."};
    return state;
}

void Capture(wxWindow* window, const std::string& name, unsigned skinId = 0) {
    // The toolkit's screen copy can lag behind what the display shows: the display's own
    // copy is taken instead.
    wxRect rect = window->GetScreenRect();
    std::filesystem::path file = g_folder / (name + ".png");
    wxString command = wxString::Format("import -window root -crop %dx%d+%d+%d +repage \"%s\"", rect.width,
                                        rect.height, rect.x, rect.y, wxString::FromUTF8(file.string()));
    wxImage image;
    if (wxExecute(command, wxEXEC_SYNC | wxEXEC_NODISABLE) != 0 || !image.LoadFile(wxString::FromUTF8(file.string()), wxBITMAP_TYPE_PNG)) {
        std::cerr << "quorvane-screenshots: cannot capture " << name << " (is imagemagick installed?)\n";
        ++g_failures;
        return;
    }
    if (skinId != 0) {
        wxImage skin = LoadArtImage(static_cast<int>(skinId));
        if (skin.IsOk() && skin.HasAlpha() && skin.GetSize() == image.GetSize()) {
            image.InitAlpha();
            std::copy(skin.GetAlpha(), skin.GetAlpha() + skin.GetWidth() * skin.GetHeight(), image.GetAlpha());
        }
    }
    if (image.SaveFile(wxString::FromUTF8(file.string()), wxBITMAP_TYPE_PNG)) {
        std::cout << file.string() << "\n";
    } else {
        std::cerr << "quorvane-screenshots: cannot write " << file.string() << "\n";
        ++g_failures;
    }
}

// The settings a feed with a newer version and an offer leaves, and a last scan: stored for
// the home page's second view, and put back as they were afterwards, so that the prefix the
// tool runs on keeps its own settings.
const std::pair<const char*, const char*> kFeedNews[] = {
    {settings::kLastScan, "Jun,06 2025 7:05 PM"},
    {settings::kVersion, "2"},
    {settings::kBuild, "212"},
    {settings::kUpgradeURL, "https://zembrill.example.com/quorvane/download"},
    {settings::kSpecialOffer, "Quorvane 2 at half price for 1.0 users"},
    {settings::kSpecialOfferURL, "https://zembrill.example.com/quorvane/offer"}};
std::vector<std::optional<std::string>> g_settingsBeforeNews;

void StoreFeedNews() {
    g_settingsBeforeNews.clear();
    for (const auto& [name, value] : kFeedNews) {
        std::string before;
        bool had = CSystem32::GetRegistryValue(settings::kOptionsKey, name, before, HKEY_LOCAL_MACHINE) != 0;
        g_settingsBeforeNews.push_back(had ? std::optional<std::string>(before) : std::nullopt);
        CSystem32::SetRegistryValue(settings::kOptionsKey, name, value, HKEY_LOCAL_MACHINE);
    }
}

void RestoreSettingsBeforeNews() {
    for (size_t i = 0; i < g_settingsBeforeNews.size(); ++i) {
        const char* name = kFeedNews[i].first;
        if (g_settingsBeforeNews[i]) {
            CSystem32::SetRegistryValue(settings::kOptionsKey, name, *g_settingsBeforeNews[i], HKEY_LOCAL_MACHINE);
        } else {
            CSystem32::DeleteRegistryValue(settings::kOptionsKey, name, HKEY_LOCAL_MACHINE);
        }
    }
    g_settingsBeforeNews.clear();
}

// The backup views show the backups made for them alone: the prefix's own backup folder is
// set aside meanwhile, and its "Last Backup" kept; afterwards the views' backups are removed
// and both are put back as they were.
struct BackupsAside {
    std::filesystem::path folder;  // the backup folder (Unix)
    std::filesystem::path aside;   // where its files wait; empty when nothing was set aside
    std::optional<std::string> lastBackup;
    std::vector<std::filesystem::path> made;
    std::vector<std::filesystem::path> madeFolders;  // made for the views, innermost first
    bool active = false;
};
BackupsAside g_backups;

void SetBackupsAside() {
    std::optional<std::filesystem::path> folder = qv::FileNameToUnix(GetBackupFolder());
    if (!folder) return;
    g_backups = BackupsAside{};
    g_backups.folder = folder->has_filename() ? *folder : folder->parent_path();  // ends in a backslash
    std::string last;
    if (CSystem32::GetRegistryValue(settings::kOptionsKey, settings::kLastBackup, last, HKEY_LOCAL_MACHINE) != 0)
        g_backups.lastBackup = last;
    std::error_code ec;
    if (std::filesystem::exists(g_backups.folder, ec)) {
        std::filesystem::path aside = g_backups.folder;
        aside += ".screenshots-aside";
        std::filesystem::rename(g_backups.folder, aside, ec);
        if (ec) return;  // left in place: the views show them too, and nothing is removed
        g_backups.aside = aside;
    }
    g_backups.active = true;
}

// A small archive of Wine menu files, as a clean of the results page writes one, named for
// now, in the home's menu backup folder.
void MakeMenuArchive() {
    const menus::MenuHome home = menus::MenuHome::FromEnvironment();
    const std::filesystem::path folder = menus::MenuBackupFolder(home);
    std::error_code ec;
    for (std::filesystem::path f = folder; !f.empty() && f != home.dataHome && !std::filesystem::exists(f, ec);
         f = f.parent_path())
        g_backups.madeFolders.push_back(f);
    std::filesystem::create_directories(folder, ec);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char name[64];
    std::strftime(name, sizeof name, "menu-entries-%Y%m%d-%H%M%S.tar", &local);
    const std::filesystem::path archive = folder / name;
    std::vector<menus::ArchivedFile> files;
    for (const char* file : {".local/share/applications/wine/Programs/Notepad++/Notepad++.desktop",
                             ".local/share/applications/wine/Programs/Notepad++/Uninstall Notepad++.desktop",
                             ".local/share/applications/wine-extension-txt.desktop",
                             ".local/share/mime/packages/x-wine-extension-txt.xml"}) {
        menus::ArchivedFile f;
        f.name = file;
        f.content = "[Desktop Entry]\nType=Application\nName=Notepad++\n"
                    "Exec=env WINEPREFIX=\"/home/user/.wine-old\" wine C:\\\\ProgramData\\\\Notepad++.lnk\n";
        f.mtime.tv_sec = now;
        files.push_back(std::move(f));
    }
    std::string error;
    if (menus::WriteMenuArchive(archive, files, error)) {
        g_backups.made.push_back(archive);
    } else {
        std::cerr << "quorvane-screenshots: no archive of menu files: " << error << "\n";
    }
}

// Makes a system backup, an archive of menu files, a full and a fix backup, oldest first.
void MakeBackupsOfEachKind() {
    if (!g_backups.active) return;
    CBackupStore store;
    std::string error;
    auto keep = [](const std::string& path) {
        if (std::optional<std::filesystem::path> unix = qv::FileNameToUnix(path)) g_backups.made.push_back(*unix);
    };
    keep(store.MakeRegistryBackup("SystemBackup", nullptr, error));
    MakeMenuArchive();
    keep(store.MakeRegistryBackup("FullBackup", nullptr, error));
    std::string temp = store.CreatePartialBackup();
    if (!temp.empty()) {
        store.m_writer.ExportRegistryKey("HKEY_CURRENT_USER", "Control Panel\\Desktop", "", temp);
        keep(store.PublishBackup(temp, "PartialBackup", error));
    }
}

void PutBackupsBack() {
    if (!g_backups.active) return;
    std::error_code ec;
    for (const std::filesystem::path& file : g_backups.made) std::filesystem::remove(file, ec);
    std::error_code folderError;  // a folder that holds something else now stays
    for (const std::filesystem::path& folder : g_backups.madeFolders) std::filesystem::remove(folder, folderError);
    std::filesystem::remove(g_backups.folder, ec);  // only when empty: what the views made is gone
    if (!g_backups.aside.empty()) std::filesystem::rename(g_backups.aside, g_backups.folder, ec);
    if (ec) std::cerr << "quorvane-screenshots: the backups are left in " << g_backups.aside << ": " << ec.message() << "\n";
    if (g_backups.lastBackup) {
        CSystem32::SetRegistryValue(settings::kOptionsKey, settings::kLastBackup, *g_backups.lastBackup, HKEY_LOCAL_MACHINE);
    } else {
        CSystem32::DeleteRegistryValue(settings::kOptionsKey, settings::kLastBackup, HKEY_LOCAL_MACHINE);
    }
    g_backups = BackupsAside{};
}

// The first start's system backup runs on a worker: the backup views wait for its end.
void WaitForSystemBackup(CQuorvaneDlg* dlg) {
    if (!dlg->SystemBackupStarted()) return;
    WaitWhileDispatching([] {
        std::string last;
        return CSystem32::GetRegistryValue(settings::kOptionsKey, settings::kLastBackup, last, HKEY_LOCAL_MACHINE) != 0;
    }, std::chrono::seconds(30));
}

// Runs `step` with the modal dialog once it has been on show for a while (drawn).
class ModalStep : public wxTimer {
public:
    explicit ModalStep(std::function<void(wxDialog*)> step) : m_step(std::move(step)) { Start(100); }
    void Notify() override {
        for (wxWindow* window : wxTopLevelWindows) {
            auto* dialog = dynamic_cast<wxDialog*>(window);
            if (dialog != nullptr && dialog->IsModal() && dialog->IsShownOnScreen() && ++m_ticks >= 4) {
                Stop();
                m_step(dialog);
                return;
            }
        }
    }

private:
    std::function<void(wxDialog*)> m_step;
    int m_ticks = 0;
};

// Captures the window while a pop-up menu of it is open, then closes the menu: the menu runs
// its own loop, in which timers still fire.
class MenuStep : public wxTimer {
public:
    MenuStep(wxWindow* host, std::string name) : m_host(host), m_name(std::move(name)) { StartOnce(600); }
    void Notify() override {
        Capture(m_host, m_name, 129);
        wxUIActionSimulator().Char(WXK_ESCAPE);
    }

private:
    wxWindow* m_host;
    std::string m_name;
};

// Runs one step at each tick, so that the windows are drawn between the steps.
class StepRunner : public wxTimer {
public:
    void Add(std::function<void()> step) { m_steps.push_back(std::move(step)); }
    void Notify() override {
        if (m_next >= m_steps.size()) {
            Stop();
            return;
        }
        m_steps[m_next++]();
    }

private:
    std::vector<std::function<void()>> m_steps;
    size_t m_next = 0;
};

class ScreenshotApp : public wxApp {
public:
    bool OnInit() override {
        wxInitAllImageHandlers();
        if (argc != 2) {
            std::cerr << "usage: quorvane-screenshots DIR\n";
            return false;
        }
        g_folder = std::filesystem::path(argv[1].utf8_string());
        std::filesystem::create_directories(g_folder);
        try {
            qv::OpenUserPrefix();
        } catch (const std::exception& e) {
            std::cerr << "quorvane-screenshots: " << e.what() << "\n";
            return false;
        }
        CallAfter([this] { Run(); });
        return true;
    }

private:
    void Run() {
        auto* dlg = new CQuorvaneDlg("\"Z:\\quorvane\"");
        dlg->CreateMainWindow();
        wxTopLevelWindow* host = dlg->HostWindow();
        host->Move(20, 20);
        struct View {
            const char* name;
            std::function<void()> show;
            std::function<void()> after = {};  // run once the view is captured
        };
        std::vector<View> views = {
            {"main_home", [dlg] { dlg->ShowPage(0); }},
            // The home page after a check found news: what a feed stores, shown as the page
            // shows it when the check ends.
            {"main_home_update", [dlg] {
                 StoreFeedNews();
                 if (auto* home = dynamic_cast<CTopicTitleDlgHome*>(dlg->m_pHomePage)) home->RefreshStatus();
                 RestoreSettingsBeforeNews();
                 dlg->ShowPage(0); }},
            {"main_quick_boot", [dlg] { dlg->ShowPage(1); }},
            {"main_backup_restore", [dlg] { dlg->ShowPage(2); }},
            {"main_backup_restore_list", [dlg] {
                 dlg->ShowPage(2);
                 if (auto* backup = dynamic_cast<CTopicTitleBackupNRestore*>(dlg->m_pBackupPage)) backup->ShowRestoreMode();
             }},
            // Restore mode with no backup at all, and with one of each kind, the list open.
            {"main_backup_restore_empty", [dlg] {
                 WaitForSystemBackup(dlg);
                 SetBackupsAside();
                 dlg->ShowPage(2);
                 if (auto* backup = dynamic_cast<CTopicTitleBackupNRestore*>(dlg->m_pBackupPage)) backup->ShowRestoreMode();
             }},
            {"main_backup_restore_kinds", [dlg] {
                 MakeBackupsOfEachKind();
                 if (auto* backup = dynamic_cast<CTopicTitleBackupNRestore*>(dlg->m_pBackupPage)) {
                     backup->ShowRestoreMode();
                     backup->Update();
                     wxUIActionSimulator mouse;
                     mouse.MouseMove(backup->BackupList().GetScreenRect().GetPosition() + wxPoint(40, 12));
                     mouse.MouseClick();
                 }
             },
             [dlg] {
                 wxUIActionSimulator().Char(WXK_ESCAPE);
                 PutBackupsBack();
                 if (auto* backup = dynamic_cast<CTopicTitleBackupNRestore*>(dlg->m_pBackupPage)) backup->ShowBackupMode();
             }},
            {"main_options", [dlg] { dlg->ShowPage(3); }},
            // The result page after an apply that switched three programs off (the page
            // deletes the figure as it reads it), and shown again with no figure.
            {"main_quick_boot_results", [dlg] {
                 CSystem32::SetRegistryValue(settings::kOptionsKey, settings::kBFlag, 3, HKEY_LOCAL_MACHINE);
                 dlg->ShowPage(6); }},
            {"main_quick_boot_results_none", [dlg] { dlg->ShowPage(0); dlg->ShowPage(6); }},
            {"main_scan", [dlg] {
                 dlg->HideAllPages(); dlg->EnableNavigation(false); dlg->m_pScanPage->Show();
                 // Mid-scan: the bar held while the category scanners run.
                 if (auto* scan = dynamic_cast<CTopicDlgOptimizeRegistry*>(dlg->m_pScanPage))
                     scan->PreviewProgress(42, std::string(StringText(171)) +
                                                   "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\setup.exe");
             }},
            {"main_scan_results", [dlg] {
                 // A real scan of the prefix, to the end: the results page comes up with the
                 // findings.
                 CTopicDlgOptimizeRegistry::SetTimings(200, 0.1);
                 dlg->StartScan();
                 WaitWhileDispatching([dlg] { return dlg->m_pScanResultPage->IsShown() && !dlg->ScanRun().IsRunning(); },
                                      std::chrono::seconds(30));
                 CTopicDlgOptimizeRegistry::SetTimings(200, 1.0);
             }},
            // A row selected: the strip under the list explains it in full.
            {"main_scan_results_details", [dlg] {
                 // The pointer away from the window, so that no tip covers the page.
                 wxUIActionSimulator().MouseMove(1010, 750);
                 if (auto* results = dynamic_cast<CTopicDlgScanResult*>(dlg->m_pScanResultPage)) results->SelectRow(3);
             }},
            // The menu entries Wine left for a deleted prefix.
            {"main_scan_results_menu_entries", [dlg] {
                 auto* results = dynamic_cast<CTopicDlgScanResult*>(dlg->m_pScanResultPage);
                 if (results == nullptr) return;
                 for (long row = 0; row < results->List().GetItemCount(); ++row)
                     if (results->List().CellText(row, 0) == StringText(139)) {
                         results->SelectRow(row);
                         break;
                     }
             }},
            // A repair at work: the bar and what it is doing, the window busy.
            {"main_scan_results_fix_progress", [dlg] {
                 if (auto* results = dynamic_cast<CTopicDlgScanResult*>(dlg->m_pScanResultPage))
                     results->PreviewFixProgress(RepairProgress::kRemoving, 9, 14);
             },
             [dlg] {
                 if (auto* results = dynamic_cast<CTopicDlgScanResult*>(dlg->m_pScanResultPage))
                     results->PreviewFixProgress(-1, 0, 0);
             }},
            // The same results while Wine runs in the prefix: the banner at the foot and Fix
            // unavailable.
            {"main_scan_results_wine_running", [dlg] { dlg->ApplyPrefixState(WineRunningState()); }},
            // The home page says the same, and what Quorvane will and will not do.
            {"main_home_wine_running", [dlg] { dlg->ShowPage(0); }},
            // A registry file that could not be read safely, as the loader reports it.
            {"main_home_damaged_registry", [dlg] { dlg->ApplyPrefixState(DamagedRegistryState()); }},
            {"main_help_support", [dlg] { dlg->ApplyPrefixState(PrefixState{}); dlg->EnableNavigation(true); dlg->HideAllPages(); dlg->m_pHelpPage->Show(); }},
        };
        m_runner.Add([] {});
        for (const View& view : views) {
            m_runner.Add(view.show);
            m_runner.Add([host, name = std::string(view.name)] { Capture(host, name, 129); });
            if (view.after) m_runner.Add(view.after);
        }
        // The prefix chooser, open under the title's prefix name.
        m_runner.Add([dlg, host] {
            dlg->ShowPage(0);
            new MenuStep(host, "prefix_chooser");
            dlg->ShowPrefixChooser();
        });
        // A real repair of a few rows and the summary it ends with; the restart is declined.
        m_runner.Add([dlg, this] {
            auto* results = dynamic_cast<CTopicDlgScanResult*>(dlg->m_pScanResultPage);
            if (results == nullptr) return;
            dlg->HideAllPages();
            results->Show();
            // Four registry rows (those naming a key), as a user would pick them.
            int picked = 0;
            for (long row = 0; row < results->List().GetItemCount() && picked < 4; ++row) {
                const std::vector<std::string>& texts = results->List().RowTexts(static_cast<int>(row));
                if (texts.size() > 2 && !texts[2].empty()) {
                    results->List().CheckItem(row, true);
                    ++picked;
                }
            }
            CTopicDlgScanResult::SetFixPause(0);
            m_previousBoxes = qv::SetMessageBoxHandler([](const std::string& text, const std::string& caption, unsigned type) {
                if ((type & 0xF) != MB_OK) return caption == StringText(187) ? IDYES : IDNO;
                if (caption != StringText(107)) return IDOK;
                // The summary as the user sees it, in a dialog this tool can find and capture.
                wxGenericMessageDialog box(nullptr, wxString::FromUTF8(text), wxString::FromUTF8(caption),
                                           wxOK | wxICON_INFORMATION);
                new ModalStep([](wxDialog* shown) {
                    Capture(shown, "fix_summary");
                    shown->EndModal(wxID_OK);
                });
                box.ShowModal();
                return IDOK;
            });
            results->FixButton().Click();
        });
        m_runner.Add([dlg, this] {
            WaitWhileDispatching([dlg] {
                auto* results = dynamic_cast<CTopicDlgScanResult*>(dlg->m_pScanResultPage);
                return results == nullptr || (!results->FixRunning() && dlg->m_pHomePage->IsShown());
            }, std::chrono::seconds(30));
            qv::SetMessageBoxHandler(m_previousBoxes);
        });
        m_runner.Add([dlg] {
            dlg->ShowPage(0);
            new ModalStep([](wxDialog* about) {
                Capture(about, "about_box");
                about->EndModal(wxID_OK);
            });
            dlg->RunCommand(cmd::kAbout);
        });
        m_runner.Add([dlg] {
            new ModalStep([](wxDialog* pop) {
                Capture(pop, "exit_popup", 243);
                pop->Close();  // as the system's close: the program goes on
            });
            dlg->RunCommand(cmd::kClose);
        });
        m_runner.Add([this, host] {
            host->Destroy();
            ExitMainLoop();
        });
        m_runner.Start(300);
    }

    StepRunner m_runner;
    qv::MessageBoxHandler m_previousBoxes;
};

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(ScreenshotApp);

int main(int argc, char** argv) {
    qv::SetCommandLineArgs(argc, argv);
    PrepareToolkitEnvironment();
    int code = wxEntry(argc, argv);
    return code != 0 ? code : (g_failures != 0 ? 1 : 0);
}
