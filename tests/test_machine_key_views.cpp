// Which keys of a real 64-bit prefix (the installer fixture) a machine-key scanner walks, and
// how it reads their paths: a 32-bit key of its own is a second view read as a 32-bit
// program sees the disk; a 32-bit key that Wine links to the 64-bit one leaves that one key,
// shared by both kinds of program, read as either kind would.
#include <gtest/gtest.h>

#include <memory>

#include "platform/prefix/prefix.h"
#include "scan/machine_key_views.h"
#include "temp_dir.h"

using namespace qvtest;
using qv::FileSystemView;

namespace {

// The tests only read the prefix: it is unpacked and loaded once.
class MachineKeyViewsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        temp_ = new TempDir();
        std::filesystem::path root = UnpackInstallerPrefix(temp_->path());
        if (!root.empty()) prefix_ = new std::shared_ptr<qv::Prefix>(std::make_shared<qv::Prefix>(root));
    }
    static void TearDownTestSuite() {
        delete prefix_;
        prefix_ = nullptr;
        delete temp_;
        temp_ = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(prefix_, nullptr);
        qv::SetActivePrefix(*prefix_);
    }
    void TearDown() override { qv::SetActivePrefix(nullptr); }

    static TempDir* temp_;
    static std::shared_ptr<qv::Prefix>* prefix_;
};

TempDir* MachineKeyViewsTest::temp_ = nullptr;
std::shared_ptr<qv::Prefix>* MachineKeyViewsTest::prefix_ = nullptr;

void ExpectView(const MachineKeyView& view, const std::string& path, FileSystemView files, bool bits32) {
    EXPECT_EQ(view.path, path);
    EXPECT_EQ(view.files, files) << path;
    EXPECT_EQ(view.bits32, bits32) << path;
}

}  // namespace

TEST_F(MachineKeyViewsTest, AKeyOfItsOwnIsASecondViewReadAsA32BitProgramSeesTheDisk) {
    for (const char* leaf : {"Run", "Uninstall", "SharedDLLs"}) {
        const std::string path = std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\") + leaf;
        std::vector<MachineKeyView> views = MachineKeyViews(path);
        ASSERT_EQ(views.size(), 2u) << leaf;
        ExpectView(views[0], path, FileSystemView::Bits64, false);
        ExpectView(views[1], std::string("SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\") + leaf,
                   FileSystemView::Bits32, true);
    }
    std::vector<MachineKeyView> classes = ClassKeyViews(true, "SOFTWARE\\Classes\\CLSID");
    ASSERT_EQ(classes.size(), 2u);
    ExpectView(classes[1], "SOFTWARE\\Classes\\Wow6432Node\\CLSID", FileSystemView::Bits32, true);
}

TEST_F(MachineKeyViewsTest, AKeyBothKindsOfProgramShareIsOneViewReadAsEitherWouldSeeTheDisk) {
    // Wine links these 32-bit keys to the 64-bit ones: a 32-bit installer's
    // C:\windows\system32\tool.exe in App Paths is in syswow64 and still works.
    for (const char* path : {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths",
                             "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts", "SOFTWARE\\Classes\\TypeLib"}) {
        std::vector<MachineKeyView> views = MachineKeyViews(path);
        ASSERT_EQ(views.size(), 1u) << path;
        ExpectView(views[0], path, FileSystemView::Unknown, false);
    }
    // A key that does not exist in either view gives none.
    EXPECT_TRUE(MachineKeyViews("SOFTWARE\\Hexledger\\Never Written").empty());
}
