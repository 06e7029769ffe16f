// CQuorvaneDlg: the main window. It hosts the pages and shows one at a time, marks the
// current page by disabling its navigation button, keeps the tray icon and its menu, opens
// the help menu, runs the exit sequence and starts the background work of a start: a scan,
// a restore point beside it, and the first system backup.
#pragma once

#include <wx/menu.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "app/prefix_state.h"
#include "platform/prefix/wine_server_watch.h"
#include "shell/scan_run_control.h"
#include "shell/start_page_choice.h"
#include "shell/topic_dlg.h"
#include "vendor/ui/bmp_button.h"
#include "vendor/ui/label.h"
#include "vendor/ui/skinable_dialog.h"
#include "vendor/ui/ui_thread_calls.h"

class CPrefixStateBanner;
class CQuorvaneTrayIcon;

class CQuorvaneDlg : public CSkinableDialog {
public:
    // The body of a scan worker: it runs on the worker thread and returns when the scan is
    // done or m_bStop is set. The default body ends at once; the scan page brings its own.
    using ScanBody = std::function<void(CScanRunControl&)>;

    // `commandLine` is the process's command line (it decides the start page).
    explicit CQuorvaneDlg(std::string commandLine);
    ~CQuorvaneDlg() override;

    // The main window of the program while one exists (pages take it when they are made).
    static CQuorvaneDlg* GetMainDlg();

    // Makes the window as a frameless top-level frame and shows it.
    bool CreateMainWindow();

    // ---- page host
    void HideAllPages();
    void EnableNavigation(bool enable);
    void ShowHomePage();
    void ShowQuickBootPage();
    void ShowQuickBootResultPage();
    void ShowBackupPage();
    void ShowOptionsPage();
    void ShowPage(int index);
    void StartScan();
    void OnScanFinished();
    void SetBackupRunning(bool done);
    // Restarts the prefix (wineboot -r) and waits for it: run it on a worker. 1 when done;
    // 0 with `why` said when it failed. Touches no window, so safe on any thread.
    bool NavigationEnabled() const { return m_bNavigationEnabled; }
    int RestartWindows(std::string* why = nullptr);
    void QuitApplication();
    void CenterOnScreen();
    void ShowAboutDialog();
    void ShowHelpMenu();
    void RunExitSequence();

    // ---- prefix
    // The prefix chooser: the prefixes found on this machine and "Other folder...". Not
    // offered while a scan, a fix or a backup runs (the link says why). Choosing another
    // prefix remembers it and starts the window again on it.
    void ShowPrefixChooser();
    // Switches to `prefix`: remembered for the next start, then the window ends and the
    // program starts again on it. False (after saying why) when nothing is switched.
    bool SwitchToPrefix(const std::filesystem::path& prefix);
    bool PrefixChoiceOffered() const;
    CLabel& PrefixLabel() { return m_lblPrefix; }

    // What keeps the window from changing the prefix (Wine running in it): read when the
    // window opens and watched while it is open. A state that stands in the way shows the
    // banner at the window's foot and makes the pages' writing actions unavailable, saying why.
    void ApplyPrefixState(const PrefixState& state);
    const PrefixState& CurrentPrefixState() const { return m_prefixState; }
    CPrefixStateBanner& StateBanner() { return *m_pStateBanner; }
    // How often the watch looks (tests shorten it); for windows made after the call.
    static void SetPrefixWatchInterval(std::chrono::milliseconds interval);

    // ---- tray
    // The tray menu for the window's present visibility; the caller owns it.
    wxMenu* BuildTrayMenu();
    wxMenu* BuildHelpMenu();
    void OnTrayLeftClick();
    void OnTrayRightClick();
    bool HasTrayIcon() const { return m_pTrayIcon != nullptr; }

    // Runs a command of the window (buttons, menus) as if it had been chosen.
    bool RunCommand(int id) { return OnCommand(id); }
    bool IsWindowVisible() const;

    // ---- state, for the pages and for tests
    CScanRunControl& ScanRun() { return m_scanRun; }
    void SetScanBody(ScanBody body) { m_scanBody = std::move(body); }
    const CUiTarget& UiTarget() const { return *m_pUiTarget; }
    CBMPButton& ScanButton() { return m_btnScan; }
    CBMPButton& QuickBootButton() { return m_btnQuickBoot; }
    CBMPButton& BackupButton() { return m_btnBackup; }
    CBMPButton& OptionsButton() { return m_btnOptions; }
    bool SystemBackupStarted() const { return m_bSystemBackupStarted; }
    bool RestorePointStarted() const { return m_bRestorePointStarted; }

    CTopicDlg* m_pQuickBootPage = nullptr;
    CTopicDlg* m_pHomePage = nullptr;
    CTopicDlg* m_pBackupPage = nullptr;
    CTopicDlg* m_pScanPage = nullptr;
    CTopicDlg* m_pOptionsPage = nullptr;
    CTopicDlg* m_pHelpPage = nullptr;
    CTopicDlg* m_pScanResultPage = nullptr;
    CTopicDlg* m_pQuickBootResultPage = nullptr;

    int m_cxScreen = 0;
    int m_cyScreen = 0;

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id) override;
    void PreTranslateKey(wxKeyEvent& event) override;
    bool OnSystemClose() override;

private:
    std::vector<CTopicDlg*> Pages() const;
    void CreateButtons();
    void CreatePrefixLabel();
    void StartPrefixStateWatch();
    void CreatePages();
    void ChooseStartPage();
    void ShowPageWindow(CTopicDlg* page);
    void AddTrayIcon();
    void RemoveTrayIcon();
    void ShowProgram();
    void StopScanForExit();
    void StartWorker(std::function<int()> work);
    void OpenAddress(const char* address);

    std::string m_sCommandLine;
    CBMPButton m_btnScan, m_btnQuickBoot, m_btnBackup, m_btnOptions;
    CBMPButton m_btnMinimize, m_btnClose;
    CLabel m_lblHelp;
    CLabel m_lblPrefix;
    CPrefixStateBanner* m_pStateBanner = nullptr;
    PrefixState m_prefixState;
    std::unique_ptr<qv::WineServerWatch> m_pWineWatch;
    bool m_bNavigationEnabled = true;
    CQuorvaneTrayIcon* m_pTrayIcon = nullptr;
    std::unique_ptr<CUiTarget> m_pUiTarget;
    CScanRunControl m_scanRun;
    ScanBody m_scanBody;
    std::vector<std::thread> m_workers;
    bool m_bExitRunning = false;
    bool m_bQuitRequested = false;
    bool m_bSystemBackupStarted = false;
    bool m_bRestorePointStarted = false;
};
