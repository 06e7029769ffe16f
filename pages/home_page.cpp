#include "pages/home_page.h"

#include <windows.h>

#include <wx/dcbuffer.h>

#include "app/string_table.h"
#include "shell/quorvane_main_dlg.h"
#include "vendor/ui/skin_bitmap.h"

// The picture under the status lines (bitmap 152). It is part of the page's background, so
// the labels over it draw it behind their texts.
class CHomeDecoration : public wxWindow, public CBackgroundLayer {
public:
    static constexpr int kBitmap = 152;

    CHomeDecoration(CSkinableDialog* page, unsigned id) : m_pPage(page) {
        SetBackgroundStyle(wxBG_STYLE_PAINT);
        m_bitmap = LoadKeyedBitmap(kBitmap, CTopicDlg::kSkinKey);
        wxSize size = m_bitmap.IsOk() ? m_bitmap.GetSize() : wxSize(1, 1);
        wxWindow::Create(page, static_cast<int>(id), wxPoint(0, 0), size, wxBORDER_NONE);
        page->AddBackgroundLayer(this, this);
        Bind(wxEVT_PAINT, [this](wxPaintEvent&) {
            wxAutoBufferedPaintDC dc(this);
            DrawParentBackground(this, dc);
        });
    }
    ~CHomeDecoration() override { m_pPage->RemoveBackgroundLayer(this); }

    void DrawLayer(wxDC& dc, const wxPoint& origin) override {
        if (m_bitmap.IsOk()) dc.DrawBitmap(m_bitmap, origin, true);
    }

private:
    CSkinableDialog* m_pPage;
    wxBitmap m_bitmap;
};

namespace {

// Text colours: the page's grey for plain lines, blue for the links.
constexpr COLORREF kLineColour = CTopicDlg::kTextColour;
constexpr COLORREF kLinkColour = RGB(0x1F, 0x5F, 0xD6);

void MakeLabel(CLabel& label, wxWindow* parent, unsigned id, const wxRect& rect, bool link) {
    label.Create(parent, id, rect);
    label.SetTextColor(link ? kLinkColour : kLineColour);
    label.SetTransparent(1);
    label.SetWordWrap(0);
    label.SetLink(link);
}

}  // namespace

CTopicTitleDlgHome::CTopicTitleDlgHome(wxWindow* parent) : CTopicDlg(kTemplate, parent) {}

CTopicTitleDlgHome::~CTopicTitleDlgHome() {
    // A check still running reports to nobody; its worker ends within the Internet limits.
    if (m_pUiTarget) m_pUiTarget->Detach();
    m_updateCheck.Wait();
}

bool CTopicTitleDlgHome::OnInitDialog() {
    m_pUiTarget = std::make_unique<CUiTarget>(this);
    LoadBitmapA(kPageSkin, kSkinKey, 0);

    // Banner and button. The banner lies under everything, the decoration over the banner
    // and under the lines.
    m_title.Create(this, 1002);
    SetupTitleBanner(m_title, 166, std::string(StringText(109)), std::string(StringText(110)));
    m_pDecoration = new CHomeDecoration(this, 1001);
    m_btnScanNow.Create("", 0x40000000, 149, 151, 150, 149, 0xC0C0C0, this, kScanNowId, 0);
    const std::string tip(StringText(108));
    m_btnScanNow.SetToolTipText(&tip, 1);

    // The lines are one text line high each, so that none of them covers its neighbour.
    MakeLabel(m_lblLastScan, this, 1004, wxRect(40, 215, 320, 20), false);
    MakeLabel(m_lblVersion, this, 1005, wxRect(40, 240, 315, 20), false);
    MakeLabel(m_lblUpdateNotice, this, kUpdateNoticeId, wxRect(360, 240, 130, 20), true);
    MakeLabel(m_lblOfferCaption, this, kOfferCaptionId, wxRect(40, 265, 130, 20), false);
    MakeLabel(m_lblOffer, this, kOfferId, wxRect(173, 265, 300, 20), true);
    // Under the status box: three lines of plain words about what stands in the way.
    MakeLabel(m_lblPrefixNotice, this, kPrefixNoticeId, wxRect(16, 292, 472, 48), true);
    m_lblPrefixNotice.SetWordWrap(1);
    m_lblPrefixNotice.SetTextColor(RGB(0x9A, 0x4B, 0x00));
    m_lblPrefixNotice.SetFont("Tahoma", 12, 0, 0);
    m_lblPrefixNotice.Hide();

    // Layout.
    PlaceTitleBanner(m_title);
    m_pDecoration->Move(10, 185);
    m_pDecoration->Show();
    m_btnScanNow.Move(10, 130);
    m_btnScanNow.Show();
    for (CLabel* label : {&m_lblLastScan, &m_lblVersion, &m_lblOfferCaption, &m_lblOffer}) label->Show();

    CheckForUpdate();
    RefreshStatus();
    return true;
}

void CTopicTitleDlgHome::CheckForUpdate() {
    // The check runs on a worker: the page opens at once with what the store holds, and is
    // built again when the check has stored what the feed announced.
    CUiTarget* target = m_pUiTarget.get();
    m_bUpdateCheckStarted = m_updateCheck.Start(HomeFeedAddress(), [this, target] {
        target->Post([this] {
            RefreshStatus();
            m_bUpdateCheckShown = true;
        });
    });
}

void CTopicTitleDlgHome::RefreshStatus() {
    HomeStatus status = m_model.RefreshStatus();
    m_lblLastScan.SetText(status.lastScanLine);
    m_lblVersion.SetText(status.versionLine);
    // Without an offer there is nothing to announce: the caption goes with it.
    const bool offer = !status.offerText.empty();
    m_lblOfferCaption.SetText(status.offerCaption);
    m_lblOfferCaption.Show(offer);
    m_lblOffer.SetText(status.offerText);
    m_lblOffer.SetLink(status.offerIsLink);
    m_lblOffer.SetTextColor(status.offerIsLink ? kLinkColour : kLineColour);
    m_lblOffer.Show(offer);
    m_lblUpdateNotice.SetLink(true);
    m_lblUpdateNotice.Hide();
    ShowUpdateNotice(status);
}

void CTopicTitleDlgHome::ShowUpdateNotice(const HomeStatus& status) {
    if (status.updateNotice.empty()) return;
    m_lblUpdateNotice.SetText(status.updateNotice);
    m_lblUpdateNotice.Show();
}

bool CTopicTitleDlgHome::OnCommand(int id) {
    switch (id) {
    case kScanNowId:
        OnScanNow();
        return true;
    case kUpdateNoticeId:
        OnUpdateNoticeClicked();
        return true;
    case kOfferId:
        OnOfferClicked();
        return true;
    case kPrefixNoticeId:
        if (!m_sPrefixDetails.empty())
            MessageBoxA(nullptr, m_sPrefixDetails.c_str(), "Quorvane", MB_OK | MB_ICONWARNING);
        return true;
    default:
        return false;
    }
}

void CTopicTitleDlgHome::ShowPrefixNotice(const std::string& notice, const std::string& details) {
    m_sPrefixDetails = details;
    m_lblPrefixNotice.SetText(notice);
    m_lblPrefixNotice.SetToolTip(wxString::FromUTF8(details));
    m_lblPrefixNotice.Show(!notice.empty());
}

void CTopicTitleDlgHome::OnScanNow() {
    if (m_pMainDlg != nullptr) m_pMainDlg->StartScan();
    m_lblLastScan.SetText(m_model.RecordScanStart());
}

void CTopicTitleDlgHome::OnUpdateNoticeClicked() {
    // Failures (no browser, an address that is not a web address) are not reported.
    m_model.OpenUpgradeAddress();
}

void CTopicTitleDlgHome::OnOfferClicked() {
    m_model.OpenOfferAddress();
}
