// Running GUI tests: the event loop is stepped until a condition holds, modal dialogs are
// answered from inside their own loop, and the main window is made on a small Wine prefix
// whose settings each test chooses.
#pragma once

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/evtloop.h>
#include <wx/timer.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "small_prefix.h"

class CQuorvaneDlg;

namespace guitest {

// Runs the event loop until `done` holds or `timeout` passes; returns `done()`.
bool PumpUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));
// Runs the event loop for a while.
void Pump(std::chrono::milliseconds duration = std::chrono::milliseconds(50));

// The modal dialog on show, or null.
wxDialog* ActiveModalDialog();

// Calls `step` with the modal dialog once one is on show (from inside its modal loop).
void WhenModal(std::function<void(wxDialog*)> step);

// A test with a small prefix and the main window made on it.
class MainWindowTest : public qvtest::SmallPrefixTest {
protected:
    // The home folder (HOME) and the desktop's configuration and data folders
    // (XDG_CONFIG_HOME, XDG_DATA_HOME) are the test's own while it runs.
    void SetUp() override;
    void TearDown() override;
    // Writes an integer or text setting to the options key.
    void SetSetting(const std::string& name, int value);
    void SetSetting(const std::string& name, const std::string& value);
    bool ReadSetting(const std::string& name, std::string& value);
    // Makes and shows the main window with `commandLine`.
    CQuorvaneDlg& OpenMainWindow(const std::string& commandLine = "\"Z:\\quorvane\"");
    void CloseMainWindow();

    CQuorvaneDlg* m_dlg = nullptr;
    // The variables the test replaced, with their values before (none: unset).
    std::vector<std::pair<std::string, std::optional<std::string>>> m_savedEnvironment;
};

}  // namespace guitest
