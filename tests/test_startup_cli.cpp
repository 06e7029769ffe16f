// quorvane-cli startup: the list as Quick Boot shows it, and disable / enable by name giving
// the Run keys back byte for byte; exit status 1 for an unknown name, 2 for bad usage.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <nlohmann/json.hpp>

#include <cstdio>

#include "command_run.h"
#include "run_key_values.h"
#include "small_prefix.h"
#include "vendor/core/system32.h"

using namespace qvtest;

namespace {

const std::string kRun = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

class StartupCliTest : public SmallPrefixTest {
protected:
    CommandRun Cli(const std::string& args) {
        return RunCommand("WINEPREFIX='" + root_.string() + "' " + QV_BIN_DIR + "/quorvane-cli " + args + " 2>/dev/null");
    }
    // Read from the files: the command changed them behind this process's store.
    std::string RunKeys() {
        qv::RegistryStore store(root_);
        return RunKeysText(store);
    }
};

TEST_F(StartupCliTest, ListDisableAndEnableByName) {
    HKEY k = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kRun.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr), 0);
    const char expand[] = "%ProgramFiles%\\a.exe";
    RegSetValueExA(k, "Alpha", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(expand), sizeof expand);
    RegCloseKey(k);
    CSystem32::SetRegistryValue(kRun, "Beta", std::string("C:\\b.exe"), HKEY_LOCAL_MACHINE);
    CSystem32::SetRegistryValue(kRun, "Beta", std::string("C:\\user-b.exe"), HKEY_CURRENT_USER);
    const std::string before = RunKeys();

    CommandRun list = Cli("startup --json");
    ASSERT_EQ(list.status, 0);
    nlohmann::json rows = nlohmann::json::parse(list.out);
    ASSERT_EQ(rows.size(), 3u);
    for (const auto& row : rows) {
        EXPECT_TRUE(row["enabled"].get<bool>());
        EXPECT_EQ(row["registry"], kRun);
    }
    EXPECT_EQ(rows[0]["item"], "Beta");  // HKLM's values were read last and stand on top
    EXPECT_EQ(rows[0]["root"], "HKLM");

    EXPECT_EQ(Cli("startup disable Alpha Beta").status, 0);
    rows = nlohmann::json::parse(Cli("startup --json").out);
    ASSERT_EQ(rows.size(), 3u);
    for (const auto& row : rows) EXPECT_FALSE(row["enabled"].get<bool>()) << row.dump();
    EXPECT_NE(RunKeys(), before);

    EXPECT_EQ(Cli("startup enable alpha Beta --root hkcu").status, 0);
    EXPECT_EQ(Cli("startup enable Beta").status, 0);
    EXPECT_EQ(RunKeys(), before);

    EXPECT_EQ(Cli("startup disable Nobody").status, 1);
    EXPECT_EQ(Cli("startup disable").status, 2);
    EXPECT_EQ(Cli("startup disable Alpha --root HKXX").status, 2);
    EXPECT_EQ(RunKeys(), before);
}

}  // namespace
