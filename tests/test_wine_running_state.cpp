// Knowing that Wine runs in the prefix while the window is open: the watch that notices it
// start and stop, and the words and command the window gives the user.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "app/prefix_state.h"
#include "fake_wine_server.h"
#include "platform/prefix/wine_server_watch.h"
#include "platform/prefix/wineserver_guard.h"
#include "platform/registry/registry_store.h"
#include "temp_dir.h"

namespace {

// What a POSIX shell makes of `command` when "wineserver -k" is replaced by a printout of
// WINEPREFIX: the folder the command would really stop Wine for.
std::string PrefixTheShellSees(const std::string& command) {
    const std::string tail = " wineserver -k";
    EXPECT_EQ(command.substr(command.size() - tail.size()), tail);
    const std::string probe = command.substr(0, command.size() - tail.size()) + " printenv WINEPREFIX";
    FILE* pipe = ::popen(probe.c_str(), "r");
    std::string out;
    char buf[256];
    while (pipe != nullptr && std::fgets(buf, sizeof buf, pipe)) out += buf;
    if (pipe != nullptr) ::pclose(pipe);
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

TEST(StopWineCommand, PastedIntoAShellItNamesExactlyThePrefix) {
    for (const std::string folder : {"/home/ann/.wine", "/home/ann/Games/My Prefix (old)",
                                     "/home/ann/it's \"$HOME\" `id`; rm -rf ~", "/home/ann/Äpfel & Birnen",
                                     "/home/ann/*?[x]"}) {
        const std::string command = qv::StopWineCommand(folder);
        EXPECT_EQ(PrefixTheShellSees(command), folder) << command;
    }
    EXPECT_EQ(qv::StopWineCommand("/home/ann/.wine"), "WINEPREFIX=/home/ann/.wine wineserver -k");
}

TEST(PrefixStateText, WineRunningIsExplainedWithTheCommandAndWhatStillWorks) {
    const std::filesystem::path prefix = "/home/ann/Games/My Prefix";
    PrefixState idle;
    EXPECT_EQ(PrefixStateBanner(idle), "");
    EXPECT_EQ(PrefixStateDetails(idle, prefix), "");
    EXPECT_EQ(WritingUnavailableReason(idle, prefix), "");

    PrefixState running = PrefixStateOf(qv::WineServerStatus{true, 4242, "/tmp/x/lock"});
    EXPECT_NE(PrefixStateBanner(running).find("wineserver -k"), std::string::npos);
    const std::string details = PrefixStateDetails(running, prefix);
    EXPECT_NE(details.find(qv::StopWineCommand(prefix)), std::string::npos) << details;
    EXPECT_NE(details.find("4242"), std::string::npos);
    EXPECT_NE(details.find("scans and makes backups"), std::string::npos);
    EXPECT_NE(WritingUnavailableReason(running, prefix).find(qv::StopWineCommand(prefix)), std::string::npos);
    // The refusal of a write names the same safe command.
    EXPECT_NE(qv::WineRunningMessage(prefix, qv::WineServerStatus{true, 0, ""}).find(qv::StopWineCommand(prefix)),
              std::string::npos);
}

// What the home page says at start when the loader could not read a registry file safely:
// which file, by its full path, and what that means.
TEST(PrefixStateText, ADamagedRegistryFileIsNamedWithWhatItMeans) {
    qvtest::TempDir temp;
    const std::filesystem::path prefix = temp.path() / "My Prefix";
    std::filesystem::create_directories(prefix);
    qvtest::WriteFile(prefix / "system.reg",
                      "WINE REGISTRY Version 2\n#arch=win64\n\n[Software\\\\Good] 1700000000\n\"ok\"=dword:00000001\n"
                      "\n[Software\\\\Bad] 1700000000\n\"v\"=hex(zz):00\n");
    qvtest::WriteFile(prefix / "user.reg", "WINE REGISTRY Version 2\n#arch=win64\n");
    qv::RegistryStore store(prefix);
    const PrefixState state = ReadPrefixState(prefix, &store);
    ASSERT_EQ(state.unwritableFiles, std::vector<std::string>{(prefix / "system.reg").string()});
    EXPECT_FALSE(state.wineRunning);

    const std::string notice = PrefixStateNotice(state);
    EXPECT_NE(notice.find("system.reg could not be read safely"), std::string::npos) << notice;
    EXPECT_NE(notice.find("not fixed or restored"), std::string::npos) << notice;
    EXPECT_NE(PrefixStateBanner(state), "");
    const std::string details = PrefixStateDetails(state, prefix);
    // The full path, what it means, and the loader's own line with its line number.
    EXPECT_NE(details.find((prefix / "system.reg").string() + " holds data that cannot be read safely"),
              std::string::npos) << details;
    EXPECT_NE(details.find("saving would lose that data"), std::string::npos) << details;
    EXPECT_NE(details.find((prefix / "system.reg").string() + ":8:"), std::string::npos) << details;
    // The other files can still be written, so the writing actions stay available.
    EXPECT_EQ(WritingUnavailableReason(state, prefix), "");
}

TEST(PrefixStateText, AReadOnlyPrefixIsSaidAndStopsTheWritingActions) {
    qvtest::TempDir temp;
    const std::filesystem::path locked = temp.path() / "locked";
    std::filesystem::create_directories(locked);
    qvtest::WriteFile(locked / "system.reg", "WINE REGISTRY Version 2\n#arch=win64\n");
    ::chmod(locked.c_str(), 0555);
    const PrefixState readOnly = ReadPrefixState(locked);
    ::chmod(locked.c_str(), 0755);
    if (::geteuid() == 0) GTEST_SKIP() << "root may write to any folder";
    EXPECT_TRUE(readOnly.readOnly);
    EXPECT_NE(PrefixStateNotice(readOnly).find("read-only"), std::string::npos);
    EXPECT_NE(WritingUnavailableReason(readOnly, locked).find(locked.string()), std::string::npos);
}

// Reports of a watch, gathered across its thread.
struct Reports {
    std::mutex mutex;
    std::vector<bool> running;
    size_t Count() {
        std::lock_guard lock(mutex);
        return running.size();
    }
    bool WaitFor(size_t count) {
        for (int i = 0; i < 300 && Count() < count; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return Count() >= count;
    }
};

TEST(WineServerWatch, ReportsWineStartingAndStoppingOnceEach) {
    qvtest::TempDir temp;
    const std::filesystem::path prefix = temp.path() / "pfx";
    std::filesystem::create_directories(prefix);
    qvtest::WriteFile(prefix / "system.reg", "WINE REGISTRY Version 2\n");
    Reports reports;
    {
        qv::WineServerWatch watch(prefix, qv::FindWineServer(prefix), std::chrono::milliseconds(10),
                                  [&](const qv::WineServerStatus& s) {
                                      std::lock_guard lock(reports.mutex);
                                      reports.running.push_back(s.running);
                                  });
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        EXPECT_EQ(reports.Count(), 0u) << "no change, no report";
        {
            qvtest::FakeWineServer wine(prefix);
            ASSERT_TRUE(reports.WaitFor(1));
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
            EXPECT_EQ(reports.Count(), 1u) << "a server that keeps running is reported once";
        }
        ASSERT_TRUE(reports.WaitFor(2));
    }
    EXPECT_EQ(reports.running, (std::vector<bool>{true, false}));
}

TEST(WineServerWatch, GoesAtOnceEvenWithALongInterval) {
    qvtest::TempDir temp;
    const auto start = std::chrono::steady_clock::now();
    {
        qv::WineServerWatch watch(temp.path(), {}, std::chrono::hours(1), [](const qv::WineServerStatus&) {});
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
