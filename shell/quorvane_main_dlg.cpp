#include "shell/quorvane_main_dlg.h"

#include <shellapi.h>

#include <wx/app.h>
#include <wx/dirdlg.h>
#include <wx/menu.h>
#include <wx/display.h>
#include <wx/settings.h>
#include <wx/thread.h>

#include "app/prefix_choice.h"
#include "app/string_table.h"
#include "backup/backup_restore_page.h"
#include "backup/system_backup_hook.h"
#include "pages/about_dlg.h"
#include "platform/prefix/prefix.h"
#include "platform/prefix/prefix_discovery.h"
#include "pages/exit_pop_dlg.h"
#include "pages/help_support_page.h"
#include "pages/home_page.h"
#include "pages/options_page.h"
#include "quickboot/boot_up_result_page.h"
#include "quickboot/quick_boot_page.h"
#include "resources/menus.h"
#include "results/scan_result_page.h"
#include "scan/optimize_registry_page.h"
#include "shell/help_document.h"
#include "shell/main_window_layout.h"
#include "shell/prefix_restart.h"
#include "shell/prefix_state_banner_ctrl.h"
#include "shell/quorvane_tray_icon_gui.h"
#include "shell/start_up_work.h"
#include "shell/tray_menu_items.h"
#include "shell/vendor_addresses.h"
#include "shell/window_placement.h"
#include "vendor/ui/skin_bitmap.h"

namespace {

CQuorvaneDlg* g_pMainDlg = nullptr;
std::chrono::milliseconds g_prefixWatchInterval{1500};

void CreateButton(CBMPButton& button, const main_layout::ButtonSpec& spec, wxWindow* parent,
                  std::string_view tooltip) {
    button.Create("", 0x40000000, spec.faces[0], spec.faces[1], spec.faces[2], spec.faces[3],
                  spec.key, parent, static_cast<unsigned>(spec.id), spec.extra);
    const std::string tip(tooltip);
    button.SetToolTipText(&tip, 1);
    // Placing a button also shows it; its size stays that of its faces.
    button.Move(spec.x, spec.y);
    button.Show();
}

wxMenu* MenuFromItems(const menus::MenuItem* begin, const menus::MenuItem* end) {
    auto* menu = new wxMenu;
    for (const menus::MenuItem* item = begin; item != end; ++item) {
        if (item->id == 0) {
            menu->AppendSeparator();
        } else {
            menu->Append(MenuItemId(item->id), wxString::FromUTF8(item->text));
        }
    }
    return menu;
}

}  // namespace

CQuorvaneDlg::CQuorvaneDlg(std::string commandLine)
    : CSkinableDialog(main_layout::kMainTemplate, nullptr), m_sCommandLine(std::move(commandLine)) {
    g_pMainDlg = this;
    m_scanBody = [](CScanRunControl&) {};
}

CQuorvaneDlg::~CQuorvaneDlg() {
    // No worker may outlive the window: a scan is stopped first, and the backup workers are
    // let finish, so that no backup file is left half written. A worker's last report to this
    // window is dropped from here on.
    m_pWineWatch.reset();
    if (m_pUiTarget) m_pUiTarget->Detach();
    m_scanRun.m_bExiting = 1;
    m_scanRun.WaitForScan([](const std::function<bool()>& done) { WaitWhileDispatching(done); });
    for (std::thread& worker : m_workers) {
        if (worker.joinable()) worker.join();
    }
    RemoveTrayIcon();
    for (CTopicDlg* page : Pages()) delete page;
    if (g_pMainDlg == this) g_pMainDlg = nullptr;
}

CQuorvaneDlg* CQuorvaneDlg::GetMainDlg() {
    return g_pMainDlg;
}

bool CQuorvaneDlg::CreateMainWindow() {
    return CreateFrame(wxString::FromUTF8(StringText(107).data()));
}

std::vector<CTopicDlg*> CQuorvaneDlg::Pages() const {
    return {m_pQuickBootPage, m_pHomePage,  m_pBackupPage,     m_pScanPage,
            m_pOptionsPage,   m_pHelpPage,  m_pScanResultPage, m_pQuickBootResultPage};
}

bool CQuorvaneDlg::OnInitDialog() {
    m_pUiTarget = std::make_unique<CUiTarget>(this);
    LoadBitmapA(main_layout::kMainSkin, main_layout::kMainSkinKey, 0);
    if (HostWindow() != nullptr) {
        wxIconBundle icons;
        for (int size : {16, 32, 48, 64}) {
            wxIcon icon;
            icon.CopyFromBitmap(LoadIconBitmap(size));
            icons.AddIcon(icon);
        }
        HostWindow()->SetIcons(icons);
        HostWindow()->SetTitle(wxString::FromUTF8(StringText(107).data()));
    }
    AddTrayIcon();
    CreateButtons();
    CreatePrefixLabel();
    CreatePages();
    StartPrefixStateWatch();
    ChooseStartPage();
    if (HostWindow() != nullptr) HostWindow()->Raise();
    SetFocus();
    return true;
}

void CQuorvaneDlg::CreateButtons() {
    using namespace main_layout;
    CreateButton(m_btnScan, kScanButton, this, StringText(102));
    CreateButton(m_btnQuickBoot, kQuickBootButton, this, StringText(194));
    CreateButton(m_btnBackup, kBackupButton, this, StringText(104));
    CreateButton(m_btnOptions, kOptionsButton, this, StringText(105));
    CreateButton(m_btnMinimize, kMinimizeButton, this, StringText(111));
    CreateButton(m_btnClose, kCloseButton, this, StringText(112));
    // The help menu's way in: a link in the title bar beside the window buttons.
    m_lblHelp.Create(this, cmd::kHelpMenuLink, wxRect(572, 11, 40, 20), "Help");
    m_lblHelp.SetTextColor(RGB(0xE9, 0xEF, 0xF8));
    m_lblHelp.SetFont("Tahoma", 13, 0, 0);
    m_lblHelp.SetLink(true);
}

void CQuorvaneDlg::CreatePrefixLabel() {
    // The prefix this window works on, always in view in the title area, its path as the tip.
    std::shared_ptr<qv::Prefix> prefix = qv::ActivePrefix();
    const std::filesystem::path root = prefix ? prefix->Root() : std::filesystem::path();
    const std::string name = PrefixDisplayName(qv::DiscoverPrefixes(qv::ProcessDiscoveryEnvironment()), root);
    m_lblPrefix.Create(this, cmd::kPrefixChooserLink, wxRect(318, 11, 246, 20), "Prefix: " + name + " \u25BE");
    m_lblPrefix.SetTextColor(RGB(0xE9, 0xEF, 0xF8));
    m_lblPrefix.SetFont("Tahoma", 13, 0, 0);
    m_lblPrefix.SetWordWrap(0);
    m_lblPrefix.SetLink(true);
    m_lblPrefix.SetToolTip(wxString::FromUTF8(root.string() + "\nClick to work on another Wine prefix."));
}

void CQuorvaneDlg::SetPrefixWatchInterval(std::chrono::milliseconds interval) {
    g_prefixWatchInterval = interval;
}

void CQuorvaneDlg::StartPrefixStateWatch() {
    // Along the window's foot, over the brand and build texts while it has something to say.
    m_pStateBanner = new CPrefixStateBanner(this, wxRect(6, 394, 678, 23));
    std::shared_ptr<qv::Prefix> prefix = qv::ActivePrefix();
    if (!prefix) return;
    // Read once now, so that the first page already says it; Wine is then watched.
    const PrefixState state = ReadPrefixState(prefix->Root(), &prefix->Registry());
    ApplyPrefixState(state);
    qv::WineServerStatus wine;
    wine.running = state.wineRunning;
    CUiTarget* target = m_pUiTarget.get();
    m_pWineWatch = std::make_unique<qv::WineServerWatch>(
        prefix->Root(), wine, g_prefixWatchInterval, [this, target](const qv::WineServerStatus& now) {
            target->Post([this, now] { ApplyPrefixState(WithWine(m_prefixState, now)); });
        });
}

void CQuorvaneDlg::ApplyPrefixState(const PrefixState& state) {
    m_prefixState = state;
    std::shared_ptr<qv::Prefix> prefix = qv::ActivePrefix();
    const std::filesystem::path root = prefix ? prefix->Root() : std::filesystem::path();
    if (m_pStateBanner != nullptr) m_pStateBanner->SetNotice(PrefixStateBanner(state), PrefixStateDetails(state, root));
    if (auto* home = dynamic_cast<CTopicTitleDlgHome*>(m_pHomePage))
        home->ShowPrefixNotice(PrefixStateNotice(state), PrefixStateDetails(state, root));
    const std::string reason = WritingUnavailableReason(state, root);
    for (CTopicDlg* page : Pages()) {
        if (page != nullptr) page->SetWritingUnavailable(reason);
    }
}

void CQuorvaneDlg::CreatePages() {
    m_pQuickBootPage = new CTopicTitleDlgOptimize(this);
    m_pQuickBootPage->Create();
    m_pHomePage = new CTopicTitleDlgHome(this);
    m_pHomePage->Create();
    m_pBackupPage = new CTopicTitleBackupNRestore(this);
    m_pBackupPage->Create();
    auto* scanPage = new CTopicDlgOptimizeRegistry(this);
    scanPage->Create();
    m_pScanPage = scanPage;
    m_pOptionsPage = new CTopicDlgOptions(this);
    m_pOptionsPage->Create();
    m_pHelpPage = new CTopicDlgHelpNSupport(this);
    m_pHelpPage->Create();
    auto* resultPage = new CTopicDlgScanResult(this);
    resultPage->Create();
    m_pScanResultPage = resultPage;
    // The scan page runs the scan on the scan worker and hands its rows to the results page;
    // a stop reaches the engine's own flags through the run's stop listener.
    scanPage->SetResultSink(resultPage);
    m_scanBody = [scanPage](CScanRunControl& run) { scanPage->RunScanThread(run); };
    m_scanRun.SetStopListener([this, scanPage] { scanPage->CopyRunFlags(m_scanRun); });
    m_pQuickBootResultPage = new CTopicDlgOptimizeResult(this);
    m_pQuickBootResultPage->Create();
    for (CTopicDlg* page : Pages()) {
        page->Move(main_layout::kPageX, main_layout::kPageY);
        page->Hide();
    }
}

void CQuorvaneDlg::ChooseStartPage() {
    switch (ChooseStartPageNow(m_sCommandLine)) {
    case StartPage::QuickBootResult:
        EnableNavigation(true);
        HideAllPages();
        ShowQuickBootResultPage();
        break;
    case StartPage::Scan:
        StartScan();
        RecordLastScanNow();
        break;
    case StartPage::Home:
        EnableNavigation(true);
        HideAllPages();
        ShowHomePage();
        break;
    }
    RealizePalette();
    wxSize screen = wxGetDisplaySize();
    m_cxScreen = screen.GetWidth();
    m_cyScreen = screen.GetHeight();
    LoadBitmapA(main_layout::kMainSkin, main_layout::kMainSkinKey, 0);
    if (IsSystemBackupNeeded()) {
        m_bSystemBackupStarted = true;
        // The backup page shows the system backup's progress and result like its own.
        auto* backupPage = dynamic_cast<CTopicTitleBackupNRestore*>(m_pBackupPage);
        StartWorker([backupPage] { return backupPage != nullptr ? backupPage->DoSystemBackup() : DoSystemBackup(); });
    }
}

void CQuorvaneDlg::StartWorker(std::function<int()> work) {
    m_workers.emplace_back([work = std::move(work)] { work(); });
}

// ---- page host -----------------------------------------------------------------------------

void CQuorvaneDlg::HideAllPages() {
    for (CTopicDlg* page : Pages()) {
        if (page != nullptr) page->Hide();
    }
}

void CQuorvaneDlg::EnableNavigation(bool enable) {
    m_bNavigationEnabled = enable;
    // While the whole column is unavailable (a scan, a full backup) it is drawn faded, so
    // that no button looks like the current page's.
    for (CBMPButton* button : {&m_btnScan, &m_btnQuickBoot, &m_btnBackup, &m_btnOptions}) {
        button->SetDimmed(!enable);
        button->EnableButton(enable ? 1 : 0);
    }
}

void CQuorvaneDlg::ShowPageWindow(CTopicDlg* page) {
    if (page == nullptr) return;
    page->Show();
    page->Refresh(false);
}

void CQuorvaneDlg::ShowHomePage() {
    m_btnScan.EnableButton(0);
    ShowPageWindow(m_pHomePage);
}

void CQuorvaneDlg::ShowQuickBootPage() {
    m_btnQuickBoot.EnableButton(0);
    ShowPageWindow(m_pQuickBootPage);
}

void CQuorvaneDlg::ShowQuickBootResultPage() {
    m_btnQuickBoot.EnableButton(0);
    ShowPageWindow(m_pQuickBootResultPage);
}

void CQuorvaneDlg::ShowBackupPage() {
    m_btnBackup.EnableButton(0);
    ShowPageWindow(m_pBackupPage);
}

void CQuorvaneDlg::ShowOptionsPage() {
    m_btnOptions.EnableButton(0);
    ShowPageWindow(m_pOptionsPage);
}

void CQuorvaneDlg::ShowPage(int index) {
    if (index != 4) {
        EnableNavigation(true);
        HideAllPages();
    }
    switch (index) {
    case 0: ShowHomePage(); break;
    case 1: ShowQuickBootPage(); break;
    case 2: ShowBackupPage(); break;
    case 3: ShowOptionsPage(); break;
    case 4: ShowHelpMenu(); break;
    case 6: ShowQuickBootResultPage(); break;
    default: break;
    }
}

void CQuorvaneDlg::StartScan() {
    HideAllPages();
    EnableNavigation(false);
    ShowPageWindow(m_pScanPage);
    // Showing the scan page starts the scan: the worker runs the scan body and reports the
    // end to this window as its last act, by a send.
    CUiTarget* target = m_pUiTarget.get();
    ScanBody body = m_scanBody;
    m_scanRun.Start([this, target, body](CScanRunControl& run) {
        body(run);
        target->Send([this] { OnScanFinished(); });
    });
    if (IsRestorePointWanted()) {
        m_bRestorePointStarted = true;
        StartWorker([] { return CreateRestorePoint(); });
    }
}

void CQuorvaneDlg::OnScanFinished() {
    EnableNavigation(true);
    HideAllPages();
    if (m_scanRun.m_bAborted) {
        ShowHomePage();
    } else {
        m_btnScan.EnableButton(0);
        ShowPageWindow(m_pScanResultPage);
    }
}

void CQuorvaneDlg::SetBackupRunning(bool done) {
    // Called from the backup's worker: the windows change on the UI thread.
    if (!wxThread::IsMain()) {
        m_pUiTarget->Send([this, done] { SetBackupRunning(done); });
        return;
    }
    HideAllPages();
    EnableNavigation(done);
    ShowPageWindow(m_pBackupPage);
    if (done) {
        EnableNavigation(true);
        HideAllPages();
        ShowBackupPage();
    }
}

int CQuorvaneDlg::RestartWindows(std::string* why) {
    return RestartActivePrefix(why);
}

void CQuorvaneDlg::QuitApplication() {
    m_bQuitRequested = true;
    RemoveTrayIcon();
    // From the exit pop-up, the window closes once the pop-up's modal run has returned;
    // otherwise as soon as the current event is handled.
    if (m_bExitRunning) return;
    wxTopLevelWindow* host = HostWindow();
    if (host != nullptr) {
        host->CallAfter([host] { host->Close(true); });
    }
}

void CQuorvaneDlg::CenterOnScreen() {
    WindowOrigin origin = CenteredWindowOrigin(m_cxScreen, m_cyScreen);
    OuterWindow()->Move(origin.x, origin.y);
}

void CQuorvaneDlg::ShowAboutDialog() {
    CDlgQuorvaneAbout about;
    about.ShowModal();
}

wxMenu* CQuorvaneDlg::BuildHelpMenu() {
    return MenuFromItems(std::begin(menus::kHelpMenu), std::end(menus::kHelpMenu));
}

void CQuorvaneDlg::ShowHelpMenu() {
    std::unique_ptr<wxMenu> menu(BuildHelpMenu());
    PopupMenu(menu.get());
}

// ---- prefix ----------------------------------------------------------------------------------

bool CQuorvaneDlg::PrefixChoiceOffered() const { return m_bNavigationEnabled && !m_scanRun.IsRunning(); }

void CQuorvaneDlg::ShowPrefixChooser() {
    if (!PrefixChoiceOffered()) {
        MessageBoxA(nullptr, "Another Wine prefix can be chosen once the scan, the fix, the restart or the backup has ended.",
                    "Quorvane", MB_OK | MB_ICONINFORMATION);
        return;
    }
    std::shared_ptr<qv::Prefix> prefix = qv::ActivePrefix();
    const std::vector<PrefixChoice> choices =
        PrefixChoices(qv::DiscoverPrefixes(qv::ProcessDiscoveryEnvironment()), prefix ? prefix->Root() : "");
    wxMenu menu;
    constexpr int kFirst = 0x7000;
    for (size_t i = 0; i < choices.size(); ++i) {
        wxMenuItem* item = menu.AppendCheckItem(kFirst + static_cast<int>(i), wxString::FromUTF8(choices[i].label));
        item->Check(choices[i].current);
    }
    menu.AppendSeparator();
    const int other = kFirst + static_cast<int>(choices.size());
    menu.Append(other, wxString::FromUTF8("Other folder\u2026"));
    const int chosen = GetPopupMenuSelectionFromUser(menu, m_lblPrefix.GetPosition() + wxPoint(0, 20));
    if (chosen == wxID_NONE) return;
    if (chosen == other) {
        wxDirDialog dialog(this, "Choose the folder of a Wine prefix (the one that holds system.reg)", wxGetHomeDir(),
                           wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
        if (dialog.ShowModal() != wxID_OK) return;
        SwitchToPrefix(dialog.GetPath().utf8_string());
        return;
    }
    const size_t index = static_cast<size_t>(chosen - kFirst);
    if (index < choices.size() && !choices[index].current) SwitchToPrefix(choices[index].path);
}

bool CQuorvaneDlg::SwitchToPrefix(const std::filesystem::path& prefix) {
    if (!qv::LooksLikePrefix(prefix)) {
        MessageBoxA(nullptr, (prefix.string() + " is not a Wine prefix: it holds neither system.reg nor user.reg.").c_str(),
                    "Quorvane", MB_OK | MB_ICONWARNING);
        return false;
    }
    std::string error;
    if (!RememberPrefix(prefix, error))
        MessageBoxA(nullptr, (error + " Quorvane switches now and starts on the previous prefix next time.").c_str(),
                    "Quorvane", MB_OK | MB_ICONWARNING);
    // A fresh start on the other prefix: every page, setting and list is read from it anew.
    RequestPrefixSwitch(prefix);
    QuitApplication();
    return true;
}

// ---- tray ------------------------------------------------------------------------------------

void CQuorvaneDlg::AddTrayIcon() {
    if (m_pTrayIcon != nullptr) return;
    m_pTrayIcon = new CQuorvaneTrayIcon(this);
    m_pTrayIcon->Install();
}

void CQuorvaneDlg::RemoveTrayIcon() {
    if (m_pTrayIcon == nullptr) return;
    m_pTrayIcon->RemoveIcon();
    // Deleted later: the removal may come from the icon's own menu.
    m_pTrayIcon->Destroy();
    m_pTrayIcon = nullptr;
}

bool CQuorvaneDlg::IsWindowVisible() const {
    const wxWindow* outer = HostWindow() != nullptr ? static_cast<const wxWindow*>(HostWindow()) : this;
    return outer->IsShown();
}

wxMenu* CQuorvaneDlg::BuildTrayMenu() {
    std::vector<menus::MenuItem> items = TrayMenuItems(IsWindowVisible());
    return MenuFromItems(items.data(), items.data() + items.size());
}

void CQuorvaneDlg::OnTrayLeftClick() {
    ShowProgram();
}

void CQuorvaneDlg::OnTrayRightClick() {
    if (m_pTrayIcon != nullptr) {
        std::unique_ptr<wxMenu> menu(BuildTrayMenu());
        m_pTrayIcon->PopupMenu(menu.get());
    }
}

void CQuorvaneDlg::ShowProgram() {
    wxTopLevelWindow* host = HostWindow();
    if (host == nullptr) return;
    host->Show();
    host->Iconize(false);
    host->Raise();
    SetFocus();
}

// ---- commands and keys -----------------------------------------------------------------------

void CQuorvaneDlg::OpenAddress(const char* address) {
    // A failure (no browser) changes nothing and is not reported.
    ShellExecuteA(nullptr, "open", address, nullptr, nullptr, SW_SHOWNORMAL);
}

bool CQuorvaneDlg::OnCommand(int id) {
    // A choice from the help menu arrives with its menu item id.
    if (id >= MenuItemId(cmd::kHelpTopics) && id <= MenuItemId(cmd::kTrayExit)) id = CommandOfMenuItem(id);
    switch (id) {
    case cmd::kMinimize:
        if (HostWindow() != nullptr) HostWindow()->Iconize(true);
        return true;
    case cmd::kClose:
    case cmd::kTrayExit:
        RunExitSequence();
        return true;
    case cmd::kScan:
        EnableNavigation(true);
        HideAllPages();
        ShowHomePage();
        return true;
    case cmd::kQuickBoot:
        EnableNavigation(true);
        HideAllPages();
        ShowQuickBootPage();
        return true;
    case cmd::kBackup:
        EnableNavigation(true);
        HideAllPages();
        ShowBackupPage();
        return true;
    case cmd::kOptions:
        EnableNavigation(true);
        HideAllPages();
        ShowOptionsPage();
        return true;
    case cmd::kHelpMenuLink:
        ShowHelpMenu();
        return true;
    case cmd::kPrefixChooserLink:
        ShowPrefixChooser();
        return true;
    case cmd::kHelpTopics:
        OpenHelpDocument();
        return true;
    case cmd::kAbout:
    case cmd::kTrayAbout:
        ShowAboutDialog();
        return true;
    case cmd::kContactUs:
    case cmd::kTrayOnlineHelp:
        OpenAddress(StringText(117).data());
        return true;
    case cmd::kHelpOnline:
        OpenAddress(StringText(204).data());
        return true;
    case cmd::kTrayShow:
        ShowProgram();
        return true;
    case cmd::kTrayHide:
        // Without a tray icon nothing could bring a hidden window back: it stays.
        if (m_pTrayIcon != nullptr && HostWindow() != nullptr) HostWindow()->Hide();
        return true;
    case cmd::kTrayCentre:
        CenterOnScreen();
        return true;
    case cmd::kTrayHomePage:
        ShellExecuteA(nullptr, "open", kVendorHomePage, nullptr, nullptr, SW_SHOWMAXIMIZED);
        return true;
    default:
        return false;
    }
}

void CQuorvaneDlg::PreTranslateKey(wxKeyEvent& event) {
    if (IsDialogEndKey(event.GetKeyCode())) {
        event.DoAllowNextEvent();
        return;
    }
    event.Skip();
}

// ---- exit ------------------------------------------------------------------------------------

void CQuorvaneDlg::StopScanForExit() {
    m_scanRun.m_bExiting = 1;
    if (!m_scanRun.m_bStop) {
        m_scanRun.WaitForScan([](const std::function<bool()>& done) { WaitWhileDispatching(done); });
    }
    RemoveTrayIcon();
}

void CQuorvaneDlg::RunExitSequence() {
    if (m_bExitRunning) return;
    m_bExitRunning = true;
    StopScanForExit();
    m_bQuitRequested = false;
    (new CTopicDlgExitPop(this))->DoModal();
    m_bExitRunning = false;
    if (m_bQuitRequested) {
        // "No, Thanks": the window closes, and with it the program.
        if (HostWindow() != nullptr) HostWindow()->Close(true);
        return;
    }
    // Closed by the system rather than by "No, Thanks": the program goes on. A window that
    // was hidden (Exit from the tray) is shown again, since without its tray icon nothing
    // else could bring it back.
    if (!IsWindowVisible()) ShowProgram();
}

bool CQuorvaneDlg::OnSystemClose() {
    // Alt+F4 ends the window without the pop-up, but never while a scan worker runs.
    StopScanForExit();
    return true;
}
