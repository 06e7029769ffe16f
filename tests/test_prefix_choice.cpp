// The window's prefix choice: remembered across starts in the state folder (never when the
// folder no longer holds a prefix), the chooser's entries, and the name the title area shows.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/prefix_choice.h"
#include "temp_dir.h"

using namespace qvtest;
namespace fs = std::filesystem;

namespace {

class PrefixChoiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* state = std::getenv("XDG_STATE_HOME");
        saved_ = state ? std::optional<std::string>(state) : std::nullopt;
        ::setenv("XDG_STATE_HOME", (tmp_.path() / "state").c_str(), 1);
    }
    void TearDown() override {
        if (saved_) ::setenv("XDG_STATE_HOME", saved_->c_str(), 1);
        else ::unsetenv("XDG_STATE_HOME");
    }
    fs::path MakePrefix(const std::string& name) {
        fs::path p = tmp_.path() / name;
        fs::create_directories(p);
        WriteFile(p / "system.reg", "WINE REGISTRY Version 2\n");
        return fs::canonical(p);
    }
    TempDir tmp_;
    std::optional<std::string> saved_;
};

}  // namespace

TEST_F(PrefixChoiceTest, TheLastChoiceIsRememberedWhileItIsAPrefix) {
    EXPECT_EQ(RememberedPrefix(), std::nullopt);
    fs::path games = MakePrefix("games");
    std::string error;
    ASSERT_TRUE(RememberPrefix(games, error)) << error;
    EXPECT_EQ(RememberedPrefixFile(), tmp_.path() / "state/quorvane/prefix");
    EXPECT_EQ(RememberedPrefix(), games);
    // Gone, or no longer a prefix: the choice is not used.
    fs::remove(games / "system.reg");
    EXPECT_EQ(RememberedPrefix(), std::nullopt);
    WriteFile(RememberedPrefixFile(), "relative/path\n");
    EXPECT_EQ(RememberedPrefix(), std::nullopt);
}

TEST_F(PrefixChoiceTest, TheChooserListsWhatWasFoundAndTheCurrentPrefix) {
    fs::path a = MakePrefix("a"), b = MakePrefix("b"), own = MakePrefix("own");
    qv::PrefixDiscovery found;
    found.prefixes = {{a, "Alpha Game", "steam", ""}, {b, "b", "wine", ""}};
    std::vector<PrefixChoice> choices = PrefixChoices(found, b);
    ASSERT_EQ(choices.size(), 2u);
    EXPECT_EQ(choices[0].label, "Alpha Game (steam)");
    EXPECT_FALSE(choices[0].current);
    EXPECT_TRUE(choices[1].current);
    EXPECT_EQ(PrefixDisplayName(found, a), "Alpha Game");
    // A folder chosen by hand is listed first, named by its folder.
    choices = PrefixChoices(found, own);
    ASSERT_EQ(choices.size(), 3u);
    EXPECT_EQ(choices[0].path, own);
    EXPECT_TRUE(choices[0].current);
    EXPECT_EQ(PrefixDisplayName(found, own), "own");
    // The same prefix through a link is the same entry.
    fs::create_directory_symlink(a, tmp_.path() / "link-to-a");
    EXPECT_TRUE(PrefixChoices(found, tmp_.path() / "link-to-a")[0].current);

    EXPECT_EQ(RequestedPrefixSwitch(), std::nullopt);
    RequestPrefixSwitch(a);
    EXPECT_EQ(RequestedPrefixSwitch(), a);
}
