#include "quickboot/boot_up_result_page.h"

#include <shellapi.h>

#include "app/string_table.h"
#include "shell/vendor_addresses.h"
#include "vendor/ui/skin_bitmap.h"

namespace {

// "Tahoma", size 10: 10 points are 13 pixels on the 96-dpi screen the layout is made for.
constexpr int kTextPixels = 13;

}  // namespace

CTopicDlgOptimizeResult::CTopicDlgOptimizeResult(wxWindow* parent) : CTopicDlg(kTemplate, parent) {}

bool CTopicDlgOptimizeResult::OnInitDialog() {
    LoadBitmapA(kPageSkin, kSkinKey, 0);
    m_title.Create(this, kBannerId);
    SetupTitleBanner(m_title, 251, std::string(StringText(221)), "");

    m_btnStart.Create("", 0x40000000, 257, 259, 258, 258, 0xC0C0C0, this, kStartId, 0);
    const std::string tip(StringText(230));
    m_btnStart.SetToolTipText(&tip, 1);

    // The text starts below the banner's rule, which a banner image pushes down to y 83.
    CreatePageLabel(m_lblResult, this, kResultLabelId, wxRect(18, 100, 473, 55), true);
    m_pPicture = new wxStaticBitmap(this, kPictureId, LoadKeyedBitmap(256, kSkinKey), wxPoint(18, 160));
    CreatePageLabel(m_lblOffer, this, kOfferLabelId, wxRect(18, 240, 473, 36), true);
    for (CLabel* label : {&m_lblResult, &m_lblOffer}) label->SetFont("Tahoma", kTextPixels, 0, 0);

    PlaceTitleBanner(m_title);
    m_btnStart.Move(246, 280);
    m_btnStart.Show();
    m_lblResult.Show();
    m_pPicture->Show();
    m_lblOffer.Show();
    return true;
}

bool CTopicDlgOptimizeResult::Show(bool show) {
    bool changed = CTopicDlg::Show(show);
    if (changed && show) ShowResult();
    return changed;
}

void CTopicDlgOptimizeResult::ShowResult() {
    m_result = ReadBootUpResult();
    m_lblResult.SetText(m_result.text);
    m_lblOffer.SetText(std::string(StringText(226)));
}

bool CTopicDlgOptimizeResult::OnCommand(int id) {
    if (id != kStartId) return false;
    ShellExecuteA(nullptr, "open", kVendorOfferPage, nullptr, nullptr, SW_SHOWNORMAL);
    return true;
}
