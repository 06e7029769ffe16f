#include "app/settings.h"
#include "platform/prefix/prefix.h"
#include "vendor/core/system32.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A minimal prefix of its own in a temporary folder, active for one test.
class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("qv-settings-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        qv::EnsureMinimalPrefix(dir_);
        Activate();
    }
    void TearDown() override {
        qv::SetActivePrefix(nullptr);
        fs::remove_all(dir_);
    }
    // Opens the prefix afresh from its files, so reads show what was saved.
    void Activate() {
        qv::SetActivePrefix(nullptr);
        qv::SetActivePrefix(std::make_shared<qv::Prefix>(dir_));
    }

    fs::path dir_;
};

const std::string kOptions = settings::kOptionsKey;

}  // namespace

TEST_F(SettingsStoreTest, IntAndTextValuesRoundTripThroughTheSavedFiles) {
    ASSERT_NE(CSystem32::SetRegistryValue(kOptions, settings::kCheckRestorePoint, 1,
                                          HKEY_LOCAL_MACHINE), 0);
    ASSERT_NE(CSystem32::SetRegistryValue(kOptions, settings::kBFlag, -7, HKEY_LOCAL_MACHINE), 0);
    ASSERT_NE(CSystem32::SetRegistryValue(kOptions, settings::kLastScan,
                                          std::string("Jun,06 2009 7:05 PM"), HKEY_LOCAL_MACHINE), 0);
    Activate();

    int number = 0;
    EXPECT_NE(CSystem32::GetRegistryValue(kOptions, settings::kCheckRestorePoint, number,
                                          HKEY_LOCAL_MACHINE), 0);
    EXPECT_EQ(number, 1);
    EXPECT_NE(CSystem32::GetRegistryValue(kOptions, settings::kBFlag, number, HKEY_LOCAL_MACHINE), 0);
    EXPECT_EQ(number, -7);
    std::string text;
    EXPECT_NE(CSystem32::GetRegistryValue(kOptions, settings::kLastScan, text, HKEY_LOCAL_MACHINE), 0);
    EXPECT_EQ(text, "Jun,06 2009 7:05 PM");

    // Replacing keeps one value; deleting makes it missing again.
    ASSERT_NE(CSystem32::SetRegistryValue(kOptions, settings::kCheckRestorePoint, 0,
                                          HKEY_LOCAL_MACHINE), 0);
    EXPECT_NE(CSystem32::GetRegistryValue(kOptions, settings::kCheckRestorePoint, number,
                                          HKEY_LOCAL_MACHINE), 0);
    EXPECT_EQ(number, 0);
    ASSERT_NE(CSystem32::DeleteRegistryValue(kOptions, settings::kCheckRestorePoint,
                                             HKEY_LOCAL_MACHINE), 0);
    Activate();
    EXPECT_EQ(CSystem32::GetRegistryValue(kOptions, settings::kCheckRestorePoint, number,
                                          HKEY_LOCAL_MACHINE), 0);
}

TEST_F(SettingsStoreTest, MissingValuesAndKeyReadAsMissing) {
    int number = 42;
    std::string text = "unchanged";
    EXPECT_EQ(CSystem32::GetRegistryValue(kOptions, settings::kCheckUpdate, number,
                                          HKEY_LOCAL_MACHINE), 0);
    EXPECT_EQ(CSystem32::GetRegistryValue(kOptions, settings::kLastBackup, text,
                                          HKEY_LOCAL_MACHINE), 0);
}

TEST_F(SettingsStoreTest, DoubledBackslashLandsAsKeyOptionsUnderTheBaseKey) {
    ASSERT_NE(CSystem32::SetRegistryValue(kOptions, settings::kCheckUpdate, 1, HKEY_LOCAL_MACHINE), 0);
    ASSERT_NE(CSystem32::SetRegistryValue(kOptions, settings::kVersion, std::string("3"),
                                          HKEY_LOCAL_MACHINE), 0);
    Activate();

    // The base key holds exactly one subkey, Options, and no values of its own.
    HKEY base = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zembrill\\Quorvane\\1.0", 0,
                            KEY_READ, &base), ERROR_SUCCESS);
    char name[256];
    DWORD size = sizeof name;
    ASSERT_EQ(RegEnumKeyExA(base, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_STREQ(name, "Options");
    size = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(base, 1, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    size = sizeof name;
    EXPECT_EQ(RegEnumValueA(base, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    RegCloseKey(base);

    // Read with a single backslash, the values are there, with the types of their forms.
    HKEY options = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zembrill\\Quorvane\\1.0\\Options", 0,
                            KEY_READ, &options), ERROR_SUCCESS);
    DWORD type = 0;
    BYTE data[64];
    DWORD dataSize = sizeof data;
    ASSERT_EQ(RegQueryValueExA(options, settings::kCheckUpdate, nullptr, &type, data, &dataSize),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(dataSize, 4u);
    dataSize = sizeof data;
    ASSERT_EQ(RegQueryValueExA(options, settings::kVersion, nullptr, &type, data, &dataSize),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    RegCloseKey(options);

    // And the doubled form reads back what the single form sees.
    std::string text;
    EXPECT_NE(CSystem32::GetRegistryValue("SOFTWARE\\Zembrill\\Quorvane\\1.0\\Options",
                                          settings::kVersion, text, HKEY_LOCAL_MACHINE), 0);
    EXPECT_EQ(text, "3");
}
