// Saving a change that spans several registry files: all or nothing, across crashes, and
// with several Quorvane processes at once; and files that are no registry file at all.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <random>
#include <thread>

#include <windows.h>

#include "platform/prefix/prefix_lock.h"
#include "platform/registry/atomic_file.h"
#include "platform/registry/file_set_commit.h"
#include "platform/registry/hive_file_reader.h"
#include "platform/registry/registry_store.h"
#include "temp_dir.h"

using namespace qvtest;
namespace fs = std::filesystem;
using qv::RegRoot;

namespace {

// Sets a DWORD value in memory (no save).
void SetDword(qv::RegistryStore& store, RegRoot root, std::u16string_view path, std::u16string_view name,
              uint32_t v) {
    long err = 0;
    qv::reg::Key* k = store.Create(root, path, nullptr, &err);
    ASSERT_NE(k, nullptr) << err;
    ASSERT_EQ(store.SetValue(k, name, REG_DWORD,
                             {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}),
              0);
}

std::optional<uint32_t> GetDword(const qv::RegistryStore& store, RegRoot root, std::u16string_view path,
                                 std::u16string_view name) {
    auto lock = store.ReadLock();
    const qv::reg::Key* k = store.Find(root, path);
    const qv::reg::Value* v = k ? k->FindValue(name) : nullptr;
    if (!v || v->data.size() != 4) return std::nullopt;
    return uint32_t(v->data[0] | (v->data[1] << 8) | (v->data[2] << 16) | (uint32_t(v->data[3]) << 24));
}

// Changes HKLM and HKCU in one save; returns its result.
long ChangeBoth(qv::RegistryStore& store, std::u16string_view name, uint32_t v) {
    auto lock = store.WriteLock();
    store.BeginBatch();
    SetDword(store, RegRoot::LocalMachine, u"Software\\QvCommit", name, v);
    SetDword(store, RegRoot::CurrentUser, u"Software\\QvCommit", name, v);
    return store.EndBatch();
}

// Another program (a store of its own) changes both files and saves, while the caller's
// store may hold unsaved changes.
void AnotherProgramChangesBoth(const fs::path& dir, std::u16string_view name, uint32_t v) {
    qv::RegistryStore theirs(dir);
    ASSERT_EQ(ChangeBoth(theirs, name, v), 0) << theirs.LastError();
}

bool Contains(const std::vector<std::string>& list, const std::string& part) {
    for (const std::string& s : list)
        if (s.find(part) != std::string::npos) return true;
    return false;
}

class RegistryCommitTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = tmp.path() / "prefix";
        CopyRegistryFiles(Fixtures() / "testprefix-files", dir);
        systemBefore = ReadFile(dir / "system.reg");
        userBefore = ReadFile(dir / "user.reg");
        qv::SetPrefixLockWaitNotice(nullptr);
    }
    void TearDown() override {
        qv::SetFileWriteFaultHook(nullptr);
        qv::SetRenameFaultHook(nullptr);
        qv::SetAfterRenameHook(nullptr);
        qv::SetPrefixLockWait(std::chrono::seconds(30));
        qv::SetPrefixLockWaitNotice(nullptr);
        qv::SetHiveSizeCeiling(uint64_t(4) << 30);
    }
    // Files in the prefix besides the registry files and the lock file.
    std::vector<std::string> Strays() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir)) {
            std::string n = e.path().filename().string();
            if (n != "system.reg" && n != "user.reg" && n != "userdef.reg" && n != qv::kPrefixLockFileName)
                out.push_back(n);
        }
        return out;
    }
    void ExpectUnchanged() const {
        EXPECT_TRUE(ReadFile(dir / "system.reg") == systemBefore) << "system.reg changed";
        EXPECT_TRUE(ReadFile(dir / "user.reg") == userBefore) << "user.reg changed";
    }

    TempDir tmp;
    fs::path dir;
    std::string systemBefore, userBefore;
};

// A Wine server folder for the prefix, laid out as Wine makes it, whose lock nobody holds
// (Wine ran once and stopped). Removed at the end.
class IdleWineServerFolder {
public:
    explicit IdleWineServerFolder(const fs::path& prefix) {
        struct stat st {};
        stat(prefix.c_str(), &st);
        tag_ = "wine-qvtest" + std::to_string(getpid());
        WriteFile(prefix / "wineserver", tag_);
        char name[64];
        snprintf(name, sizeof name, "server-%llx-%llx", (unsigned long long)st.st_dev, (unsigned long long)st.st_ino);
        fs::create_directories(fs::path("/tmp") / tag_ / name);
        WriteFile(fs::path("/tmp") / tag_ / name / "lock", "");
    }
    ~IdleWineServerFolder() { fs::remove_all(fs::path("/tmp") / tag_); }

private:
    std::string tag_;
};

// Forks a process that runs `f` and ends with its result as exit status.
pid_t Spawn(const std::function<int()>& f) {
    pid_t pid = fork();
    if (pid == 0) _exit(f());
    return pid;
}

int Wait(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST_F(RegistryCommitTest, AFileThatCannotBeWrittenLeavesEveryFileAsItWas) {
    // A disk with room for one file only: the other one fails, whichever it is.
    for (const char* failing : {"user.reg", "system.reg"}) {
        qv::RegistryStore store(dir);
        qv::SetFileWriteFaultHook([failing](const fs::path& target, size_t written) {
            return target.filename() != failing || written < 1000;
        });
        EXPECT_EQ(ChangeBoth(store, u"v", 1), ERROR_CANTWRITE);
        qv::SetFileWriteFaultHook(nullptr);
        ExpectUnchanged();
        EXPECT_TRUE(Strays().empty()) << Strays().front();
        std::string msg = store.LastError();
        EXPECT_EQ(msg.rfind(std::string(failing) + " could not be saved: ", 0), 0u) << msg;
        EXPECT_NE(msg.find("Nothing was changed: system.reg and user.reg are as they were."), std::string::npos)
            << msg;
        // Memory went back to the files.
        EXPECT_FALSE(GetDword(store, RegRoot::LocalMachine, u"Software\\QvCommit", u"v"));
        EXPECT_FALSE(GetDword(store, RegRoot::CurrentUser, u"Software\\QvCommit", u"v"));
    }
}

TEST_F(RegistryCommitTest, ARenameThatFailsAfterAnotherFileWasReplacedPutsThatOneBack) {
    struct stat before {};
    ASSERT_EQ(stat((dir / "system.reg").c_str(), &before), 0);
    qv::RegistryStore store(dir);
    // user.reg is renamed second; its rename fails as over an immutable file.
    qv::SetRenameFaultHook([](const fs::path& target) { return target.filename() == "user.reg" ? EPERM : 0; });
    EXPECT_EQ(ChangeBoth(store, u"v", 1), ERROR_CANTWRITE);
    qv::SetRenameFaultHook(nullptr);
    ExpectUnchanged();
    struct stat after {};
    ASSERT_EQ(stat((dir / "system.reg").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);  // the very file that was there is back
    EXPECT_TRUE(Strays().empty()) << Strays().front();
    std::string msg = store.LastError();
    EXPECT_NE(msg.find("user.reg could not be saved"), std::string::npos) << msg;
    EXPECT_NE(msg.find("Nothing was changed: system.reg and user.reg are as they were."), std::string::npos) << msg;

    // The next save works.
    EXPECT_EQ(ChangeBoth(store, u"v", 2), 0);
    qv::RegistryStore reread(dir);
    EXPECT_EQ(GetDword(reread, RegRoot::LocalMachine, u"Software\\QvCommit", u"v"), 2u);
    EXPECT_EQ(GetDword(reread, RegRoot::CurrentUser, u"Software\\QvCommit", u"v"), 2u);
}

TEST_F(RegistryCommitTest, TargetsThatCannotBeReplacedStopTheChangeBeforeAnyRename) {
    fs::path set = tmp.path() / "set";
    fs::create_directories(set / "b.txt");  // a folder where a file should be
    WriteFile(set / "a.txt", "old a");
    try {
        qv::CommitFileSet(set, {{set / "a.txt", "new a"}, {set / "b.txt", "new b"}});
        ADD_FAILURE() << "no error";
    } catch (const qv::FileSetCommitError& e) {
        EXPECT_EQ(e.file, set / "b.txt");
        EXPECT_NE(std::string(e.what()).find("a folder"), std::string::npos) << e.what();
        EXPECT_TRUE(e.changed.empty());
    }
    EXPECT_EQ(ReadFile(set / "a.txt"), "old a");
    EXPECT_EQ(std::distance(fs::directory_iterator(set), fs::directory_iterator()), 2);

    // A really immutable file, where the file system and our rights allow making one.
    WriteFile(set / "c.txt", "old c");
    if (std::system(("chattr +i '" + (set / "c.txt").string() + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "cannot make an immutable file here";
    EXPECT_THROW(qv::CommitFileSet(set, {{set / "a.txt", "new a"}, {set / "c.txt", "new c"}}),
                 qv::FileSetCommitError);
    (void)std::system(("chattr -i '" + (set / "c.txt").string() + "'").c_str());
    EXPECT_EQ(ReadFile(set / "a.txt"), "old a");
    EXPECT_EQ(ReadFile(set / "c.txt"), "old c");
    EXPECT_EQ(std::distance(fs::directory_iterator(set), fs::directory_iterator()), 3);
}

// Leaves a change of HKLM and HKCU (value "v" = 3) with system.reg renamed and user.reg not.
static void InterruptAfterTheFirstRename(const fs::path& dir) {
    pid_t child = Spawn([&] {
        qv::RegistryStore store(dir);
        qv::SetAfterRenameHook([](size_t renamed) {
            if (renamed == 1) _exit(7);
        });
        ChangeBoth(store, u"v", 3);
        return 1;
    });
    ASSERT_EQ(Wait(child), 7);
    ASSERT_TRUE(fs::exists(dir / qv::kCommitRecordName));
}

TEST_F(RegistryCommitTest, AChangeInterruptedBetweenRenamesIsCompletedByTheNextLoad) {
    InterruptAfterTheFirstRename(dir);
    // Half done on disk: system.reg is new, user.reg old, and the record says what is left.
    EXPECT_NE(ReadFile(dir / "system.reg"), systemBefore);
    EXPECT_EQ(ReadFile(dir / "user.reg"), userBefore);
    EXPECT_TRUE(fs::exists(dir / qv::kCommitRecordName));

    qv::RegistryStore store(dir);
    EXPECT_EQ(GetDword(store, RegRoot::LocalMachine, u"Software\\QvCommit", u"v"), 3u);
    EXPECT_EQ(GetDword(store, RegRoot::CurrentUser, u"Software\\QvCommit", u"v"), 3u);
    EXPECT_TRUE(Strays().empty()) << Strays().front();
    EXPECT_TRUE(Contains(store.LoadMessages(), "interrupted has been completed")) << store.LoadMessages().front();
    EXPECT_TRUE(store.UnreadableHives().empty());
}

TEST_F(RegistryCommitTest, AnInterruptedChangeNeverOverwritesAFileAnotherProgramSavedSince) {
    const std::string wines =
        userBefore + "\n[Software\\\\FromWine] 1dd86ca425578ce\n#time=1dd86ca425578ce\n\"w\"=dword:00000001\n";
    // Wine saves by rename, or in place when the file has a second name (as our kept one).
    for (bool inPlace : {false, true}) {
        SCOPED_TRACE(inPlace ? "written in place" : "replaced");
        WriteFile(dir / "system.reg", systemBefore);
        WriteFile(dir / "user.reg", userBefore);
        InterruptAfterTheFirstRename(dir);
        if (inPlace) {
            WriteFile(dir / "user.reg", wines);
        } else {
            WriteFile(dir / "wine.tmp", wines);
            fs::rename(dir / "wine.tmp", dir / "user.reg");
        }
        qv::RegistryStore store(dir);
        EXPECT_EQ(ReadFile(dir / "user.reg"), wines);
        EXPECT_EQ(GetDword(store, RegRoot::CurrentUser, u"Software\\FromWine", u"w"), 1u);
        EXPECT_TRUE(Contains(store.LoadMessages(), "another program changed that file since"));
        EXPECT_TRUE(Strays().empty()) << Strays().front();
    }
}

TEST_F(RegistryCommitTest, AnInterruptedChangeIsCompletedByTheNextWriterBeforeItsOwn) {
    IdleWineServerFolder wine(dir);
    qv::RegistryStore mine(dir);  // loaded before the other process began
    InterruptAfterTheFirstRename(dir);
    {
        auto lock = mine.WriteLock();
        SetDword(mine, RegRoot::CurrentUser, u"Software\\QvCommit", u"mine", 4);
        ASSERT_EQ(mine.Commit(), 0) << mine.LastError();
    }
    EXPECT_FALSE(fs::exists(dir / qv::kCommitRecordName));
    qv::RegistryStore reread(dir);
    EXPECT_EQ(GetDword(reread, RegRoot::LocalMachine, u"Software\\QvCommit", u"v"), 3u);
    EXPECT_EQ(GetDword(reread, RegRoot::CurrentUser, u"Software\\QvCommit", u"v"), 3u);
    EXPECT_EQ(GetDword(reread, RegRoot::CurrentUser, u"Software\\QvCommit", u"mine"), 4u);
}

TEST_F(RegistryCommitTest, ARecordNamingFilesOutsideThePrefixTouchesNothing) {
    InterruptAfterTheFirstRename(dir);
    // Point the record at files elsewhere, which carry temporaries of the expected names.
    fs::path elsewhere = tmp.path() / "elsewhere";
    fs::create_directories(elsewhere);
    std::string record = ReadFile(dir / qv::kCommitRecordName);
    for (size_t p; (p = record.find(dir.string())) != std::string::npos;)
        record.replace(p, dir.string().size(), elsewhere.string());
    WriteFile(dir / qv::kCommitRecordName, record);
    for (const auto& e : fs::directory_iterator(dir)) {
        std::string n = e.path().filename().string();
        if (n.find(".quorvane-") != std::string::npos && n != qv::kPrefixLockFileName)
            fs::copy_file(e.path(), elsewhere / n);
    }
    WriteFile(elsewhere / "user.reg", "precious");
    WriteFile(elsewhere / "system.reg", "precious");

    qv::RegistryStore store(dir);
    EXPECT_EQ(ReadFile(elsewhere / "user.reg"), "precious");
    EXPECT_EQ(ReadFile(elsewhere / "system.reg"), "precious");
    EXPECT_TRUE(Contains(store.LoadMessages(), "not a registry file of this prefix"));
    EXPECT_FALSE(fs::exists(dir / qv::kCommitRecordName));
}

TEST_F(RegistryCommitTest, AChangeKilledAtAnyMomentIsWholeAfterTheNextLoad) {
    // How long one load-change-save takes, to spread the kills over it.
    auto t0 = std::chrono::steady_clock::now();
    {
        qv::RegistryStore store(dir);
        ChangeBoth(store, u"probe", 1);
    }
    const auto total = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0);
    std::mt19937 rng(7);
    int sawOld = 0, sawNew = 0;
    for (int round = 0; round < 20; ++round) {
        WriteFile(dir / "system.reg", systemBefore);
        WriteFile(dir / "user.reg", userBefore);
        pid_t child = Spawn([&] {
            qv::RegistryStore store(dir);
            return ChangeBoth(store, u"v", 100 + round) == 0 ? 0 : 1;
        });
        usleep(static_cast<useconds_t>(rng() % (2 * total.count() + 1)));
        kill(child, SIGKILL);
        Wait(child);
        qv::RegistryStore store(dir);
        auto m = GetDword(store, RegRoot::LocalMachine, u"Software\\QvCommit", u"v");
        auto u = GetDword(store, RegRoot::CurrentUser, u"Software\\QvCommit", u"v");
        ASSERT_EQ(m.has_value(), u.has_value()) << "round " << round << ": one file changed without the other";
        if (m) {
            EXPECT_EQ(*m, uint32_t(100 + round));
        }
        (m ? sawNew : sawOld)++;
        EXPECT_TRUE(Strays().empty()) << "round " << round << ": " << Strays().front();
    }
    RecordProperty("old", sawOld);
    RecordProperty("new", sawNew);
}

TEST_F(RegistryCommitTest, LeftoversOfProcessesThatAreGoneAreRemovedAtTheNextLoad) {
    pid_t gone = Spawn([] { return 0; });
    Wait(gone);
    pid_t running = Spawn([] {
        pause();
        return 0;
    });
    auto name = [](const char* target, pid_t pid, const char* suffix = "tmp") {
        return qv::TemporaryFileName(target, pid, 4, suffix);
    };
    fs::path outside = tmp.path() / "outside.txt";
    WriteFile(outside, "outside");
    for (const std::string& n : {name("system.reg", gone), name("user.reg", gone, "old"),
                                 name(qv::kCommitRecordName, gone), name("system.reg", running),
                                 name("notes.txt", gone)})
        WriteFile(dir / n, std::string(1000, 'x'));
    fs::create_symlink(outside, dir / name("userdef.reg", gone));

    qv::RegistryStore store(dir);
    EXPECT_FALSE(fs::exists(dir / name("system.reg", gone)));
    EXPECT_FALSE(fs::exists(dir / name("user.reg", gone, "old")));
    EXPECT_FALSE(fs::exists(dir / name(qv::kCommitRecordName, gone)));
    EXPECT_TRUE(fs::exists(dir / name("system.reg", running)));  // may still be writing it
    EXPECT_TRUE(fs::exists(dir / name("notes.txt", gone)));       // not a registry file's
    EXPECT_TRUE(fs::is_symlink(dir / name("userdef.reg", gone))); // never through a link
    EXPECT_EQ(ReadFile(outside), "outside");
    kill(running, SIGKILL);
    Wait(running);
}

TEST_F(RegistryCommitTest, FilesThatAreNoRegularFilesAreRejectedQuickly) {
    struct Case {
        const char* kind;
        std::function<void(const fs::path&)> make;
        const char* says;
    };
    const Case cases[] = {
        {"link to /dev/zero", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); }, "a character device"},
        {"FIFO", [](const fs::path& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }, "a FIFO"},
        {"folder", [](const fs::path& p) { fs::create_directory(p); }, "a folder"},
        {"empty file", [](const fs::path& p) { WriteFile(p, ""); }, "empty (0 bytes)"},
        {"huge file", [this](const fs::path& p) { WriteFile(p, systemBefore); qv::SetHiveSizeCeiling(100000); },
         "larger than any registry file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        fs::remove(dir / "system.reg");
        c.make(dir / "system.reg");
        struct rusage ru0 {}, ru1 {};
        getrusage(RUSAGE_SELF, &ru0);
        auto t0 = std::chrono::steady_clock::now();
        qv::RegistryStore store(dir);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        getrusage(RUSAGE_SELF, &ru1);
        EXPECT_LT(seconds, 3.0);
        EXPECT_LT(ru1.ru_maxrss - ru0.ru_maxrss, 100 * 1024);  // KiB

        std::vector<std::string> unreadable = store.UnreadableHives();
        ASSERT_EQ(unreadable.size(), 1u);
        // Named by its full path: the user learns which prefix's file it is.
        EXPECT_EQ(unreadable[0].rfind((dir / "system.reg").string(), 0), 0u) << unreadable[0];
        EXPECT_NE(unreadable[0].find(c.says), std::string::npos) << unreadable[0];
        EXPECT_TRUE(Contains(store.LoadMessages(), c.says));

        // Never written: a change to its branch is refused with the reason; the file stays.
        struct stat before {}, after {};
        lstat((dir / "system.reg").c_str(), &before);
        {
            auto lock = store.WriteLock();
            SetDword(store, RegRoot::LocalMachine, u"Software\\QvCommit", u"v", 1);
            EXPECT_EQ(store.Commit(), ERROR_ACCESS_DENIED);
        }
        EXPECT_NE(store.LastError().find(c.says), std::string::npos) << store.LastError();
        lstat((dir / "system.reg").c_str(), &after);
        EXPECT_EQ(before.st_ino, after.st_ino);
        EXPECT_EQ(before.st_mode, after.st_mode);
        // The other branches are fine.
        {
            auto lock = store.WriteLock();
            SetDword(store, RegRoot::CurrentUser, u"Software\\QvCommit", u"v", 1);
            EXPECT_EQ(store.Commit(), 0) << store.LastError();
        }
        qv::SetHiveSizeCeiling(uint64_t(4) << 30);
        fs::remove(dir / "system.reg");
        WriteFile(dir / "system.reg", systemBefore);
    }
    // A missing file is an empty branch, not an unreadable one.
    fs::remove(dir / "userdef.reg");
    EXPECT_TRUE(qv::RegistryStore(dir).UnreadableHives().empty());
}

TEST_F(RegistryCommitTest, ASecondWriterWaitsForTheFirstAndGivesUpAfterItsTimeLimit) {
    std::vector<std::string> notices;
    qv::SetPrefixLockWaitNotice([&](const std::string& m) { notices.push_back(m); });
    qv::RegistryStore store(dir);

    // Another process holds the lock for a moment: the save waits, then succeeds.
    std::atomic<bool> held{false};
    std::thread other([&] {
        qv::PrefixLock lock(dir);
        held = lock.Acquired();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    });
    while (!held) std::this_thread::yield();
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(ChangeBoth(store, u"v", 1), 0) << store.LastError();
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(200));
    other.join();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0], "Waiting for another Quorvane process that is saving this prefix...");

    // It holds the lock too long: nothing is written.
    qv::SetPrefixLockWait(std::chrono::milliseconds(200));
    const std::string sys = ReadFile(dir / "system.reg"), user = ReadFile(dir / "user.reg");
    qv::PrefixLock holder(dir);
    ASSERT_TRUE(holder.Acquired());
    EXPECT_EQ(ChangeBoth(store, u"v", 2), ERROR_LOCK_VIOLATION);
    EXPECT_EQ(ReadFile(dir / "system.reg"), sys);
    EXPECT_EQ(ReadFile(dir / "user.reg"), user);
    std::string msg = store.LastError();
    EXPECT_NE(msg.find("Another Quorvane process"), std::string::npos) << msg;
    EXPECT_NE(msg.find("Nothing was changed"), std::string::npos) << msg;
    EXPECT_EQ(GetDword(store, RegRoot::LocalMachine, u"Software\\QvCommit", u"v"), 1u);

    struct stat st {};
    ASSERT_EQ(stat((dir / qv::kPrefixLockFileName).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(RegistryCommitTest, ALinkPlantedAsTheLockFileIsNotFollowed) {
    qv::RegistryStore store(dir);
    fs::path target = tmp.path() / "victim";
    fs::remove(dir / qv::kPrefixLockFileName);  // made by the load
    fs::create_symlink(target, dir / qv::kPrefixLockFileName);
    EXPECT_NE(ChangeBoth(store, u"v", 1), 0);
    EXPECT_FALSE(fs::exists(target));
    ExpectUnchanged();
    EXPECT_NE(store.LastError().find(qv::kPrefixLockFileName), std::string::npos) << store.LastError();
}

TEST_F(RegistryCommitTest, AWriterWhoseFilesBothChangedKeepsTheirChangesAndAddsItsOwn) {
    qv::RegistryStore mine(dir);
    ASSERT_NO_FATAL_FAILURE(AnotherProgramChangesBoth(dir, u"theirs", 1));
    const uint64_t generation = mine.Generation();
    {
        auto lock = mine.WriteLock();
        mine.BeginBatch();
        SetDword(mine, RegRoot::LocalMachine, u"Software\\QvCommit", u"mine", 2);
        SetDword(mine, RegRoot::CurrentUser, u"Software\\QvCommit", u"mine", 2);
        ASSERT_EQ(mine.EndBatch(), 0) << mine.LastError();
    }
    EXPECT_NE(mine.Generation(), generation);  // keys must be looked up again
    qv::RegistryStore reread(dir);
    for (qv::RegistryStore* s : {&mine, &reread}) {
        for (RegRoot root : {RegRoot::LocalMachine, RegRoot::CurrentUser}) {
            EXPECT_EQ(GetDword(*s, root, u"Software\\QvCommit", u"theirs"), 1u);
            EXPECT_EQ(GetDword(*s, root, u"Software\\QvCommit", u"mine"), 2u);
        }
    }
}

TEST_F(RegistryCommitTest, TwoProcessesSavingAtOnceLoseNoChange) {
    // A Wine server folder whose lock nobody holds: the two writers must not mistake each
    // other's hold on it for a running Wine.
    IdleWineServerFolder wine(dir);
    std::mt19937 rng(11);
    for (int trial = 0; trial < 20; ++trial) {
        WriteFile(dir / "system.reg", systemBefore);
        WriteFile(dir / "user.reg", userBefore);
        pid_t writers[2];
        for (int w = 0; w < 2; ++w) {
            unsigned delay = rng() % 40000;
            writers[w] = Spawn([&, w, delay] {
                qv::RegistryStore store(dir);
                usleep(delay);
                std::u16string value = w == 0 ? u"first" : u"second";
                return ChangeBoth(store, value, 1000 + trial) == 0 ? 0 : 1;
            });
        }
        EXPECT_EQ(Wait(writers[0]), 0) << "trial " << trial;
        EXPECT_EQ(Wait(writers[1]), 0) << "trial " << trial;
        qv::RegistryStore store(dir);
        for (RegRoot root : {RegRoot::LocalMachine, RegRoot::CurrentUser})
            for (const char16_t* value : {u"first", u"second"})
                ASSERT_EQ(GetDword(store, root, u"Software\\QvCommit", value), uint32_t(1000 + trial))
                    << "trial " << trial << ": a change was lost";
    }
}

// The journal of unsaved changes points into the tree it was recorded on; when another
// program's save makes the store read the file again, the changes are replayed from it,
// including those on a key that was deleted and made again meanwhile.
TEST_F(RegistryCommitTest, ChangesOnAKeyDeletedAndMadeAgainAreReplayedOnAnotherProgramsSave) {
    qv::RegistryStore mine(dir);
    {
        auto lock = mine.WriteLock();
        mine.BeginBatch();
        SetDword(mine, RegRoot::CurrentUser, u"Software\\QvReplay\\Gone", u"first", 1);
        SetDword(mine, RegRoot::CurrentUser, u"Software\\QvReplay\\Kept", u"kept", 2);
        qv::reg::Key* parent = mine.Find(RegRoot::CurrentUser, u"Software\\QvReplay");
        ASSERT_NE(parent, nullptr);
        ASSERT_EQ(mine.DeleteSubkey(parent, u"Gone", true), 0);
        SetDword(mine, RegRoot::CurrentUser, u"Software\\QvReplay\\Gone", u"second", 3);
        qv::reg::Key* kept = mine.Find(RegRoot::CurrentUser, u"Software\\QvReplay\\Kept");
        ASSERT_EQ(mine.DeleteValue(kept, u"kept"), 0);
        SetDword(mine, RegRoot::CurrentUser, u"Software\\QvReplay\\Kept", u"later", 4);
        // Another program saves meanwhile.
        ASSERT_NO_FATAL_FAILURE(AnotherProgramChangesBoth(dir, u"theirs", 5));
        ASSERT_EQ(mine.EndBatch(), 0) << mine.LastError();
    }
    qv::RegistryStore reread(dir);
    EXPECT_EQ(GetDword(reread, RegRoot::CurrentUser, u"Software\\QvCommit", u"theirs"), 5u);
    EXPECT_EQ(GetDword(reread, RegRoot::CurrentUser, u"Software\\QvReplay\\Gone", u"first"), std::nullopt);
    EXPECT_EQ(GetDword(reread, RegRoot::CurrentUser, u"Software\\QvReplay\\Gone", u"second"), 3u);
    EXPECT_EQ(GetDword(reread, RegRoot::CurrentUser, u"Software\\QvReplay\\Kept", u"kept"), std::nullopt);
    EXPECT_EQ(GetDword(reread, RegRoot::CurrentUser, u"Software\\QvReplay\\Kept", u"later"), 4u);
}

// Changes of a key made since the last save, replayed over another program's save that made
// the same key: their values that we never touched stay, ours win, a value we deleted at the
// end is gone, and one we deleted and set again is ours.
TEST_F(RegistryCommitTest, AKeyMadeSinceTheLastSaveIsReplayedWithTheValuesItEndsWith) {
    qv::RegistryStore mine(dir);
    {
        auto lock = mine.WriteLock();
        mine.BeginBatch();
        SetDword(mine, RegRoot::CurrentUser, u"Software\\QvNew\\Key", u"a", 1);
        SetDword(mine, RegRoot::CurrentUser, u"Software\\QvNew\\Key", u"b", 2);
        SetDword(mine, RegRoot::CurrentUser, u"Software\\QvNew\\Key", u"gone", 3);
        qv::reg::Key* k = mine.Find(RegRoot::CurrentUser, u"Software\\QvNew\\Key");
        ASSERT_NE(k, nullptr);
        ASSERT_EQ(mine.DeleteValue(k, u"gone"), 0);
        ASSERT_EQ(mine.DeleteValue(k, u"a"), 0);
        SetDword(mine, RegRoot::CurrentUser, u"Software\\QvNew\\Key", u"a", 4);
        {
            // Another program makes the same key meanwhile, with values of the same names.
            qv::RegistryStore theirs(dir);
            auto theirLock = theirs.WriteLock();
            theirs.BeginBatch();
            for (const char16_t* name : {u"a", u"gone", u"theirs"})
                SetDword(theirs, RegRoot::CurrentUser, u"Software\\QvNew\\Key", name, 9);
            ASSERT_EQ(theirs.EndBatch(), 0) << theirs.LastError();
        }
        ASSERT_EQ(mine.EndBatch(), 0) << mine.LastError();
    }
    qv::RegistryStore reread(dir);
    for (qv::RegistryStore* s : {&mine, &reread}) {
        EXPECT_EQ(GetDword(*s, RegRoot::CurrentUser, u"Software\\QvNew\\Key", u"a"), 4u);
        EXPECT_EQ(GetDword(*s, RegRoot::CurrentUser, u"Software\\QvNew\\Key", u"b"), 2u);
        EXPECT_EQ(GetDword(*s, RegRoot::CurrentUser, u"Software\\QvNew\\Key", u"gone"), std::nullopt);
        EXPECT_EQ(GetDword(*s, RegRoot::CurrentUser, u"Software\\QvNew\\Key", u"theirs"), 9u);
    }

    // Once saved, a new key is like any other: a later change of it is journaled by itself
    // and survives another program's save.
    {
        auto lock = mine.WriteLock();
        mine.BeginBatch();
        SetDword(mine, RegRoot::CurrentUser, u"Software\\QvNew\\Quiet", u"first", 1);
        ASSERT_EQ(mine.EndBatch(), 0) << mine.LastError();
        mine.BeginBatch();
        SetDword(mine, RegRoot::CurrentUser, u"Software\\QvNew\\Quiet", u"later", 5);
        ASSERT_NO_FATAL_FAILURE(AnotherProgramChangesBoth(dir, u"theirs", 6));
        ASSERT_EQ(mine.EndBatch(), 0) << mine.LastError();
    }
    qv::RegistryStore again(dir);
    EXPECT_EQ(GetDword(again, RegRoot::CurrentUser, u"Software\\QvNew\\Quiet", u"first"), 1u);
    EXPECT_EQ(GetDword(again, RegRoot::CurrentUser, u"Software\\QvNew\\Quiet", u"later"), 5u);
    EXPECT_EQ(GetDword(again, RegRoot::CurrentUser, u"Software\\QvNew\\Key", u"a"), 4u);
    EXPECT_EQ(GetDword(again, RegRoot::CurrentUser, u"Software\\QvCommit", u"theirs"), 6u);
}

namespace {

// A change of a few keys and values, for random sequences of them.
struct RandomChange {
    enum Kind { Set, DeleteValue, DeleteKey } kind;
    std::u16string path;  // below HKCU\Software\QvRandom
    std::u16string name;  // value name, or the subkey to delete
    uint32_t data = 0;
};

RandomChange MakeRandomChange(std::mt19937& rng, uint32_t& counter) {
    static const char16_t* const kPaths[] = {u"A", u"A\\X", u"A\\Y", u"B", u"B\\X", u"C\\D\\E"};
    static const char16_t* const kValues[] = {u"v0", u"V0", u"v1", u"v2", u""};
    static const char16_t* const kSubkeys[] = {u"X", u"Y", u"D"};
    const uint32_t pick = rng() % 10;
    RandomChange c{pick < 6 ? RandomChange::Set : pick < 9 ? RandomChange::DeleteValue : RandomChange::DeleteKey,
                   kPaths[rng() % std::size(kPaths)], {}, ++counter};
    c.name = c.kind == RandomChange::DeleteKey ? kSubkeys[rng() % std::size(kSubkeys)] : kValues[rng() % std::size(kValues)];
    return c;
}

// Makes the change; true when the store took it (a missing value or key is not deleted).
bool ApplyRandomChange(qv::RegistryStore& store, const RandomChange& c) {
    const std::u16string path = u"Software\\QvRandom\\" + c.path;
    long err = 0;
    if (c.kind == RandomChange::Set) {
        qv::reg::Key* k = store.Create(RegRoot::CurrentUser, path, nullptr, &err);
        const uint32_t v = c.data;
        return k && store.SetValue(k, c.name, REG_DWORD, {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}) == 0;
    }
    qv::reg::Key* k = store.Find(RegRoot::CurrentUser, path);
    if (!k) return false;
    return (c.kind == RandomChange::DeleteValue ? store.DeleteValue(k, c.name) : store.DeleteSubkey(k, c.name, true)) == 0;
}

// Every key and value below HKCU\Software\QvRandom, one line each.
std::vector<std::u16string> DumpRandomBranch(const qv::RegistryStore& store) {
    std::vector<std::u16string> out;
    auto lock = store.ReadLock();
    const qv::reg::Key* top = store.Find(RegRoot::CurrentUser, u"Software\\QvRandom");
    if (!top) return out;
    std::vector<const qv::reg::Key*> pending{top};
    while (!pending.empty()) {
        const qv::reg::Key* k = pending.back();
        pending.pop_back();
        const std::u16string path = k->PathFrom(top);
        out.push_back(u"[" + path + u"]");
        for (const qv::reg::Value& v : k->Values()) {
            std::u16string line = path + u" " + std::u16string(v.name) + u"=";
            for (uint8_t b : v.data) line += char16_t(u'a' + (b & 15)), line += char16_t(u'a' + (b >> 4));
            out.push_back(line);
        }
        for (const qv::reg::Key* c : k->Subkeys()) pending.push_back(c);
    }
    return out;
}

}  // namespace

// Whatever our unsaved changes are, saving them over another program's save gives what making
// them one by one on top of that program's result would.
TEST_F(RegistryCommitTest, RandomChangesSavedOverAnotherProgramsSaveEqualMakingThemOnItsResult) {
    const fs::path expectedDir = tmp.path() / "expected";
    std::mt19937 rng(2026);
    uint32_t counter = 0;
    for (int trial = 0; trial < 25; ++trial) {
        WriteFile(dir / "system.reg", systemBefore);
        WriteFile(dir / "user.reg", userBefore);
        auto changeAndSave = [&](qv::RegistryStore& store, int count) {
            auto lock = store.WriteLock();
            store.BeginBatch();
            for (int i = 0; i < count; ++i) ApplyRandomChange(store, MakeRandomChange(rng, counter));
            ASSERT_EQ(store.EndBatch(), 0) << store.LastError();
        };
        {
            qv::RegistryStore seed(dir);
            changeAndSave(seed, 20);
        }
        qv::RegistryStore mine(dir);
        {
            qv::RegistryStore theirs(dir);
            changeAndSave(theirs, 30);
        }
        fs::remove_all(expectedDir);
        CopyRegistryFiles(dir, expectedDir);
        std::vector<RandomChange> taken;
        {
            auto lock = mine.WriteLock();
            mine.BeginBatch();
            for (int i = 0; i < 40; ++i) {
                RandomChange c = MakeRandomChange(rng, counter);
                if (ApplyRandomChange(mine, c)) taken.push_back(c);
            }
            ASSERT_EQ(mine.EndBatch(), 0) << mine.LastError();
        }
        qv::RegistryStore expected(expectedDir);
        {
            auto lock = expected.WriteLock();
            for (const RandomChange& c : taken) ApplyRandomChange(expected, c);
        }
        qv::RegistryStore reread(dir);
        ASSERT_EQ(DumpRandomBranch(reread), DumpRandomBranch(expected)) << "trial " << trial;
        ASSERT_EQ(DumpRandomBranch(mine), DumpRandomBranch(expected)) << "trial " << trial;
    }
}
