// The backup and restore page: its start state, a full backup from "Backup Now" with the
// page and the navigation held disabled until it ends, backups in one minute, the restore
// list (kinds, sizes, newest first, each row bound to its file), "Restore Now", what the
// page says after a backup or restore, the system backup of a first start, and the archives
// of Wine menu files beside the backups.
#include <windows.h>

#include <sys/stat.h>

#include <wx/frame.h>
#include <wx/tooltip.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/derived_paths.h"
#include "app/settings.h"
#include "app/string_table.h"
#include "backup/backup_restore_page.h"
#include "backup/backup_store.h"
#include "gui_test_support.h"
#include "menus/menu_archive.h"
#include "menus/menu_clean.h"
#include "menus/menu_home.h"
#include "message_box_recorder.h"
#include "platform/prefix/drive_map.h"
#include "platform/prefix/prefix.h"
#include "shell/command_ids.h"
#include "shell/quorvane_main_dlg.h"
#include "vendor/core/system32.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

class BackupPageTest : public guitest::MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        RefreshDerivedPaths();
    }
    void TearDown() override {
        MainWindowTest::TearDown();
    }
    static std::string Caption(int id) { return LoadStringText(id); }

    CTopicTitleBackupNRestore& OpenBackupPage() {
        CQuorvaneDlg& dlg = OpenMainWindow();
        dlg.RunCommand(cmd::kBackup);
        auto* page = dynamic_cast<CTopicTitleBackupNRestore*>(dlg.m_pBackupPage);
        EXPECT_NE(page, nullptr);
        EXPECT_TRUE(page->IsShown());
        return *page;
    }
    std::vector<fs::path> BackupFiles() {
        std::vector<fs::path> files;
        fs::path folder = BackupFolder();
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(folder, ec)) files.push_back(entry.path().filename());
        return files;
    }
    fs::path BackupFolder() {
        fs::path folder = *qv::WindowsToUnixPath(*qv::ActivePrefix(), GetBackupFolder());
        return folder.has_filename() ? folder : folder.parent_path();  // the name ends in a backslash
    }
    // The six controls that a full backup holds disabled, each with its state.
    static std::vector<bool> ControlStates(CTopicTitleBackupNRestore& page) {
        return {page.BackupRadio().IsEnabled(),  page.RestoreRadio().IsEnabled(),
                page.BackupLabel().IsEnabled(),  page.RestoreLabel().IsEnabled(),
                page.BackupNowButton().IsEnabled(), page.RestoreNowButton().IsEnabled()};
    }
    // Waits for the minute to have at least `seconds` left, so that two backups share it.
    static void WaitForRoomInTheMinute(int seconds) {
        while (std::time(nullptr) % 60 > 60 - seconds) std::this_thread::sleep_for(200ms);
    }

    qvtest::MessageBoxRecorder m_boxes{IDNO};
    std::vector<std::string>& m_shown = m_boxes.shown;
};

TEST_F(BackupPageTest, WithoutHistoryThePageOpensInBackupModeAndTheModesSwitch) {
    // On a page of its own: the main window would start the first system backup at once.
    auto* frame = new wxFrame(nullptr, wxID_ANY, "page");
    auto* page = new CTopicTitleBackupNRestore(frame);
    ASSERT_TRUE(page->Create());
    page->Show();
    frame->Show();
    EXPECT_TRUE(page->BackupRadio().GetValue());
    EXPECT_FALSE(page->RestoreRadio().GetValue());
    EXPECT_EQ(page->LastBackupLabel().GetText(), "There is no Backup history on record.");
    EXPECT_TRUE(page->LastBackupLabel().IsShown());
    EXPECT_TRUE(page->BackupNowButton().IsShown());
    EXPECT_FALSE(page->RestoreNowButton().IsShown());
    EXPECT_FALSE(page->BackupList().IsShown());
    EXPECT_EQ(page->DescriptionLabel().GetText().substr(0, 30), Caption(143).substr(0, 30));
    EXPECT_EQ(page->BackupLabel().GetText(), "Backup your system");
    EXPECT_EQ(page->RestoreLabel().GetText(), "Restore my system to earlier time");

    // A click on a label selects its mode, as the radio button does.
    wxMouseEvent up(wxEVT_LEFT_UP);
    up.SetEventObject(&page->RestoreLabel());
    page->RestoreLabel().ProcessWindowEvent(up);
    EXPECT_TRUE(page->RestoreRadio().GetValue());
    EXPECT_FALSE(page->BackupRadio().GetValue());
    EXPECT_TRUE(page->BackupList().IsShown());
    EXPECT_TRUE(page->RestoreNowButton().IsShown());
    EXPECT_FALSE(page->BackupNowButton().IsShown());
    EXPECT_FALSE(page->LastBackupLabel().IsShown());
    EXPECT_EQ(page->DescriptionLabel().GetText().substr(0, 30), Caption(144).substr(0, 30));

    // The empty list says so in its only line, and there is nothing to choose or restore.
    EXPECT_EQ(page->BackupRowCount(), 0u);
    ASSERT_EQ(page->BackupList().GetCount(), 1u);
    EXPECT_EQ(page->BackupList().GetStringSelection(), "No backups yet");
    EXPECT_FALSE(page->BackupList().IsEnabled());
    EXPECT_FALSE(page->RestoreNowButton().IsEnabled());
    page->RestoreNowButton().Click();
    EXPECT_TRUE(m_shown.empty());

    wxCommandEvent radio(wxEVT_RADIOBUTTON, CTopicTitleBackupNRestore::kBackupRadioId);
    radio.SetEventObject(&page->BackupRadio());
    page->BackupRadio().ProcessWindowEvent(radio);
    EXPECT_TRUE(page->BackupNowButton().IsShown());
    EXPECT_FALSE(page->BackupList().IsShown());
    frame->Destroy();
    guitest::Pump(20ms);
}

TEST_F(BackupPageTest, BackupNowHoldsThePageAndTheNavigationUntilItEnds) {
    SetSetting(settings::kLastBackup, "Jun,06 2009 7:05 PM");  // no system backup at start
    CTopicTitleBackupNRestore& page = OpenBackupPage();
    EXPECT_EQ(page.LastBackupLabel().GetText(), Caption(145) + " Jun,06 2009 7:05 PM");

    WaitForRoomInTheMinute(10);
    page.BackupNowButton().Click();
    const std::vector<bool> off(6, false);
    EXPECT_EQ(ControlStates(page), off);
    EXPECT_TRUE(page.IsBackupRunning());
    // The worker cannot finish without the UI thread: however far it has got, the page stays
    // held until its end has been handled here.
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(ControlStates(page), off);
    bool heldThroughout = true;
    ASSERT_TRUE(guitest::PumpUntil([&] {
        if (page.IsBackupRunning()) {
            heldThroughout = heldThroughout && ControlStates(page) == off && !m_dlg->ScanButton().IsEnabled() &&
                             !m_dlg->QuickBootButton().IsEnabled() && !m_dlg->BackupButton().IsEnabled() &&
                             !m_dlg->OptionsButton().IsEnabled() && page.IsShown();
        }
        return !page.IsBackupRunning();
    }, 20s));
    EXPECT_TRUE(heldThroughout);
    EXPECT_EQ(ControlStates(page), std::vector<bool>(6, true));
    // The navigation is back, with the backup page as the current one.
    EXPECT_TRUE(page.IsShown());
    EXPECT_FALSE(m_dlg->BackupButton().IsEnabled());
    EXPECT_TRUE(m_dlg->ScanButton().IsEnabled());

    std::string last;
    ASSERT_TRUE(ReadSetting(settings::kLastBackup, last));
    EXPECT_NE(last, "Jun,06 2009 7:05 PM");
    EXPECT_EQ(page.LastBackupLabel().GetText(), Caption(145) + last);  // no extra space here
    // The page says that it is done and names the file.
    EXPECT_EQ(page.StatusLabel().GetText().rfind("Backup finished: FullBackup[", 0), 0u) << page.StatusLabel().GetText();
    EXPECT_EQ(page.StatusLabel().GetText().substr(page.StatusLabel().GetText().size() - 4), ".reg");
    ASSERT_EQ(page.BackupRowCount(), 1u);
    EXPECT_EQ(page.ListingTextOfRow(0), last);
    EXPECT_NE(page.BackupList().GetString(0).utf8_string().find(" \u2014 full backup, "), std::string::npos)
        << page.BackupList().GetString(0);

    // A second full backup in the same minute is a second file with the registry as it is
    // then, and so is a system backup: three entries, each bound to its own file.
    ASSERT_TRUE(CSystem32::SetRegistryValue("Software\\Between", "x", 1, HKEY_CURRENT_USER));
    page.BackupNowButton().Click();
    ASSERT_TRUE(guitest::PumpUntil([&] { return !page.IsBackupRunning(); }, 20s));
    EXPECT_EQ(BackupFiles().size(), 2u);
    EXPECT_EQ(page.BackupList().GetCount(), 2u);
    page.DoSystemBackup();
    guitest::Pump(50ms);
    EXPECT_EQ(BackupFiles().size(), 3u);
    ASSERT_EQ(page.BackupRowCount(), 3u);
    // Newest first: the system backup, then the second and the first full backup, all with
    // the listing text of the one minute.
    EXPECT_NE(page.BackupList().GetString(0).utf8_string().find("system backup"), std::string::npos);
    EXPECT_NE(page.BackupList().GetString(2).utf8_string().find("full backup"), std::string::npos);
    for (size_t row = 0; row < 3; ++row) EXPECT_EQ(page.ListingTextOfRow(row), last);
    EXPECT_NE(page.BackupFileOfRow(1), page.BackupFileOfRow(2));

    // Restore Now asks first; "No" restores nothing.
    wxCommandEvent radio(wxEVT_RADIOBUTTON, CTopicTitleBackupNRestore::kRestoreRadioId);
    radio.SetEventObject(&page.RestoreRadio());
    page.RestoreRadio().ProcessWindowEvent(radio);
    EXPECT_EQ(page.BackupList().GetSelection(), 0);
    page.RestoreNowButton().Click();
    ASSERT_FALSE(m_shown.empty());
    EXPECT_EQ(m_shown.back(), "Are you sure you want to restore your registry setting\nto " + last);
    EXPECT_EQ(page.StatusLabel().GetText(), "");

    // "Yes" restores the file of the row chosen, though all rows read alike: only the files
    // taken after "Between" was set bring it back.
    const std::string between("B\0e\0t\0w\0e\0e\0n\0", 14);
    m_boxes.answer = IDYES;
    for (unsigned row = 0; row < page.BackupList().GetCount(); ++row) {
        CSystem32::DeleteRegistryKey("Software\\Between", HKEY_CURRENT_USER);
        page.BackupList().SetSelection(static_cast<int>(row));
        page.RestoreNowButton().Click();
        fs::path file = *qv::WindowsToUnixPath(*qv::ActivePrefix(), page.BackupFileOfRow(row));
        int v = 0;
        EXPECT_EQ(CSystem32::GetRegistryValue("Software\\Between", "x", v, HKEY_CURRENT_USER),
                  qvtest::ReadFile(file).find(between) != std::string::npos)
            << file;
        EXPECT_EQ(page.StatusLabel().GetText().rfind("Restored the ", 0), 0u) << page.StatusLabel().GetText();
    }
}

TEST_F(BackupPageTest, TheRestoreListShowsKindAndSizeNewestFirstAndRestoresTheChosenRow) {
    SetSetting(settings::kLastBackup, "Jun,06 2009 7:05 PM");  // no system backup at start
    CTopicTitleBackupNRestore& page = OpenBackupPage();
    // Three backups written one after the other, oldest first, each setting "Row" to its
    // kind; comment lines give them their sizes.
    CBackupStore().EnsureBackupFolder();
    struct Made {
        const char* name;
        const char* row;
        size_t size;
    };
    const Made made[] = {{"SystemBackup[May-01-2025 8-00 AM].reg", "system", 300 * 1024},
                         {"FullBackup[May-02-2025 8-00 AM].reg", "full", 1200 * 1024},
                         {"PartialBackup[May-03-2025 8-00 AM].reg", "fix", 2765}};
    for (const Made& m : made) {
        std::string text = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\QvRows]\r\n\"Row\"=\"" +
                           std::string(m.row) + "\"\r\n";
        while (text.size() + 64 <= m.size) text += ";" + std::string(61, '-') + "\r\n";
        text += ";" + std::string(m.size - text.size() - 3, '-') + "\r\n";
        ASSERT_EQ(text.size(), m.size);
        qvtest::WriteFile(BackupFolder() / m.name, text);
        std::this_thread::sleep_for(1100ms);  // creation times a second apart
    }

    wxCommandEvent radio(wxEVT_RADIOBUTTON, CTopicTitleBackupNRestore::kRestoreRadioId);
    radio.SetEventObject(&page.RestoreRadio());
    page.RestoreRadio().ProcessWindowEvent(radio);
    ASSERT_EQ(page.BackupRowCount(), 3u);
    ASSERT_EQ(page.BackupList().GetCount(), 3u);
    EXPECT_TRUE(page.RestoreNowButton().IsEnabled());
    const std::string ends[] = {" \u2014 fix backup, 2.7 KB", " \u2014 full backup, 1.2 MB", " \u2014 system backup, 300 KB"};
    for (unsigned row = 0; row < 3; ++row) {
        const std::string text = page.BackupList().GetString(row).utf8_string();
        ASSERT_GT(text.size(), ends[row].size());
        EXPECT_EQ(text.substr(text.size() - ends[row].size()), ends[row]);
        // The time is the listing text's, shown without its comma.
        std::string listing = page.ListingTextOfRow(row);
        listing[listing.find(',')] = ' ';
        EXPECT_EQ(text.substr(0, text.size() - ends[row].size()), listing);
        EXPECT_EQ(fs::path(page.BackupFileOfRow(row)).string().find(made[2 - row].name),
                  page.BackupFileOfRow(row).size() - std::string(made[2 - row].name).size());
    }
    // The newest is chosen.
    EXPECT_EQ(page.BackupList().GetSelection(), 0);

    // Restore Now takes the file of the row chosen, and the page says which it restored.
    auto when = [&](unsigned row) {
        const std::string text = page.BackupList().GetString(row).utf8_string();
        return text.substr(0, text.find(" \u2014 "));
    };
    m_boxes.answer = IDYES;
    page.BackupList().SetSelection(1);
    page.RestoreNowButton().Click();
    std::string row;
    ASSERT_NE(CSystem32::GetRegistryValue("Software\\QvRows", "Row", row, HKEY_CURRENT_USER), 0);
    EXPECT_EQ(row, "full");
    EXPECT_EQ(page.StatusLabel().GetText(),
              "Restored the full backup of " + when(1) + ". Programs started in Wine from now on see the restored settings.");

    // A backup that cannot be imported: the store's box says why, the status line does not
    // claim a restore, and the registry keeps what it had.
    const std::string fullWhen = when(1);
    qvtest::WriteFile(BackupFolder() / made[1].name, "not a registry file\r\n");
    size_t boxes = m_shown.size();
    page.RestoreNowButton().Click();
    ASSERT_EQ(m_shown.size(), boxes + 2);  // the question, then the failure
    EXPECT_EQ(m_shown.back().rfind("The backup could not be restored", 0), 0u) << m_shown.back();
    EXPECT_EQ(page.StatusLabel().GetText(), "Not restored: the full backup of " + fullWhen + ".");
    ASSERT_NE(CSystem32::GetRegistryValue("Software\\QvRows", "Row", row, HKEY_CURRENT_USER), 0);
    EXPECT_EQ(row, "full");

    // A backup deleted behind the page's back: the store's box says it is gone, the status
    // line that it was not restored, and the list shows what is left.
    const std::string systemWhen = when(2);
    fs::remove(BackupFolder() / made[0].name);
    page.BackupList().SetSelection(2);
    boxes = m_shown.size();
    page.RestoreNowButton().Click();
    ASSERT_EQ(m_shown.size(), boxes + 1);
    EXPECT_EQ(m_shown.back().rfind("Cannot found the backup file", 0), 0u);
    EXPECT_EQ(page.StatusLabel().GetText(),
              "Not restored: the system backup of " + systemWhen + " is no longer in the backup folder.");
    EXPECT_EQ(page.BackupRowCount(), 2u);
}

TEST_F(BackupPageTest, AFailedBackupSaysSoAndStoresNoLastBackup) {
    SetSetting(settings::kLastBackup, "Jun,06 2009 7:05 PM");
    CTopicTitleBackupNRestore& page = OpenBackupPage();
    // A file where the backup folder should be: no backup can be written.
    fs::remove_all(BackupFolder());
    qvtest::WriteFile(BackupFolder(), "not a folder");
    page.BackupNowButton().Click();
    ASSERT_TRUE(guitest::PumpUntil([&] { return !page.IsBackupRunning(); }, 20s));
    // The status line says what failed; the label still names the last backup there is.
    EXPECT_EQ(page.StatusLabel().GetText().rfind("The backup could not be written", 0), 0u)
        << page.StatusLabel().GetText();
    EXPECT_EQ(page.LastBackupLabel().GetText(), Caption(145) + " Jun,06 2009 7:05 PM");
    // All back but Restore Now: there is still no backup to restore.
    EXPECT_EQ(ControlStates(page), std::vector<bool>({true, true, true, true, true, false}));
    std::string last;
    ASSERT_TRUE(ReadSetting(settings::kLastBackup, last));
    EXPECT_EQ(last, "Jun,06 2009 7:05 PM");
}

TEST_F(BackupPageTest, AStartWithoutLastBackupWritesASystemBackup) {
    CQuorvaneDlg& dlg = OpenMainWindow();
    EXPECT_TRUE(dlg.SystemBackupStarted());
    std::string last;
    ASSERT_TRUE(guitest::PumpUntil([&] { return ReadSetting(settings::kLastBackup, last); }, 20s));
    auto* page = dynamic_cast<CTopicTitleBackupNRestore*>(dlg.m_pBackupPage);
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(guitest::PumpUntil([&] { return page->LastBackupLabel().GetText() == Caption(145) + last; }));
    std::vector<fs::path> files = BackupFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].string().rfind("SystemBackup[", 0), 0u) << files[0];
    EXPECT_EQ(page->BackupList().GetCount(), 1u);
}

TEST_F(BackupPageTest, AnArchiveOfMenuFilesIsListedAndPutsItsFilesBackWhileWineRuns) {
    SetSetting(settings::kLastBackup, "Jun,06 2009 7:05 PM");  // no system backup at start
    // Two of Wine's menu files in the test's home, archived by a clean an hour ago and then
    // removed; a registry backup taken now.
    const menus::MenuHome home = menus::MenuHome::FromEnvironment();
    ASSERT_EQ(home.home, temp_.path() / "home");
    const fs::path entry = home.Applications() / "wine" / "Programs" / "Game" / "Game.desktop";
    const fs::path icon = home.Icons() / "hicolor" / "48x48" / "apps" / "1A2B_game.0.png";
    const std::string entryText = "[Desktop Entry]\nName=Game\nExec=env WINEPREFIX=\"/gone\" wine C:\\\\Game.lnk\n";
    const std::string iconBytes("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    fs::create_directories(entry.parent_path());
    fs::create_directories(icon.parent_path());
    qvtest::WriteFile(entry, entryText);
    qvtest::WriteFile(icon, iconBytes);
    ASSERT_EQ(::chmod(entry.c_str(), 0755), 0);
    std::vector<menus::ArchivedFile> taken;
    for (const fs::path& file : {entry, icon}) {
        std::optional<menus::ArchivedFile> f = menus::TakeFile(home.home, file);
        ASSERT_TRUE(f) << file;
        taken.push_back(*f);
    }
    const std::time_t hourAgo = std::time(nullptr) - 3600;
    std::tm local{};
    localtime_r(&hourAgo, &local);
    char name[64];
    std::strftime(name, sizeof name, "menu-entries-%Y%m%d-%H%M%S.tar", &local);
    fs::create_directories(menus::MenuBackupFolder(home));
    const fs::path archive = menus::MenuBackupFolder(home) / name;
    std::string error;
    ASSERT_TRUE(menus::WriteMenuArchive(archive, taken, error)) << error;
    fs::remove(entry);
    fs::remove(icon);
    CBackupStore().EnsureBackupFolder();
    qvtest::WriteFile(BackupFolder() / "FullBackup[May-02-2025 8-00 AM].reg",
                      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\QvRows]\r\n");

    CTopicTitleBackupNRestore& page = OpenBackupPage();
    wxCommandEvent radio(wxEVT_RADIOBUTTON, CTopicTitleBackupNRestore::kRestoreRadioId);
    radio.SetEventObject(&page.RestoreRadio());
    page.RestoreRadio().ProcessWindowEvent(radio);
    // The archive is a row of its own kind, after the newer registry backup.
    ASSERT_EQ(page.BackupRowCount(), 2u);
    EXPECT_FALSE(page.IsMenuArchiveRow(0));
    ASSERT_TRUE(page.IsMenuArchiveRow(1));
    EXPECT_EQ(page.MenuArchiveOfRow(1), archive);
    const std::string text = page.BackupList().GetString(1).utf8_string();
    const std::string end = " \u2014 Wine menu files, 2 files, " + qv::BackupSizeText(fs::file_size(archive));
    ASSERT_GT(text.size(), end.size());
    EXPECT_EQ(text.substr(text.size() - end.size()), end) << text;
    const std::string when = text.substr(0, text.size() - end.size());

    // While Wine runs, Restore Now waits for a registry backup but not for the archive,
    // which writes no registry; the choice of row decides.
    const std::string reason = "Wine is running in this prefix.";
    page.SetWritingUnavailable(reason);
    auto choose = [&](int row) {
        page.BackupList().SetSelection(row);
        wxCommandEvent choice(wxEVT_CHOICE, CTopicTitleBackupNRestore::kBackupListId);
        choice.SetEventObject(&page.BackupList());
        choice.SetInt(row);
        page.BackupList().ProcessWindowEvent(choice);
    };
    EXPECT_EQ(page.RestoreNowButton().UnavailableReason(), reason);
    choose(1);
    EXPECT_EQ(page.RestoreNowButton().UnavailableReason(), "");

    // Asked first; "No" puts nothing back.
    page.RestoreNowButton().Click();
    ASSERT_EQ(m_shown.size(), 1u);
    EXPECT_EQ(m_shown[0].rfind("Are you sure you want to put back the Wine menu files\nof " + when + "?", 0), 0u)
        << m_shown[0];
    EXPECT_FALSE(fs::exists(entry));

    // "Yes" puts both back byte for byte, with their modes, and the page says so.
    m_boxes.answer = IDYES;
    page.RestoreNowButton().Click();
    EXPECT_EQ(m_shown.size(), 2u);
    EXPECT_EQ(qvtest::ReadFile(entry), entryText);
    EXPECT_EQ(qvtest::ReadFile(icon), iconBytes);
    struct stat st {};
    ASSERT_EQ(::stat(entry.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
    EXPECT_EQ(page.StatusLabel().GetText(), "Put back 2 Wine menu files.");

    // Once more: a file changed meanwhile is left as it is, and the page says how many were.
    fs::remove(icon);
    qvtest::WriteFile(entry, "changed since\n");
    page.RestoreNowButton().Click();
    EXPECT_EQ(qvtest::ReadFile(entry), "changed since\n");
    EXPECT_EQ(qvtest::ReadFile(icon), iconBytes);
    EXPECT_EQ(page.StatusLabel().GetText(), "Put back 1 Wine menu file; 1 was left as it was.");
    ASSERT_NE(page.StatusLabel().GetToolTip(), nullptr);
    EXPECT_NE(page.StatusLabel().GetToolTip()->GetTip().utf8_string().find(entry.string()), std::string::npos);

    // Back on the registry backup, Restore Now waits for Wine again.
    choose(0);
    EXPECT_EQ(page.RestoreNowButton().UnavailableReason(), reason);
}

}  // namespace
