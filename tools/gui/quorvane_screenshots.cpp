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
#include <vector>

#include "pages/exit_pop_dlg.h"
#include "platform/prefix/prefix.h"
#include "platform/win32/command_line.h"
#include "shell/command_ids.h"
#include "shell/quorvane_main_dlg.h"
#include "vendor/ui/skin_bitmap.h"

namespace {

std::filesystem::path g_folder;
int g_failures = 0;

// Copies the window from the screen; where a skin gives the window its outline, the pixels
// outside it become transparent.
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
            {"main_quick_boot", [dlg] { dlg->ShowPage(1); }},
            {"main_backup_restore", [dlg] { dlg->ShowPage(2); }},
            {"main_options", [dlg] { dlg->ShowPage(3); }},
            {"main_quick_boot_results", [dlg] { dlg->ShowPage(6); }},
            {"main_scan", [dlg] { dlg->HideAllPages(); dlg->EnableNavigation(false); dlg->m_pScanPage->Show(); }},
            {"main_scan_results", [dlg] {
                 dlg->EnableNavigation(true); dlg->HideAllPages();
                 dlg->ScanButton().EnableButton(0); dlg->m_pScanResultPage->Show(); }},
            {"main_help_support", [dlg] { dlg->EnableNavigation(true); dlg->HideAllPages(); dlg->m_pHelpPage->Show(); }},
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
    int code = wxEntry(argc, argv);
    return code != 0 ? code : (g_failures != 0 ? 1 : 0);
}
