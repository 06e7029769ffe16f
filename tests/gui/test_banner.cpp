// The page banner: image, texts and the rule under them.
#include <wx/frame.h>

#include "gui_test_support.h"
#include "shell/topic_dlg.h"
#include "vendor/ui/topic_title.h"

namespace {

class BannerTest : public ::testing::Test {
protected:
    void SetUp() override {
        frame = new wxFrame(nullptr, wxID_ANY, "banner", wxDefaultPosition, wxSize(520, 380));
        banner = new CTopicTitle;
        banner->Create(frame, 1);
        CTopicDlg::PlaceTitleBanner(*banner);
    }
    void TearDown() override {
        frame->Destroy();
        guitest::Pump();
    }
    wxFrame* frame = nullptr;
    CTopicTitle* banner = nullptr;
};

TEST_F(BannerTest, ImageIdZeroShowsNoImageButTheTexts) {
    CTopicDlg::SetupTitleBanner(*banner, 0, "Scan Results", "Quorvane has detected following errors");
    EXPECT_FALSE(banner->HasImage());
    EXPECT_EQ(banner->Title(), "Scan Results");
    EXPECT_GT(banner->ContentBottom(), 40);
}

TEST_F(BannerTest, AnEmptyDescriptionLeavesTheTitleAlone) {
    CTopicDlg::SetupTitleBanner(*banner, 0, "Boot Up Results", "");
    int titleOnly = banner->ContentBottom();
    CTopicDlg::SetupTitleBanner(*banner, 0, "Boot Up Results", "one line");
    EXPECT_LT(titleOnly, banner->ContentBottom());
}

TEST_F(BannerTest, LongDescriptionsWrapInsideTheBanner) {
    CTopicDlg::SetupTitleBanner(*banner, 251, "Quick Boot", "short");
    int oneLine = banner->ContentBottom();
    CTopicDlg::SetupTitleBanner(
        *banner, 251, "Quick Boot",
        "Quick Boot allows you to reduce the loading time of Windows by disabling programs when\n"
        "Windows boots up. Click on the checkbox to disable programs that you do not need starting up.");
    EXPECT_TRUE(banner->HasImage());
    EXPECT_GT(banner->ContentBottom(), oneLine);  // the line did not fit and wrapped
    EXPECT_LT(banner->ContentBottom(), 200);
}

}  // namespace
