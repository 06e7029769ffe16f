// The Quick Boot page and the Boot Up Results page in the main window: the list as the
// registry holds it, applying the boxes, the seconds figure read once, an item listed twice,
// and a switch-off and switch-on through the page that gives the Run keys back byte for byte.
#include <shellapi.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/app_utils.h"
#include "app/settings.h"
#include "app/string_table.h"
#include "gui_test_support.h"
#include "message_box_recorder.h"
#include "platform/registry/atomic_file.h"
#include "quickboot/boot_up_result_page.h"
#include "pages/options_page.h"
#include "quickboot/quick_boot_page.h"
#include "run_key_values.h"
#include "shell/command_ids.h"
#include "shell/quorvane_main_dlg.h"
#include "shell/vendor_addresses.h"
#include "vendor/core/system32.h"

namespace {

const std::string kRun = qvtest::kRunKeyPath;
const std::string kStore = "SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg";

using qvtest::RunKeysText;
using qvtest::SetRawValue;
using qvtest::Utf16Bytes;

class QuickBootPagesTest : public guitest::MainWindowTest {
protected:
    static void AddRun(HKEY root, const std::string& name, const std::string& command, DWORD type = REG_SZ) {
        SetRawValue(root, kRun, name, type, Utf16Bytes(command));
    }
    // A record as the system configuration utility writes it: the four texts only.
    static void AddUtilityRecord(const std::string& item, const std::string& command, const std::string& hkey) {
        const std::string key = kStore + "\\" + item;
        SetRawValue(HKEY_LOCAL_MACHINE, key, "item", REG_SZ, Utf16Bytes(item));
        SetRawValue(HKEY_LOCAL_MACHINE, key, "command", REG_SZ, Utf16Bytes(command));
        SetRawValue(HKEY_LOCAL_MACHINE, key, "hkey", REG_SZ, Utf16Bytes(hkey));
        SetRawValue(HKEY_LOCAL_MACHINE, key, "key", REG_SZ, Utf16Bytes(kRun));
    }
    static bool RunValueExists(HKEY root, const std::string& name) {
        std::string text;
        return CSystem32::GetRegistryValue(kRun, name, text, root) != 0;
    }
    static bool Recorded(const std::string& item) {
        HKEY k = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (kStore + "\\" + item).c_str(), 0, KEY_READ, &k) != 0) return false;
        RegCloseKey(k);
        return true;
    }

    CTopicTitleDlgOptimize& OpenQuickBootPage() {
        CQuorvaneDlg& dlg = OpenMainWindow();
        dlg.RunCommand(cmd::kQuickBoot);
        auto* page = dynamic_cast<CTopicTitleDlgOptimize*>(dlg.m_pQuickBootPage);
        EXPECT_NE(page, nullptr);
        EXPECT_TRUE(page->IsShown());
        return *page;
    }
    CTopicDlgOptimizeResult& ResultPage() { return *dynamic_cast<CTopicDlgOptimizeResult*>(m_dlg->m_pQuickBootResultPage); }

    // The rows as "item|root|checked", from the top.
    static std::vector<std::string> Rows(CTopicTitleDlgOptimize& page) {
        std::vector<std::string> out;
        CCheckListCtrl& list = page.List();
        for (int i = 0; i < list.GetItemCount(); ++i)
            out.push_back(list.CellText(i, 0) + "|" + list.CellText(i, 2) + "|" + (list.IsChecked(i) ? "on" : "off"));
        return out;
    }
    static void SetBox(CTopicTitleDlgOptimize& page, const std::string& item, bool checked) {
        CCheckListCtrl& list = page.List();
        for (int i = 0; i < list.GetItemCount(); ++i)
            if (list.CellText(i, 0) == item) list.CheckItem(i, checked);
    }
    static void SetAllBoxes(CTopicTitleDlgOptimize& page, bool checked) {
        for (int i = 0; i < page.List().GetItemCount(); ++i) page.List().CheckItem(i, checked);
    }
    void Apply(CTopicTitleDlgOptimize& page) {
        page.ApplyButton().Click();
        guitest::PumpUntil([this] { return ResultPage().IsShown(); });
    }

    qvtest::MessageBoxRecorder m_boxes;
    std::vector<std::string>& m_shown = m_boxes.shown;
};

TEST_F(QuickBootPagesTest, ListsRunningProgramsCheckedAboveSwitchedOffOnes) {
    AddRun(HKEY_CURRENT_USER, "Chat", "C:\\Chat\\chat.exe");
    AddRun(HKEY_LOCAL_MACHINE, "Agent", "%ProgramFiles%\\Agent\\agent.exe", REG_EXPAND_SZ);
    AddUtilityRecord("Updater", "C:\\Upd\\upd.exe /bg", "HKCU");

    CTopicTitleDlgOptimize& page = OpenQuickBootPage();
    // HKCU values are read first, HKLM after; each row goes in on top.
    EXPECT_EQ(Rows(page), (std::vector<std::string>{"Agent|HKLM|on", "Chat|HKCU|on", "Updater|HKCU|off"}));
    EXPECT_EQ(page.List().CellText(0, 1), "%ProgramFiles%\\Agent\\agent.exe");
    EXPECT_EQ(page.List().CellText(2, 3), kRun);
    EXPECT_TRUE(page.TipLabel().IsShown());
    EXPECT_EQ(page.TipLabel().GetText(), LoadStringText(209));
}

TEST_F(QuickBootPagesTest, ThreeUncheckedShowTwelveSecondsOnceThenNoGain) {
    AddRun(HKEY_CURRENT_USER, "One", "C:\\one.exe");
    AddRun(HKEY_CURRENT_USER, "Two", "C:\\two.exe");
    AddRun(HKEY_LOCAL_MACHINE, "Three", "C:\\three.exe");
    AddRun(HKEY_LOCAL_MACHINE, "Keep", "C:\\keep.exe");

    CTopicTitleDlgOptimize& page = OpenQuickBootPage();
    for (const char* item : {"One", "Two", "Three"}) SetBox(page, item, false);
    Apply(page);

    EXPECT_FALSE(page.IsShown());
    EXPECT_EQ(ResultPage().ResultLabel().GetText(), "Your PC has been optimized to boot up\n12 seconds faster.");
    EXPECT_EQ(ResultPage().OfferLabel().GetText(), LoadStringText(226));
    EXPECT_TRUE(m_shown.empty());
    // The figure is read once: the setting is gone, the time of the apply stays.
    std::string flag, stamp;
    EXPECT_FALSE(ReadSetting(settings::kBFlag, flag));
    ASSERT_TRUE(ReadSetting(settings::kBTimeStamp, stamp));
    EXPECT_EQ(stamp.size(), 4u);
    EXPECT_FALSE(RunValueExists(HKEY_CURRENT_USER, "One"));
    EXPECT_FALSE(RunValueExists(HKEY_LOCAL_MACHINE, "Three"));
    EXPECT_TRUE(RunValueExists(HKEY_LOCAL_MACHINE, "Keep"));
    EXPECT_TRUE(Recorded("One") && Recorded("Two") && Recorded("Three"));

    // Shown again without a new apply: nothing was switched off since, so no gain is claimed.
    m_dlg->ShowPage(0);
    m_dlg->ShowPage(6);
    EXPECT_EQ(ResultPage().ResultLabel().GetText(), LoadStringText(920));

    // Back on the Quick Boot page the three are listed switched off (the store's subkeys in
    // name order, each put on top).
    m_dlg->RunCommand(cmd::kQuickBoot);
    EXPECT_EQ(Rows(page), (std::vector<std::string>{"Keep|HKLM|on", "Two|HKCU|off", "Three|HKLM|off", "One|HKCU|off"}));
}

TEST_F(QuickBootPagesTest, ApplyingWithEveryBoxCheckedClaimsNoGain) {
    AddRun(HKEY_CURRENT_USER, "One", "C:\\one.exe");
    AddRun(HKEY_CURRENT_USER, "Two", "C:\\two.exe");
    const std::string before = RunKeysText();

    CTopicTitleDlgOptimize& page = OpenQuickBootPage();
    Apply(page);
    EXPECT_EQ(ResultPage().LastResult().seconds, 0);
    EXPECT_EQ(ResultPage().ResultLabel().GetText(), LoadStringText(920));
    EXPECT_EQ(RunKeysText(), before);
}

TEST_F(QuickBootPagesTest, AStoredFigureOpensTheResultPageAtStartAndIsShownOnce) {
    SetSetting(settings::kBFlag, 2);
    OpenMainWindow();
    ASSERT_TRUE(ResultPage().IsShown());
    EXPECT_EQ(ResultPage().ResultLabel().GetText(), "Your PC has been optimized to boot up\n8 seconds faster.");
    std::string flag;
    EXPECT_FALSE(ReadSetting(settings::kBFlag, flag));

    // "Start" opens the offer page in the browser.
    std::vector<std::string> opened;
    qv::ShellOpenHandler previous = qv::SetShellOpenHandler([&opened](const qv::ShellOpenRequest& request) {
        opened.push_back(request.target);
        return true;
    });
    ResultPage().StartButton().Click();
    qv::SetShellOpenHandler(previous);
    EXPECT_EQ(opened, std::vector<std::string>{kVendorOfferPage});
}

TEST_F(QuickBootPagesTest, AnItemBothRunningAndSwitchedOffIsListedTwiceAndTheLowerRowWins) {
    AddRun(HKEY_CURRENT_USER, "Twice", "C:\\twice.exe");
    AddUtilityRecord("Twice", "C:\\twice.exe", "HKCU");

    CTopicTitleDlgOptimize& page = OpenQuickBootPage();
    EXPECT_EQ(Rows(page), (std::vector<std::string>{"Twice|HKCU|on", "Twice|HKCU|off"}));
    Apply(page);
    EXPECT_FALSE(RunValueExists(HKEY_CURRENT_USER, "Twice"));
    EXPECT_TRUE(Recorded("Twice"));
    m_dlg->RunCommand(cmd::kQuickBoot);
    EXPECT_EQ(Rows(page), (std::vector<std::string>{"Twice|HKCU|off"}));
}

TEST_F(QuickBootPagesTest, ReenteringThePageDropsUnappliedTicks) {
    AddRun(HKEY_CURRENT_USER, "One", "C:\\one.exe");
    CTopicTitleDlgOptimize& page = OpenQuickBootPage();
    SetBox(page, "One", false);
    m_dlg->RunCommand(cmd::kBackup);
    m_dlg->RunCommand(cmd::kQuickBoot);
    EXPECT_EQ(Rows(page), (std::vector<std::string>{"One|HKCU|on"}));
    EXPECT_TRUE(RunValueExists(HKEY_CURRENT_USER, "One"));
}

TEST_F(QuickBootPagesTest, SwitchingEverythingOffAndOnGivesTheRunKeysBackByteForByte) {
    // Both string types under both roots, a name with a backslash, one of 300 characters, a
    // value that is not a string, and an item the system configuration utility switched off.
    AddRun(HKEY_CURRENT_USER, "Plain", "\"C:\\Tools\\plain.exe\" /quiet");
    AddRun(HKEY_CURRENT_USER, "Expand", "%ProgramFiles%\\Ex\\ex.exe", REG_EXPAND_SZ);
    AddRun(HKEY_CURRENT_USER, "Tools\\Updater", "C:\\upd.exe");
    AddRun(HKEY_CURRENT_USER, std::string(300, 'L'), "C:\\long.exe");
    SetRawValue(HKEY_CURRENT_USER, kRun, "Number", REG_DWORD, {1, 2, 3, 4});
    AddRun(HKEY_LOCAL_MACHINE, "Plain", "C:\\Machine\\plain.exe");
    AddRun(HKEY_LOCAL_MACHINE, "Agent", "%SystemRoot%\\agent.exe", REG_EXPAND_SZ);
    AddUtilityRecord("Legacy", "C:\\legacy.exe -min", "HKLM");

    CTopicTitleDlgOptimize& page = OpenQuickBootPage();
    SetAllBoxes(page, true);
    Apply(page);
    // The utility's item runs again, as a plain string value.
    EXPECT_TRUE(RunValueExists(HKEY_LOCAL_MACHINE, "Legacy"));
    EXPECT_FALSE(Recorded("Legacy"));
    const std::string running = RunKeysText();

    m_dlg->RunCommand(cmd::kQuickBoot);
    const int rows = page.List().GetItemCount();
    SetAllBoxes(page, false);
    Apply(page);
    EXPECT_EQ(ResultPage().LastResult().switchedOff, rows);
    for (const char* item : {"Plain", "Expand", "Agent", "Legacy"}) EXPECT_TRUE(Recorded(item)) << item;
    // The store's records keep the utility's four texts.
    std::string command, hkey, key;
    CSystem32::GetRegistryValue(kStore + "\\Expand", "command", command, HKEY_LOCAL_MACHINE);
    CSystem32::GetRegistryValue(kStore + "\\Expand", "hkey", hkey, HKEY_LOCAL_MACHINE);
    CSystem32::GetRegistryValue(kStore + "\\Expand", "key", key, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(command, "%ProgramFiles%\\Ex\\ex.exe");
    EXPECT_EQ(hkey, "HKCU");
    EXPECT_EQ(key, kRun);

    m_dlg->RunCommand(cmd::kQuickBoot);
    EXPECT_EQ(page.List().GetItemCount(), rows);
    SetAllBoxes(page, true);
    Apply(page);
    EXPECT_EQ(RunKeysText(), running);
    EXPECT_TRUE(m_shown.empty());
}

TEST_F(QuickBootPagesTest, ARefusedChangeIsNamedAndNothingIsLost) {
    AddRun(HKEY_CURRENT_USER, "One", "C:\\one.exe");
    const std::string before = RunKeysText();
    CTopicTitleDlgOptimize& page = OpenQuickBootPage();
    SetBox(page, "One", false);
    // The registry refuses every change while the apply runs.
    qv::SetWriteFaultHook([](size_t) { return false; });
    Apply(page);
    qv::SetWriteFaultHook(nullptr);
    ASSERT_EQ(m_shown.size(), 1u);
    EXPECT_NE(m_shown[0].find(LoadStringText(921)), std::string::npos);
    EXPECT_NE(m_shown[0].find("One (HKCU"), std::string::npos);
    EXPECT_EQ(ResultPage().LastResult().seconds, 0);
    EXPECT_EQ(RunKeysText(), before);
}

// Quorvane's own item: switching it off in Quick Boot removes the desktop autostart entry
// (the program would otherwise keep starting at login), switching it on writes it, and the
// options page's box follows.
TEST_F(QuickBootPagesTest, QuorvanesOwnItemSwitchesTheDesktopAutostartEntryWithIt) {
    const std::filesystem::path folder = temp_.path() / "config" / "autostart";
    auto entries = [&folder] {
        std::error_code ec;
        return std::distance(std::filesystem::directory_iterator(folder, ec), std::filesystem::directory_iterator());
    };
    AddRun(HKEY_CURRENT_USER, "Other", "C:\\other.exe");
    CTopicTitleDlgOptimize& page = OpenQuickBootPage();
    m_dlg->RunCommand(cmd::kOptions);
    auto* options = dynamic_cast<CTopicDlgOptions*>(m_dlg->m_pOptionsPage);
    ASSERT_NE(options, nullptr);
    options->RunAtStartLabel().Click();
    options->SaveButton().Click();
    ASSERT_EQ(entries(), 1);

    m_dlg->RunCommand(cmd::kQuickBoot);
    SetBox(page, settings::kRunValue, false);
    Apply(page);
    EXPECT_EQ(entries(), 0);
    EXPECT_FALSE(RunValueExists(HKEY_CURRENT_USER, settings::kRunValue));
    EXPECT_TRUE(RunValueExists(HKEY_CURRENT_USER, "Other"));
    m_dlg->RunCommand(cmd::kOptions);
    EXPECT_FALSE(options->RunAtStartBox().GetValue());

    m_dlg->RunCommand(cmd::kQuickBoot);
    SetBox(page, settings::kRunValue, true);
    Apply(page);
    ASSERT_EQ(entries(), 1);
    EXPECT_NE(qvtest::ReadFile(std::filesystem::directory_iterator(folder)->path()).find(" /startup\n"),
              std::string::npos);
    std::string run;
    CSystem32::GetRegistryValue(kRun, settings::kRunValue, run, HKEY_CURRENT_USER);
    EXPECT_EQ(run, "\"" + GetModulePath() + "\" /startup");
    m_dlg->RunCommand(cmd::kOptions);
    EXPECT_TRUE(options->RunAtStartBox().GetValue());
    EXPECT_TRUE(m_shown.empty());
}

}  // namespace
