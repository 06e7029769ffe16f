// CTopicTitleDlgHome: the page the program normally opens on. It offers the button that
// starts a scan, shows when the last scan was started and which version is installed, and
// tells the user when the vendor's feed announces a newer version or build, with a link to
// it and to the vendor's current offer.
//
// The lines come from CHomePageModel. When "CheckUpdate" is set, the page starts the update
// check on a worker as it opens and builds its lines again once the check has ended.
#pragma once

#include <memory>

#include "pages/home_page_model.h"
#include "shell/topic_dlg.h"
#include "vendor/ui/bmp_button.h"
#include "vendor/ui/label.h"
#include "vendor/ui/topic_title.h"
#include "vendor/ui/ui_thread_calls.h"

class CHomeDecoration;

class CTopicTitleDlgHome : public CTopicDlg {
public:
    static constexpr unsigned kTemplate = 108;
    static constexpr int kScanNowId = 0x900B;
    static constexpr int kOfferCaptionId = 1061;
    static constexpr int kUpdateNoticeId = 1062;
    static constexpr int kOfferId = 1063;
    static constexpr int kPrefixNoticeId = 1064;

    explicit CTopicTitleDlgHome(wxWindow* parent);
    ~CTopicTitleDlgHome() override;

    // Builds every line from the settings store as it is now.
    void RefreshStatus();

    // ---- for tests and the screenshots
    CLabel& LastScanLabel() { return m_lblLastScan; }
    CLabel& VersionLabel() { return m_lblVersion; }
    CLabel& UpdateNoticeLabel() { return m_lblUpdateNotice; }
    CLabel& OfferCaptionLabel() { return m_lblOfferCaption; }
    CLabel& OfferLabel() { return m_lblOffer; }
    // What stands in the way of changes (Wine running, a damaged registry file, a read-only
    // prefix), in plain words under the status lines; a click shows `details`. Empty: hidden.
    void ShowPrefixNotice(const std::string& notice, const std::string& details);
    CLabel& PrefixNoticeLabel() { return m_lblPrefixNotice; }
    CBMPButton& ScanNowButton() { return m_btnScanNow; }
    // True once the update check that the page started has stored its result and the page
    // has shown it; false while it runs and when none was started.
    bool UpdateCheckShown() const { return m_bUpdateCheckShown; }
    bool UpdateCheckStarted() const { return m_bUpdateCheckStarted; }

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id) override;

private:
    void CheckForUpdate();
    void ShowUpdateNotice(const HomeStatus& status);
    void OnScanNow();
    void OnUpdateNoticeClicked();
    void OnOfferClicked();

    CHomePageModel m_model;
    CHomeUpdateCheck m_updateCheck;
    std::unique_ptr<CUiTarget> m_pUiTarget;
    bool m_bUpdateCheckStarted = false;
    bool m_bUpdateCheckShown = false;

    CHomeDecoration* m_pDecoration = nullptr;  // 1001, owned by the window
    CTopicTitle m_title;                       // 1002
    CBMPButton m_btnScanNow;                   // 36875
    CLabel m_lblLastScan;                      // 1004
    CLabel m_lblVersion;                       // 1005
    CLabel m_lblUpdateNotice;                  // 1062
    CLabel m_lblOfferCaption;                  // 1061
    CLabel m_lblOffer;                         // 1063
    CLabel m_lblPrefixNotice;
    std::string m_sPrefixDetails;
};
