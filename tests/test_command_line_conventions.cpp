// The programs as a Linux user runs them: --version without a display, --prefix beside
// WINEPREFIX, quorvane-regedit's file names relative to the working folder, and rollback
// asking before it replaces the whole registry.
#include <gtest/gtest.h>

#include <algorithm>

#include "command_run.h"
#include "platform/registry/reg_text.h"
#include "platform/registry/registry_store.h"
#include "temp_dir.h"

using namespace qvtest;
namespace fs = std::filesystem;

namespace {

// Runs one of the programs in `folder` with no WINEPREFIX and no display; standard error is
// kept with standard output.
CommandRun RunProgram(const fs::path& folder, const std::string& args) {
    return RunCommand("cd '" + folder.string() + "' && env -u WINEPREFIX -u DISPLAY -u WAYLAND_DISPLAY HOME='" +
                      folder.string() + "' " + QV_BIN_DIR + "/" + args + " 2>&1 < /dev/null");
}

std::string Value(const fs::path& prefix, const std::string& key, const std::string& name) {
    qv::RegistryStore store(prefix);
    auto lock = store.ReadLock();
    const qv::reg::Key* k = store.Find(qv::RegRoot::CurrentUser, qv::reg::ToUtf16(key));
    if (!k) return "missing key";
    const qv::reg::Value* v = k->FindValue(qv::reg::ToUtf16(name));
    if (!v) return "missing value";
    std::u16string text;
    for (size_t i = 0; i + 1 < v->data.size(); i += 2) {
        char16_t c = static_cast<char16_t>(v->data[i] | (v->data[i + 1] << 8));
        if (c == 0) break;
        text += c;
    }
    return qv::reg::ToUtf8(text);
}

}  // namespace

TEST(CommandLineConventions, EveryProgramAnswersVersionWithOneLineWithoutADisplay) {
    TempDir tmp;
    for (const std::string program : {"quorvane", "quorvane-cli", "quorvane-regedit"}) {
        if (program == "quorvane" && !fs::exists(fs::path(QV_BIN_DIR) / program)) continue;  // built without the window
        CommandRun r = RunProgram(tmp.path(), program + " --version");
        EXPECT_EQ(r.status, 0) << program << ": " << r.out;
        EXPECT_EQ(r.out.rfind(program + " 1.0 (build ", 0), 0u) << r.out;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
    }
}

TEST(CommandLineConventions, PrefixOptionChoosesThePrefixBesideWinePrefix) {
    TempDir tmp;
    fs::path prefix = UnpackFreshPrefix(tmp.path());
    ASSERT_FALSE(prefix.empty());
    // A relative --prefix is taken from the working folder; it wins over WINEPREFIX.
    CommandRun status = RunCommand("cd '" + tmp.path().string() + "' && WINEPREFIX=/nonexistent HOME='" +
                                   tmp.path().string() + "' " + QV_BIN_DIR + "/quorvane-cli status --prefix '" +
                                   prefix.filename().string() + "' 2>&1");
    EXPECT_EQ(status.status, 0) << status.out;
    EXPECT_NE(status.out.find(prefix.string()), std::string::npos) << status.out;

    fs::path reg = tmp.path() / "one.reg";
    WriteFile(reg, "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\QuorvanePrefixOption]\r\n\"Via\"=\"prefix\"\r\n");
    CommandRun import = RunProgram(tmp.path(), "quorvane-regedit --prefix='" + prefix.string() + "' /s one.reg");
    EXPECT_EQ(import.status, 0) << import.out;
    EXPECT_EQ(Value(prefix, "Software\\QuorvanePrefixOption", "Via"), "prefix");

    CommandRun missing = RunProgram(tmp.path(), "quorvane-cli --prefix");
    EXPECT_EQ(missing.status, 2) << missing.out;
    CommandRun nowhere = RunProgram(tmp.path(), "quorvane-cli --prefix '" + (tmp.path() / "nothing").string() + "' scan");
    EXPECT_EQ(nowhere.status, 1) << nowhere.out;
}

TEST(CommandLineConventions, RegeditFileNamesAreLinuxPathsFromTheWorkingFolder) {
    TempDir tmp;
    fs::path prefix = UnpackFreshPrefix(tmp.path());
    ASSERT_FALSE(prefix.empty());
    fs::path work = tmp.path() / "work";
    fs::create_directories(work / "sub");
    const std::string at = "--prefix '" + prefix.string() + "' ";

    // Export to a relative name: the file is in the working folder, not in C:\windows\system32.
    CommandRun out = RunProgram(work, "quorvane-regedit " + at + "/e sub/mouse.reg 'HKEY_CURRENT_USER\\Control Panel\\Mouse'");
    EXPECT_EQ(out.status, 0) << out.out;
    EXPECT_TRUE(fs::exists(work / "sub/mouse.reg"));
    EXPECT_FALSE(fs::exists(prefix / "drive_c/windows/system32/sub/mouse.reg"));

    // Import of a relative name, and of a Windows path with a drive letter.
    WriteFile(work / "in.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\QuorvaneRelative]\r\n\"A\"=\"1\"\r\n");
    EXPECT_EQ(RunProgram(work, "quorvane-regedit " + at + "/s in.reg").status, 0);
    EXPECT_EQ(Value(prefix, "Software\\QuorvaneRelative", "A"), "1");
    WriteFile(prefix / "drive_c/in.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\QuorvaneRelative]\r\n\"B\"=\"2\"\r\n");
    EXPECT_EQ(RunProgram(work, "quorvane-regedit " + at + "'C:\\in.reg'").status, 0);
    EXPECT_EQ(Value(prefix, "Software\\QuorvaneRelative", "B"), "2");
    CommandRun absent = RunProgram(work, "quorvane-regedit " + at + "/s absent.reg");
    EXPECT_EQ(absent.status, 1);
    EXPECT_NE(absent.out.find((work / "absent.reg").string()), std::string::npos) << absent.out;
}

TEST(CommandLineConventions, RollbackAsksBeforeItReplacesTheRegistry) {
    TempDir tmp;
    fs::path prefix = UnpackFreshPrefix(tmp.path());
    ASSERT_FALSE(prefix.empty());
    const std::string at = "--prefix '" + prefix.string() + "' ";
    CommandRun point = RunProgram(tmp.path(), "quorvane-cli " + at + "restore-point before");
    ASSERT_EQ(point.status, 0) << point.out;
    ASSERT_NE(point.out.find("1\n"), std::string::npos) << point.out;  // the first restore point
    WriteFile(tmp.path() / "later.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\QuorvaneLater]\r\n\"X\"=\"y\"\r\n");
    ASSERT_EQ(RunProgram(tmp.path(), "quorvane-regedit " + at + "/s later.reg").status, 0);
    const std::string userReg = ReadFile(prefix / "user.reg");

    // No terminal and no --yes: declined, nothing changed.
    CommandRun declined = RunProgram(tmp.path(), "quorvane-cli " + at + "rollback 1");
    EXPECT_EQ(declined.status, 1) << declined.out;
    EXPECT_NE(declined.out.find("Replace the whole registry"), std::string::npos) << declined.out;
    EXPECT_EQ(ReadFile(prefix / "user.reg"), userReg);
    EXPECT_EQ(RunProgram(tmp.path(), "quorvane-cli " + at + "rollback 99 --yes").status, 1);  // no such point

    CommandRun done = RunProgram(tmp.path(), "quorvane-cli " + at + "rollback 1 --yes");
    EXPECT_EQ(done.status, 0) << done.out;
    EXPECT_EQ(Value(prefix, "Software\\QuorvaneLater", "X"), "missing key");
}
