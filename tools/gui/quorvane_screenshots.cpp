// quorvane-screenshots DIR: renders every view of the program into DIR as PNG files named
// after the view (main_home.png, about_box.png, ...), on the prefix chosen as the program
// chooses it. Needs a display; scripts/screenshots runs it under a virtual one.
#include <wx/app.h>
#include <wx/utils.h>
#include <wx/dialog.h>
#include <wx/evtloop.h>
#include <wx/image.h>
#include <wx/timer.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <windows.h>

#include "app/prefix_state.h"
#include "app/settings.h"
#include "pages/exit_pop_dlg.h"
#include "pages/home_page.h"
#include "backup/backup_restore_page.h"
#include "app/string_table.h"
#include "scan/optimize_registry_page.h"
#include "vendor/ui/ui_thread_calls.h"
#include "platform/prefix/prefix.h"
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
        }
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
};

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(ScreenshotApp);

int main(int argc, char** argv) {
    qv::SetCommandLineArgs(argc, argv);
    PrepareToolkitEnvironment();
    int code = wxEntry(argc, argv);
    return code != 0 ? code : (g_failures != 0 ? 1 : 0);
}
