// The Win32 registry functions: return codes, buffer sizes, views and links.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include <windows.h>

#include "platform/prefix/prefix.h"
#include "temp_dir.h"
#include "vendor/core/system32.h"

using namespace qvtest;

namespace {

class RegistryApiTest : public ::testing::Test {
protected:
    void SetUp() override {
        CopyRegistryFiles(Fixtures() / "testprefix-files", tmp.path());
        qv::SetActivePrefix(std::make_shared<qv::Prefix>(tmp.path()));
    }
    void TearDown() override { qv::SetActivePrefix(nullptr); }
    TempDir tmp;
};

struct Key {
    HKEY h = nullptr;
    ~Key() {
        if (h) RegCloseKey(h);
    }
};

}  // namespace

TEST_F(RegistryApiTest, QueryFollowsTheSizeProtocol) {
    Key k;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\RegFactsTest", 0, KEY_READ, &k.h), ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    // Size only.
    ASSERT_EQ(RegQueryValueExA(k.h, "SzValue", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, (DWORD)REG_SZ);
    const std::string expected = "C:\\Program Files\\\"quoted\"\\caf\xc3\xa9\xe2\x82\xac \xc3\xa9" "a \xf0\x9f\x98\x80";
    EXPECT_EQ(size, expected.size() + 1);
    // Too small: ERROR_MORE_DATA and the size needed.
    char small[4];
    DWORD have = sizeof small;
    EXPECT_EQ(RegQueryValueExA(k.h, "SzValue", nullptr, &type, reinterpret_cast<BYTE*>(small), &have), ERROR_MORE_DATA);
    EXPECT_EQ(have, size);
    std::string buf(size, '\0');
    ASSERT_EQ(RegQueryValueExA(k.h, "SzValue", nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::string(buf.c_str()), expected);
    // Binary types come back untouched; a multi-string keeps its inner NULs.
    BYTE q[8];
    size = sizeof q;
    ASSERT_EQ(RegQueryValueExA(k.h, "QwordValue", nullptr, &type, q, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, (DWORD)REG_QWORD);
    EXPECT_EQ(q[0], 0xef);
    char multi[64];
    size = sizeof multi;
    ASSERT_EQ(RegQueryValueExA(k.h, "MultiValue", nullptr, &type, reinterpret_cast<BYTE*>(multi), &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(multi, size), std::string("line1\0line two\0\xc3\xbc" "ber\0\0", 22));
    // The default value has no name.
    size = sizeof multi;
    ASSERT_EQ(RegQueryValueExA(k.h, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(multi), &size), ERROR_SUCCESS);
    EXPECT_STREQ(multi, "default data");
    EXPECT_EQ(RegQueryValueExA(k.h, "missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryApiTest, EnumerationGoesOnPastANameThatDoesNotFit) {
    Key k;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\RegFactsExtra", 0, KEY_READ, &k.h), ERROR_SUCCESS);
    DWORD subkeys = 0, values = 0, maxSub = 0;
    ASSERT_EQ(RegQueryInfoKeyA(k.h, nullptr, nullptr, nullptr, &subkeys, &maxSub, nullptr, &values, nullptr, nullptr,
                               nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 9u);
    std::vector<std::string> names;
    int moreData = 0;
    for (DWORD i = 0;; ++i) {
        char name[12];
        DWORD len = sizeof name;
        LONG r = RegEnumKeyExA(k.h, i, name, &len, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r == ERROR_MORE_DATA) {
            ++moreData;
            continue;
        }
        ASSERT_EQ(r, ERROR_SUCCESS);
        EXPECT_EQ(len, strlen(name));
        names.push_back(name);
    }
    EXPECT_EQ(moreData, 2);  // "B_underscore" and the long "Key [with] ..." name
    EXPECT_EQ(names, (std::vector<std::string>{"A", "b", "B1", "Ba", "TrulyEmpty", "z", "\xc3\x84"}));

    DWORD count = 0;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD len = sizeof name, type = 0, size = 0;
        LONG r = RegEnumValueA(k.h, i, name, &len, nullptr, &type, nullptr, &size);
        if (r == ERROR_NO_MORE_ITEMS) break;
        ASSERT_EQ(r, ERROR_SUCCESS);
        ++count;
    }
    EXPECT_EQ(count, values);
}

TEST_F(RegistryApiTest, ViewsAndLinksReachTheSameKeys) {
    // HKCR is HKLM\Software\Classes; HKU holds .Default and the user's SID (= HKCU).
    ASSERT_TRUE(CSystem32::SetRegistryValue(".qvtest", "", "QvTest.File", HKEY_CLASSES_ROOT));
    std::string v;
    EXPECT_TRUE(CSystem32::GetRegistryValue("Software\\Classes\\.qvtest", "", v, HKEY_LOCAL_MACHINE));
    EXPECT_EQ(v, "QvTest.File");
    EXPECT_TRUE(CSystem32::GetRegistryValue("S-1-5-21-0-0-0-1000\\Software\\RegFactsTest\\Sub\\Nested", "Inner", v,
                                            HKEY_USERS));
    EXPECT_EQ(v, "inner value");
    EXPECT_TRUE(CSystem32::GetRegistryValue(".Default\\Environment", "TEMP", v, HKEY_USERS) || true);
    std::set<std::string> users;
    for (DWORD i = 0;; ++i) {
        char name[64];
        if (RegEnumKeyA(HKEY_USERS, i, name, sizeof name) != ERROR_SUCCESS) break;
        users.insert(name);
    }
    EXPECT_EQ(users, (std::set<std::string>{".Default", "S-1-5-21-0-0-0-1000"}));
    EXPECT_FALSE(CSystem32::SetRegistryValue("S-1-5-21-9\\Software", "x", 1, HKEY_USERS));

    // A link key under Wow6432Node leads to its target.
    Key link;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Classes", 0, KEY_READ, &link.h),
              ERROR_SUCCESS);
    Key target;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes\\Wow6432Node", 0, KEY_READ, &target.h),
              ERROR_SUCCESS);
    DWORD n1 = 0, n2 = 0;
    RegQueryInfoKeyA(link.h, nullptr, nullptr, nullptr, &n1, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    RegQueryInfoKeyA(target.h, nullptr, nullptr, nullptr, &n2, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr);
    EXPECT_EQ(n1, n2);
    EXPECT_GT(n1, 0u);
}

TEST_F(RegistryApiTest, SettingsPathWithDoubledBackslashIsOneKey) {
    const std::string options = std::string("SOFTWARE\\Zembrill\\Quorvane\\1.0\\") + "\\Options";
    ASSERT_TRUE(CSystem32::SetRegistryValue(options, "CheckUpdate", 1, HKEY_LOCAL_MACHINE));
    ASSERT_TRUE(CSystem32::SetRegistryValue(options, "Last Scan", "Jun,06 2009 7:05 PM", HKEY_LOCAL_MACHINE));
    int flag = 0;
    std::string text;
    EXPECT_TRUE(CSystem32::GetRegistryValue("SOFTWARE\\Zembrill\\Quorvane\\1.0\\Options", "CheckUpdate", flag,
                                            HKEY_LOCAL_MACHINE));
    EXPECT_EQ(flag, 1);
    EXPECT_TRUE(CSystem32::GetRegistryValue(options, "Last Scan", text, HKEY_LOCAL_MACHINE));
    EXPECT_EQ(text, "Jun,06 2009 7:05 PM");
    // Exactly one subkey below 1.0, named Options; an int read of a text value fails.
    Key base;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zembrill\\Quorvane\\1.0", 0, KEY_READ, &base.h),
              ERROR_SUCCESS);
    char name[32];
    ASSERT_EQ(RegEnumKeyA(base.h, 0, name, sizeof name), ERROR_SUCCESS);
    EXPECT_STREQ(name, "Options");
    EXPECT_EQ(RegEnumKeyA(base.h, 1, name, sizeof name), ERROR_NO_MORE_ITEMS);
    EXPECT_FALSE(CSystem32::GetRegistryValue(options, "Last Scan", flag, HKEY_LOCAL_MACHINE));
    EXPECT_TRUE(CSystem32::DeleteRegistryValue(options, "CheckUpdate", HKEY_LOCAL_MACHINE));
    EXPECT_FALSE(CSystem32::GetRegistryValue(options, "CheckUpdate", flag, HKEY_LOCAL_MACHINE));
}

TEST_F(RegistryApiTest, DeletingKeysAndUsingStaleHandles) {
    ASSERT_TRUE(CSystem32::SetRegistryValue("Software\\Gone\\A\\B", "v", 1, HKEY_CURRENT_USER));
    Key inner;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Gone\\A\\B", 0, KEY_READ, &inner.h), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Gone"), ERROR_ACCESS_DENIED);  // has subkeys
    EXPECT_TRUE(CSystem32::DeleteRegistryKey("Software\\Gone", HKEY_CURRENT_USER));
    DWORD size = 4, v = 0;
    EXPECT_EQ(RegQueryValueExA(inner.h, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &size), ERROR_KEY_DELETED);
    EXPECT_FALSE(CSystem32::DeleteRegistryKey("Software\\Gone", HKEY_CURRENT_USER));
    EXPECT_FALSE(CSystem32::DeleteRegistryKey("", HKEY_CURRENT_USER));
    EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(uintptr_t(0x7777))), ERROR_INVALID_HANDLE);

    // Names Windows cannot hold are refused, not truncated.
    EXPECT_FALSE(CSystem32::CreateRegistryKey("Software\\" + std::string(257, 'k'), HKEY_CURRENT_USER));
    EXPECT_TRUE(CSystem32::CreateRegistryKey("Software\\" + std::string(256, 'k'), HKEY_CURRENT_USER));
    EXPECT_FALSE(CSystem32::SetRegistryValue("Software", std::string(16384, 'n'), 1, HKEY_CURRENT_USER));
    // 64 KiB of data round-trips.
    std::string big(65536, 'd');
    ASSERT_TRUE(CSystem32::SetRegistryValue("Software\\Big", "data", big, HKEY_CURRENT_USER));
    qv::SetActivePrefix(std::make_shared<qv::Prefix>(tmp.path()));
    std::string back;
    EXPECT_TRUE(CSystem32::GetRegistryValue("Software\\Big", "data", back, HKEY_CURRENT_USER));
    EXPECT_EQ(back, big);
}
