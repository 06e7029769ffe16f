// CTopicDlgOptimizeResult: the Boot Up Results page, which the main window shows right after
// a Quick Boot apply. Every time it comes into view it reads how many programs the apply
// switched off (the setting is deleted when read, so the figure is shown once) and tells how
// many seconds faster Windows now starts; with none switched off it claims no gain.
#pragma once

#include <wx/statbmp.h>

#include "quickboot/boot_up_result.h"
#include "shell/topic_dlg.h"
#include "vendor/ui/bmp_button.h"
#include "vendor/ui/label.h"
#include "vendor/ui/topic_title.h"

class CTopicDlgOptimizeResult : public CTopicDlg {
public:
    static constexpr unsigned kTemplate = 221;
    static constexpr int kBannerId = 1085;
    static constexpr int kResultLabelId = 1086;
    static constexpr int kOfferLabelId = 1087;
    static constexpr int kPictureId = 1088;
    static constexpr int kStartId = 36878;

    explicit CTopicDlgOptimizeResult(wxWindow* parent);

    bool Show(bool show = true) override;

    // ---- for tests and the screenshots
    const BootUpResult& LastResult() const { return m_result; }
    CLabel& ResultLabel() { return m_lblResult; }
    CLabel& OfferLabel() { return m_lblOffer; }
    CBMPButton& StartButton() { return m_btnStart; }

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id) override;

private:
    void ShowResult();

    BootUpResult m_result;
    CTopicTitle m_title;                   // 1085
    CLabel m_lblResult;                    // 1086
    wxStaticBitmap* m_pPicture = nullptr;  // 1088, owned by the window
    CLabel m_lblOffer;                     // 1087
    CBMPButton m_btnStart;                 // 36878
};
