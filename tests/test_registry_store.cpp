// The registry store of a prefix: exact saves, durability, foreign writers, running Wine.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include <windows.h>

#include "platform/prefix/prefix.h"
#include "fake_wine_server.h"
#include "wine_command.h"
#include "platform/prefix/prefix_lock.h"
#include "platform/prefix/wineserver_guard.h"
#include "platform/registry/atomic_file.h"
#include "platform/registry/reg_text.h"
#include "platform/registry/registry_batch.h"
#include "platform/registry/registry_store.h"
#include "temp_dir.h"
#include "vendor/core/system32.h"

using namespace qvtest;
namespace fs = std::filesystem;

namespace {

class RegistryStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = tmp.path() / "prefix";
        CopyRegistryFiles(Fixtures() / "testprefix-files", dir);
        Open();
    }
    void TearDown() override {
        qv::SetWriteFaultHook(nullptr);
        qv::SetActivePrefix(nullptr);
    }
    void Open() {
        prefix = std::make_shared<qv::Prefix>(dir);
        qv::SetActivePrefix(prefix);
    }
    std::string File(const char* name) const { return ReadFile(dir / name); }

    TempDir tmp;
    fs::path dir;
    std::shared_ptr<qv::Prefix> prefix;
};

// Lines of `a` that are not in `b` (as multisets, in order of `a`).
std::vector<std::string> LinesOnlyIn(const std::string& a, const std::string& b) {
    std::multiset<std::string> other;
    std::istringstream sb(b), sa(a);
    std::string line;
    while (std::getline(sb, line)) other.insert(line);
    std::vector<std::string> out;
    while (std::getline(sa, line)) {
        auto it = other.find(line);
        if (it == other.end()) out.push_back(line);
        else other.erase(it);
    }
    return out;
}

}  // namespace

TEST_F(RegistryStoreTest, SavingUnchangedFilesGivesTheSameBytes) {
    for (const char* f : {"system.reg", "user.reg", "userdef.reg"})
        EXPECT_EQ(prefix->Registry().Serialize(f[0] == 's' ? qv::reg::Branch::Machine
                                                           : f[4] == '.' ? qv::reg::Branch::User
                                                                         : qv::reg::Branch::UserDefault),
                  File(f))
            << f;
}

TEST_F(RegistryStoreTest, ChangingOneValueChangesOnlyItsLinesAndItsKeyTime) {
    const std::string before = File("user.reg");
    const std::string systemBefore = File("system.reg");
    ASSERT_TRUE(CSystem32::SetRegistryValue("Software\\RegFactsTest", "DwordValue", 7, HKEY_CURRENT_USER));
    const std::string after = File("user.reg");
    std::vector<std::string> removed = LinesOnlyIn(before, after), added = LinesOnlyIn(after, before);
    ASSERT_EQ(removed.size(), 3u);
    ASSERT_EQ(added.size(), 3u);
    EXPECT_EQ(removed[0].rfind("[Software\\\\RegFactsTest] ", 0), 0u);
    EXPECT_EQ(added[0].rfind("[Software\\\\RegFactsTest] ", 0), 0u);
    EXPECT_EQ(removed[1].rfind("#time=", 0), 0u);
    EXPECT_EQ(added[2], "\"DwordValue\"=dword:00000007");
    EXPECT_EQ(File("system.reg"), systemBefore);  // other branches untouched

    int v = 0;
    Open();  // what is on disk reads back
    EXPECT_TRUE(CSystem32::GetRegistryValue("Software\\RegFactsTest", "DwordValue", v, HKEY_CURRENT_USER));
    EXPECT_EQ(v, 7);
}

TEST_F(RegistryStoreTest, AFailedSaveLeavesTheFileAndMemoryAsTheyWere) {
    const std::string before = File("user.reg");
    for (size_t failAt : {size_t(0), size_t(1000)}) {
        qv::SetWriteFaultHook([failAt](size_t written) { return written < failAt; });
        EXPECT_FALSE(CSystem32::SetRegistryValue("Software\\Quorvane Test", "x", "y", HKEY_CURRENT_USER));
        qv::SetWriteFaultHook(nullptr);
        EXPECT_EQ(File("user.reg"), before);
        std::string v;
        EXPECT_FALSE(CSystem32::GetRegistryValue("Software\\Quorvane Test", "x", v, HKEY_CURRENT_USER));
        EXPECT_NE(prefix->Registry().LastError().find("could not be saved"), std::string::npos);
    }
    for (const auto& e : fs::directory_iterator(dir)) {
        if (e.path().filename() == qv::kPrefixLockFileName) continue;  // kept for the next writer
        EXPECT_EQ(e.path().extension(), ".reg") << e.path();
    }
}

TEST_F(RegistryStoreTest, AWriterKilledAtAnyMomentLeavesTheOldOrTheNewFile) {
    // Build a second version of user.reg, then let child processes write it and kill them
    // at random moments: the file must always be one of the two versions.
    const std::string oldText = File("user.reg");
    std::string newText = oldText;
    {
        qv::RegistryBatch batch;
        for (int i = 0; i < 20000; ++i)
            CSystem32::SetRegistryValue("Software\\Big\\K" + std::to_string(i % 500), "v" + std::to_string(i),
                                        std::string(40, 'x'), HKEY_CURRENT_USER);
        batch.Commit();
        newText = File("user.reg");
    }
    ASSERT_GT(newText.size(), oldText.size() * 2);
    std::mt19937 rng(42);
    int sawOld = 0, sawNew = 0;
    for (int round = 0; round < 25; ++round) {
        WriteFile(dir / "user.reg", oldText);
        pid_t child = fork();
        if (child == 0) {
            try {
                qv::WriteFileAtomically(dir / "user.reg", newText);
            } catch (...) {
            }
            _exit(0);
        }
        usleep(rng() % 20000);
        kill(child, SIGKILL);
        int status;
        waitpid(child, &status, 0);
        std::string now = File("user.reg");
        ASSERT_TRUE(now == oldText || now == newText) << "round " << round;
        (now == oldText ? sawOld : sawNew)++;
    }
    EXPECT_GT(sawOld + sawNew, 0);
}

TEST_F(RegistryStoreTest, ChangesOfAnotherWriterAreKeptAndOursReappliedOnTop) {
    // Another program (Wine, a second Quorvane) saves user.reg after we loaded it.
    auto other = std::make_unique<qv::RegistryStore>(dir);
    {
        auto lock = other->WriteLock();
        long err = 0;
        qv::reg::Key* k = other->Create(qv::RegRoot::CurrentUser, u"Software\\Other", nullptr, &err);
        ASSERT_NE(k, nullptr);
        other->SetValue(k, u"theirs", 4, {1, 0, 0, 0});
        ASSERT_EQ(other->Commit(), 0);
    }
    ASSERT_TRUE(CSystem32::SetRegistryValue("Software\\Mine", "ours", 2, HKEY_CURRENT_USER));
    Open();
    int v = 0;
    EXPECT_TRUE(CSystem32::GetRegistryValue("Software\\Other", "theirs", v, HKEY_CURRENT_USER));
    EXPECT_EQ(v, 1);
    EXPECT_TRUE(CSystem32::GetRegistryValue("Software\\Mine", "ours", v, HKEY_CURRENT_USER));
    EXPECT_EQ(v, 2);
}

TEST_F(RegistryStoreTest, WritesAreRefusedWhileAWineServerHoldsItsLock) {
    FakeWineServer wine(dir);
    pid_t child = wine.Pid();
    const std::string before = File("user.reg");
    EXPECT_TRUE(qv::FindWineServer(dir).running);
    EXPECT_FALSE(CSystem32::SetRegistryValue("Software\\X", "y", 1, HKEY_CURRENT_USER));
    EXPECT_EQ(File("user.reg"), before);
    std::string msg = prefix->Registry().LastError();
    EXPECT_NE(msg.find("wineserver -k"), std::string::npos) << msg;
    EXPECT_NE(msg.find(std::to_string(child)), std::string::npos) << msg;

    wine.Stop();
    EXPECT_FALSE(qv::FindWineServer(dir).running);
    EXPECT_TRUE(CSystem32::SetRegistryValue("Software\\X", "y", 1, HKEY_CURRENT_USER));
}

TEST_F(RegistryStoreTest, FilesWithUnreadablePartsAreNeverRewritten) {
    std::string damaged = File("user.reg") + "\n[Broken\n\"orphan\"=\"value\"\n";
    WriteFile(dir / "user.reg", damaged);
    Open();
    std::string v;
    EXPECT_TRUE(CSystem32::GetRegistryValue("Software\\RegFactsTest", "StringValue", v, HKEY_CURRENT_USER) ||
                true);  // reading still works
    EXPECT_FALSE(CSystem32::SetRegistryValue("Software\\X", "y", "z", HKEY_CURRENT_USER));
    EXPECT_EQ(File("user.reg"), damaged);
    EXPECT_NE(prefix->Registry().LastError().find("user.reg"), std::string::npos);
    // The machine branch is intact and stays writable.
    EXPECT_TRUE(CSystem32::SetRegistryValue("Software\\X", "y", "z", HKEY_LOCAL_MACHINE));

    WriteFile(dir / "user.reg", "\xEF\xBB\xBFWINE REGISTRY Version 2\n");
    Open();
    EXPECT_FALSE(CSystem32::SetRegistryValue("Software\\X", "y", "z", HKEY_CURRENT_USER));
    EXPECT_EQ(File("user.reg"), "\xEF\xBB\xBFWINE REGISTRY Version 2\n");
}

TEST_F(RegistryStoreTest, ABatchOverAFileThatMayNotBeWrittenSavesNoFileAtAll) {
    // user.reg is damaged; a batch changes system.reg (saved first) and user.reg.
    std::string damaged = File("user.reg") + "\n[Broken\n";
    WriteFile(dir / "user.reg", damaged);
    Open();
    const std::string system = File("system.reg");
    {
        qv::RegistryBatch batch;
        EXPECT_TRUE(CSystem32::SetRegistryValue("Software\\BothFiles", "m", "1", HKEY_LOCAL_MACHINE));
        EXPECT_TRUE(CSystem32::SetRegistryValue("Software\\BothFiles", "u", "1", HKEY_CURRENT_USER));
        EXPECT_NE(batch.Commit(), 0);
    }
    EXPECT_EQ(File("system.reg"), system);
    EXPECT_EQ(File("user.reg"), damaged);
    std::string v;
    EXPECT_FALSE(CSystem32::GetRegistryValue("Software\\BothFiles", "m", v, HKEY_LOCAL_MACHINE));
    EXPECT_NE(prefix->Registry().LastError().find("user.reg"), std::string::npos);
}

TEST_F(RegistryStoreTest, ReadOnlyOrMissingPrefixGivesClearErrors) {
    EXPECT_THROW(qv::Prefix(tmp.path() / "nowhere"), std::runtime_error);
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    if (access(dir.c_str(), W_OK) == 0) GTEST_SKIP() << "running with rights that ignore permissions";
    const std::string before = File("user.reg");
    EXPECT_FALSE(CSystem32::SetRegistryValue("Software\\X", "y", "z", HKEY_CURRENT_USER));
    EXPECT_EQ(File("user.reg"), before);
    EXPECT_NE(prefix->Registry().LastError().find(dir.string()), std::string::npos);
}

TEST_F(RegistryStoreTest, ABatchSavesOnceAtItsEnd) {
    struct stat st1 {}, st2 {};
    stat((dir / "user.reg").c_str(), &st1);
    {
        qv::RegistryBatch batch;
        for (int i = 0; i < 50; ++i)
            CSystem32::SetRegistryValue("Software\\Batch", "v" + std::to_string(i), i, HKEY_CURRENT_USER);
        stat((dir / "user.reg").c_str(), &st2);
        EXPECT_EQ(st1.st_ino, st2.st_ino);  // nothing written yet
        EXPECT_EQ(batch.Commit(), 0);
    }
    stat((dir / "user.reg").c_str(), &st2);
    EXPECT_NE(st1.st_ino, st2.st_ino);
    Open();
    int v = 0;
    EXPECT_TRUE(CSystem32::GetRegistryValue("Software\\Batch", "v49", v, HKEY_CURRENT_USER));
    EXPECT_EQ(v, 49);
}

TEST(RegistryStoreFreshPrefix, TheWholeFreshPrefixRoundTrips) {
    TempDir tmp;
    fs::path root = UnpackFreshPrefix(tmp.path());
    ASSERT_FALSE(root.empty());
    qv::RegistryStore store(root);
    EXPECT_TRUE(store.LoadMessages().empty());
    EXPECT_EQ(store.Serialize(qv::reg::Branch::Machine), ReadFile(root / "system.reg"));
    EXPECT_EQ(store.Serialize(qv::reg::Branch::User), ReadFile(root / "user.reg"));
    EXPECT_EQ(store.Serialize(qv::reg::Branch::UserDefault), ReadFile(root / "userdef.reg"));
}

TEST(RegistryStoreWine, WineReadsBackWhatWeSaved) {
    if (!qvtest::WineInstalled()) GTEST_SKIP() << "Wine is not installed";
    TempDir tmp;
    fs::path root = UnpackFreshPrefix(tmp.path());
    ASSERT_FALSE(root.empty());
    qv::SetActivePrefix(std::make_shared<qv::Prefix>(root));
    ASSERT_TRUE(CSystem32::SetRegistryValue("Software\\QuorvaneReadBack", "Text", "caf\xc3\xa9 \"x\"", HKEY_CURRENT_USER));
    ASSERT_TRUE(CSystem32::SetRegistryValue("Software\\QuorvaneReadBack", "Number", 42, HKEY_CURRENT_USER));
    qv::SetActivePrefix(nullptr);
    qvtest::RunWine64(root, tmp.path() / "home", "reg query 'HKCU\\Software\\QuorvaneReadBack'",
                      (tmp.path() / "out.txt").string());
    std::string out = ReadFile(tmp.path() / "out.txt");
    EXPECT_NE(out.find("Number    REG_DWORD    0x2a"), std::string::npos) << out;
    EXPECT_NE(out.find("Text    REG_SZ"), std::string::npos) << out;
}
