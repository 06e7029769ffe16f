#include "gui_test_support.h"

#include <windows.h>

#include <wx/toplevel.h>

#include <cstdlib>
#include <filesystem>
#include <utility>
#include <thread>

#include "app/settings.h"
#include "shell/quorvane_main_dlg.h"
#include "vendor/core/system32.h"

namespace guitest {

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return done();
        wxEventLoopBase* loop = wxEventLoopBase::GetActive();
        if (loop != nullptr) {
            while (loop->Pending()) loop->Dispatch();
            loop->ProcessIdle();
        }
        wxTheApp->ProcessPendingEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void Pump(std::chrono::milliseconds duration) {
    PumpUntil([] { return false; }, duration);
}

wxDialog* ActiveModalDialog() {
    for (wxWindow* window : wxTopLevelWindows) {
        auto* dialog = dynamic_cast<wxDialog*>(window);
        if (dialog != nullptr && dialog->IsModal()) return dialog;
    }
    return nullptr;
}

namespace {

class ModalWatcher : public wxTimer {
public:
    explicit ModalWatcher(std::function<void(wxDialog*)> step) : m_step(std::move(step)) {
        Start(20);
    }
    void Notify() override {
        wxDialog* dialog = ActiveModalDialog();
        if (dialog == nullptr || !dialog->IsShown()) return;
        Stop();
        auto step = std::move(m_step);
        step(dialog);
        // The timer cannot delete itself inside Notify.
        wxTheApp->CallAfter([this] { delete this; });
    }

private:
    std::function<void(wxDialog*)> m_step;
};

}  // namespace

void WhenModal(std::function<void(wxDialog*)> step) {
    new ModalWatcher(std::move(step));
}

void MainWindowTest::SetUp() {
    qvtest::SmallPrefixTest::SetUp();
    // The options page may write the desktop's autostart entry, and the backup page reads
    // the archives of Wine menu files in the data folder: both the test's own, in a home of
    // its own.
    const std::pair<const char*, std::filesystem::path> own[] = {{"HOME", temp_.path() / "home"},
                                                                 {"XDG_CONFIG_HOME", temp_.path() / "config"},
                                                                 {"XDG_DATA_HOME", temp_.path() / "home" / ".local" / "share"}};
    for (const auto& [name, path] : own) {
        const char* old = std::getenv(name);
        m_savedEnvironment.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        std::filesystem::create_directories(path);
        setenv(name, path.c_str(), 1);
    }
}

void MainWindowTest::TearDown() {
    CloseMainWindow();
    for (const auto& [name, old] : m_savedEnvironment) {
        if (old) {
            setenv(name.c_str(), old->c_str(), 1);
        } else {
            unsetenv(name.c_str());
        }
    }
    m_savedEnvironment.clear();
    qvtest::SmallPrefixTest::TearDown();
}

void MainWindowTest::SetSetting(const std::string& name, int value) {
    CSystem32::SetRegistryValue(settings::kOptionsKey, name, value, HKEY_LOCAL_MACHINE);
}

void MainWindowTest::SetSetting(const std::string& name, const std::string& value) {
    CSystem32::SetRegistryValue(settings::kOptionsKey, name, value, HKEY_LOCAL_MACHINE);
}

bool MainWindowTest::ReadSetting(const std::string& name, std::string& value) {
    return CSystem32::GetRegistryValue(settings::kOptionsKey, name, value, HKEY_LOCAL_MACHINE) != 0;
}

CQuorvaneDlg& MainWindowTest::OpenMainWindow(const std::string& commandLine) {
    m_dlg = new CQuorvaneDlg(commandLine);
    EXPECT_TRUE(m_dlg->CreateMainWindow());
    PumpUntil([this] { return m_dlg->HostWindow()->IsShownOnScreen(); });
    // The display's own answer to the showing (the map notification) arrives a moment later;
    // a window hidden before it would be reported shown again.
    Pump(std::chrono::milliseconds(150));
    return *m_dlg;
}

void MainWindowTest::CloseMainWindow() {
    if (m_dlg == nullptr) return;
    wxTopLevelWindow* host = m_dlg->HostWindow();
    m_dlg = nullptr;
    host->Destroy();
    Pump(std::chrono::milliseconds(20));
}

}  // namespace guitest
