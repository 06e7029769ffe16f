// Switching startup items off and on through the system configuration utility's store:
// the Run keys come back byte for byte, the store holds the utility's layout, and no item is
// lost on bad input or when the registry cannot be saved.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <tuple>

#include "backup/regedit_export.h"
#include "platform/registry/atomic_file.h"
#include "platform/registry/reg_text.h"
#include "platform/registry/registry_store.h"
#include "platform/win32/registry_raw.h"
#include "quickboot/startup_item_manager.h"
#include "run_key_values.h"
#include "small_prefix.h"
#include "vendor/core/system32.h"

using namespace qvtest;

namespace {

const std::string kRun = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kStore = "SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg";
const std::string kLongName(300, 'L');

std::vector<uint8_t> Utf16(const std::string& s, bool terminate = true) { return Utf16Bytes(s, terminate); }

using RowTexts = std::tuple<std::string, std::string, std::string, std::string, bool>;

class StartupSwitchingTest : public SmallPrefixTest {
protected:
    static void SetRaw(HKEY root, const std::string& key, const std::string& name, DWORD type,
                       const std::vector<uint8_t>& data) {
        SetRawValue(root, key, name, type, data);
    }
    static std::string Export(const std::string& key) { return ExportKeyText(key); }
    static std::string RunKeys() { return RunKeysText(); }
    // A prefix with Run values of every kind that must survive a round trip.
    void FillRunKeys() {
        SetRaw(HKEY_CURRENT_USER, kRun, "Plain", REG_SZ, Utf16("\"C:\\Tools\\plain.exe\" /quiet"));
        SetRaw(HKEY_CURRENT_USER, kRun, "Expand", REG_EXPAND_SZ, Utf16("%ProgramFiles%\\Ex\\ex.exe"));
        SetRaw(HKEY_CURRENT_USER, kRun, "Number", REG_DWORD, {1, 2, 3, 4});
        SetRaw(HKEY_CURRENT_USER, kRun, "Blob", REG_BINARY, {0, 0xff, 0x10});
        SetRaw(HKEY_CURRENT_USER, kRun, "Odd", REG_SZ, {'a', 0, 'b'});  // odd size, no terminator
        SetRaw(HKEY_CURRENT_USER, kRun, "Multi", REG_MULTI_SZ, Utf16(std::string("one\0two\0", 8)));
        SetRaw(HKEY_CURRENT_USER, kRun, "Tools\\Updater", REG_SZ, Utf16("upd.exe"));
        SetRaw(HKEY_CURRENT_USER, kRun, "Tools_Updater", REG_SZ, Utf16("other.exe"));
        SetRaw(HKEY_CURRENT_USER, kRun, kLongName, REG_SZ, Utf16("long.exe"));
        SetRaw(HKEY_CURRENT_USER, kRun, "", REG_SZ, Utf16("default.exe"));
        SetRaw(HKEY_CURRENT_USER, kRun, "Caf\xc3\xa9", REG_SZ, Utf16("C:\\caf\xc3\xa9.exe"));
        SetRaw(HKEY_LOCAL_MACHINE, kRun, "Plain", REG_SZ, Utf16("C:\\Machine\\plain.exe"));
        SetRaw(HKEY_LOCAL_MACHINE, kRun, "Agent", REG_EXPAND_SZ, Utf16("%SystemRoot%\\agent.exe"));
    }
    std::vector<RowTexts> Listed() {
        CStartupItemManager m;
        m.RefreshStartupList();
        std::vector<RowTexts> out;
        for (const StartupRow& r : m.Rows()) out.emplace_back(r.item, r.path, r.root, r.registry, r.checked);
        std::sort(out.begin(), out.end());
        return out;
    }
    // Applies the whole list with every box set to `on`.
    CStartupItemManager ApplyAll(bool on) {
        CStartupItemManager m;
        m.RefreshStartupList();
        for (size_t i = 0; i < m.Rows().size(); ++i) m.SetChecked(i, on);
        EXPECT_EQ(m.ApplyStartupList(), 1);
        EXPECT_TRUE(m.FailedRows().empty());
        return m;
    }
    std::vector<std::string> StoreSubkeys() {
        std::vector<std::string> names;
        HKEY k = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kStore.c_str(), 0, KEY_ALL_ACCESS, &k) != 0) return names;
        char buf[512];
        for (DWORD i = 0;; ++i) {
            DWORD n = sizeof buf;
            if (RegEnumKeyExA(k, i, buf, &n, nullptr, nullptr, nullptr, nullptr) != 0) break;
            names.emplace_back(buf, n);
        }
        RegCloseKey(k);
        return names;
    }
    std::string Text(const std::string& key, const std::string& name, HKEY root = HKEY_LOCAL_MACHINE) {
        std::string v;
        return CSystem32::GetRegistryValue(key, name, v, root) ? v : "<missing>";
    }
    // A fresh load of the files: what is on disk, not what memory holds.
    void Reload() { qv::SetActivePrefix(std::make_shared<qv::Prefix>(root_)); }
};

TEST_F(StartupSwitchingTest, DisablingAndEnablingEveryItemGivesTheRunKeysBackByteForByte) {
    FillRunKeys();
    const std::string before = RunKeys();
    std::vector<RowTexts> listedOn = Listed();
    ASSERT_EQ(listedOn.size(), 13u);

    CStartupItemManager off = ApplyAll(false);
    EXPECT_EQ(off.SwitchedOffCount(), 13);
    Reload();
    // Every value left the Run keys, and every item is listed switched off with its texts.
    HKEY k = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kRun.c_str(), 0, KEY_ALL_ACCESS, &k), 0);
    DWORD values = 99;
    RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(k);
    EXPECT_EQ(values, 0u);
    std::vector<RowTexts> listedOff = Listed();
    ASSERT_EQ(listedOff.size(), listedOn.size());
    for (size_t i = 0; i < listedOn.size(); ++i) {
        RowTexts expected = listedOn[i];
        std::get<4>(expected) = false;
        EXPECT_EQ(listedOff[i], expected);
    }
    // Duplicate, sanitised and shortened names each got a subkey of their own.
    std::vector<std::string> subkeys = StoreSubkeys();
    EXPECT_EQ(subkeys.size(), 13u);
    for (const std::string& s : subkeys) {
        EXPECT_EQ(s.find('\\'), std::string::npos);
        EXPECT_LE(s.size(), 210u);
    }

    // Applying again changes nothing and claims nothing.
    CStartupItemManager again = ApplyAll(false);
    EXPECT_EQ(again.SwitchedOffCount(), 0);

    ApplyAll(true);
    Reload();
    EXPECT_EQ(RunKeys(), before);
    EXPECT_TRUE(StoreSubkeys().empty());
    EXPECT_EQ(Listed(), listedOn);

    // REG_EXPAND_SZ stays REG_EXPAND_SZ.
    DWORD type = 0;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kRun.c_str(), 0, KEY_ALL_ACCESS, &k), 0);
    EXPECT_EQ(RegQueryValueExA(k, "Expand", nullptr, &type, nullptr, nullptr), 0);
    RegCloseKey(k);
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
}

TEST_F(StartupSwitchingTest, RecordHoldsTheUtilityLayoutAndItsOwnItemsSwitchOnAsPlainStrings) {
    SetRaw(HKEY_CURRENT_USER, kRun, "Tool", REG_EXPAND_SZ, Utf16("%WINDIR%\\tool.exe -q"));
    EXPECT_EQ(CSystem32::DisableStartupRegistry(kStore + "\\Tool", kRun, "Tool", "HKCU", "ignored", HKEY_LOCAL_MACHINE),
              CSystem32::kStartupChanged);
    const std::string record = kStore + "\\Tool";
    EXPECT_EQ(Text(record, "item"), "Tool");
    EXPECT_EQ(Text(record, "command"), "%WINDIR%\\tool.exe -q");
    EXPECT_EQ(Text(record, "hkey"), "HKCU");
    EXPECT_EQ(Text(record, "key"), kRun);
    EXPECT_EQ(Text(record, "inimapping"), "0");
    EXPECT_EQ(Text(kRun, "Tool", HKEY_CURRENT_USER), "<missing>");

    // A record the utility wrote itself: the four strings only.
    const std::string own = kStore + "\\Helper";
    CSystem32::SetRegistryValue(own, "item", std::string("Helper"), HKEY_LOCAL_MACHINE);
    CSystem32::SetRegistryValue(own, "command", std::string("C:\\helper.exe"), HKEY_LOCAL_MACHINE);
    CSystem32::SetRegistryValue(own, "hkey", std::string("HKLM"), HKEY_LOCAL_MACHINE);
    CSystem32::SetRegistryValue(own, "key", kRun, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(CSystem32::EnableStartupRegistry(kRun, own, "Helper", "C:\\helper.exe", HKEY_LOCAL_MACHINE),
              CSystem32::kStartupChanged);
    HKEY k = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRun.c_str(), 0, KEY_ALL_ACCESS, &k), 0);
    qv::RawValue v;
    ASSERT_EQ(qv::RegQueryValueRaw(k, "Helper", v), 0);
    RegCloseKey(k);
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(v.data, Utf16("C:\\helper.exe"));
    EXPECT_EQ(Text(own, "item"), "<missing>");

    // A record whose command was edited after switching off gives the edited command.
    CSystem32::SetRegistryValue(record, "command", std::string("C:\\new.exe"), HKEY_LOCAL_MACHINE);
    EXPECT_EQ(CSystem32::EnableStartupRegistry(kRun, record, "Tool", "C:\\new.exe", HKEY_CURRENT_USER),
              CSystem32::kStartupChanged);
    DWORD type = 0;
    EXPECT_EQ(Text(kRun, "Tool", HKEY_CURRENT_USER), "C:\\new.exe");
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kRun.c_str(), 0, KEY_ALL_ACCESS, &k), 0);
    RegQueryValueExA(k, "Tool", nullptr, &type, nullptr, nullptr);
    RegCloseKey(k);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
}

TEST_F(StartupSwitchingTest, AnItemListedTwiceIsNeverLostAndTheLowerRowWins) {
    // On with one command, and switched off earlier with another.
    SetRaw(HKEY_CURRENT_USER, kRun, "Sync", REG_SZ, Utf16("C:\\sync2.exe"));
    const std::string record = kStore + "\\Sync";
    CSystem32::SetRegistryValue(record, "item", std::string("Sync"), HKEY_LOCAL_MACHINE);
    CSystem32::SetRegistryValue(record, "command", std::string("C:\\sync1.exe"), HKEY_LOCAL_MACHINE);
    CSystem32::SetRegistryValue(record, "hkey", std::string("HKCU"), HKEY_LOCAL_MACHINE);
    CSystem32::SetRegistryValue(record, "key", kRun, HKEY_LOCAL_MACHINE);

    CStartupItemManager m;
    m.RefreshStartupList();
    ASSERT_EQ(m.Rows().size(), 2u);
    EXPECT_TRUE(m.Rows()[0].checked);
    EXPECT_EQ(m.Rows()[0].path, "C:\\sync2.exe");
    EXPECT_FALSE(m.Rows()[1].checked);
    EXPECT_EQ(m.Rows()[1].path, "C:\\sync1.exe");

    // Switching the old command on while another is on is refused: nothing is replaced.
    EXPECT_EQ(CSystem32::EnableStartupRegistry(kRun, record, "Sync", "C:\\sync1.exe", HKEY_CURRENT_USER), 0);
    EXPECT_EQ(Text(kRun, "Sync", HKEY_CURRENT_USER), "C:\\sync2.exe");

    // Applied as listed, the lower (switched-off) row wins, and both commands are kept.
    ASSERT_EQ(m.ApplyStartupList(), 1);
    EXPECT_EQ(m.SwitchedOffCount(), 1);
    EXPECT_TRUE(m.FailedRows().empty());
    Reload();
    EXPECT_EQ(Text(kRun, "Sync", HKEY_CURRENT_USER), "<missing>");
    std::vector<std::string> commands;
    for (const std::string& s : StoreSubkeys()) commands.push_back(Text(kStore + "\\" + s, "command"));
    std::sort(commands.begin(), commands.end());
    EXPECT_EQ(commands, (std::vector<std::string>{"C:\\sync1.exe", "C:\\sync2.exe"}));
}

TEST_F(StartupSwitchingTest, AnIncompleteRecordIsListedAndLeftAlone) {
    const std::string record = kStore + "\\Broken";
    CSystem32::SetRegistryValue(record, "item", std::string("Broken"), HKEY_LOCAL_MACHINE);
    CSystem32::SetRegistryValue(record, "command", std::string("C:\\broken.exe"), HKEY_LOCAL_MACHINE);
    CStartupItemManager m;
    m.RefreshStartupList();
    ASSERT_EQ(m.Rows().size(), 1u);
    EXPECT_EQ(m.Rows()[0].registry, "");
    m.SetChecked(0, true);
    ASSERT_EQ(m.ApplyStartupList(), 1);
    EXPECT_EQ(m.FailedRows(), std::vector<size_t>{0});
    EXPECT_EQ(Text(record, "command"), "C:\\broken.exe");
    EXPECT_EQ(Text(kRun, "Broken", HKEY_CURRENT_USER), "<missing>");
    EXPECT_EQ(Text(kRun, "Broken", HKEY_LOCAL_MACHINE), "<missing>");
}

TEST_F(StartupSwitchingTest, AValueIsNeverRemovedWhenItsRecordCannotBeSaved) {
    SetRaw(HKEY_CURRENT_USER, kRun, "User", REG_SZ, Utf16("C:\\user.exe"));
    SetRaw(HKEY_LOCAL_MACHINE, kRun, "Machine", REG_SZ, Utf16("C:\\machine.exe"));
    const std::string before = RunKeys();
    qv::SetWriteFaultHook([](size_t) { return false; });
    EXPECT_EQ(CSystem32::DisableStartupRegistry(kStore + "\\User", kRun, "User", "HKCU", "C:\\user.exe",
                                                HKEY_LOCAL_MACHINE),
              0);
    EXPECT_EQ(CSystem32::DisableStartupRegistry(kStore + "\\Machine", kRun, "Machine", "HKLM", "C:\\machine.exe",
                                                HKEY_LOCAL_MACHINE),
              0);
    qv::SetWriteFaultHook(nullptr);
    EXPECT_EQ(RunKeys(), before);
    Reload();
    EXPECT_EQ(RunKeys(), before);
    EXPECT_TRUE(StoreSubkeys().empty());

    // An unknown root text records nothing and removes nothing.
    EXPECT_EQ(CSystem32::DisableStartupRegistry(kStore + "\\User", kRun, "User", "HKXX", "C:\\user.exe",
                                                HKEY_LOCAL_MACHINE),
              0);
    EXPECT_EQ(RunKeys(), before);
}

}  // namespace
