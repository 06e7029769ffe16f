#include "shell/topic_dlg.h"

#include "shell/quorvane_main_dlg.h"

CTopicDlg::CTopicDlg(unsigned templateId, wxWindow* parent)
    : CSkinableDialog(templateId, parent), m_pMainDlg(CQuorvaneDlg::GetMainDlg()) {}

void CTopicDlg::SetupTitleBanner(CTopicTitle& banner, unsigned pngId, const std::string& title,
                                 const std::string& description) {
    banner.SetImage(pngId, "PNG", CTopicTitle::kImagePng)
        .SetTextInfo(title, description)
        .SetTextColor(kTextColour, 0)
        .SetTitleFont("Verdana", 26, 1, 0)
        .SetDescFont("Tahoma", 13, 0, 0)
        .SetGridientParam(0x0000FF, 0x00FF00, 0xFF0000, 1)
        .RedrawItem();
}

void CTopicDlg::PlaceTitleBanner(wxWindow& banner) {
    banner.SetSize(10, 6, 480, 350);
    banner.Show();
}

void CTopicDlg::CreatePageLabel(CLabel& label, wxWindow* parent, int id, const wxRect& rect, bool wrap,
                                const std::string& text) {
    label.Create(parent, static_cast<unsigned>(id), rect, text);
    label.SetTextColor(kTextColour);
    label.SetTransparent(1);
    label.SetWordWrap(wrap ? 1 : 0);
}

bool IsDialogEndKey(int keyCode) {
    return keyCode == WXK_RETURN || keyCode == WXK_NUMPAD_ENTER || keyCode == WXK_ESCAPE;
}

void CTopicDlg::PreTranslateKey(wxKeyEvent& event) {
    if (IsDialogEndKey(event.GetKeyCode())) {
        // Handled here, so no window above sees it; the focused control still gets the key.
        event.DoAllowNextEvent();
        return;
    }
    event.Skip();
}
