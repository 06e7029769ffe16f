#include "results/finding_details_strip_ctrl.h"

#include <wx/dcbuffer.h>

#include "vendor/ui/skinable_dialog.h"
#include "vendor/ui/ui_font.h"

namespace {

const wxColour kFill(0xF4, 0xF7, 0xFB);
const wxColour kBorder(0xD9, 0xE1, 0xEC);
const wxColour kAccent(0x1F, 0xA6, 0x8F);
const wxColour kText(0x49, 0x49, 0x49);
const wxColour kReason(0xB0, 0x3A, 0x2E);

// `text` cut in the middle with an ellipsis until it fits `width`: both ends of a long key
// path or file name tell more than its start alone.
wxString FitMiddle(wxDC& dc, const wxString& text, int width) {
    if (dc.GetTextExtent(text).x <= width) return text;
    const wxString dots = wxString::FromUTF8("\u2026");
    size_t keep = text.length();
    while (keep > 1) {
        --keep;
        const size_t head = (keep + 1) / 2;
        const wxString candidate = text.Left(head) + dots + text.Right(keep - head);
        if (dc.GetTextExtent(candidate).x <= width) return candidate;
    }
    return dots;
}

}  // namespace

CFindingDetailsStrip::CFindingDetailsStrip(wxWindow* parent, const wxRect& rect)
    : wxWindow(parent, wxID_ANY, rect.GetPosition(), rect.GetSize(), wxBORDER_NONE) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &CFindingDetailsStrip::OnPaint, this);
    ShowRowCount(0);
}

void CFindingDetailsStrip::ShowDetails(const FindingDetails& details) {
    m_lines[0] = details.location;
    m_lines[1] = details.entry;
    m_lines[2] = details.reason;
    m_bDetails = true;
    SetToolTip(wxString::FromUTF8(details.location + "\n" + details.entry + "\n" + details.reason));
    Refresh(false);
}

void CFindingDetailsStrip::ShowRowCount(int rows) {
    m_lines[0] = std::to_string(rows) + (rows == 1 ? " row listed." : " rows listed.");
    m_lines[1] = rows > 0 ? "Select a row to see where its entry is and why it is listed." : "";
    m_lines[2].clear();
    m_bDetails = false;
    UnsetToolTip();
    Refresh(false);
}

void CFindingDetailsStrip::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    DrawParentBackground(this, dc);
    const wxSize size = GetClientSize();
    dc.SetPen(wxPen(kBorder));
    dc.SetBrush(wxBrush(kFill));
    dc.DrawRoundedRectangle(0, 0, size.x, size.y, 4);
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(kAccent));
    dc.DrawRectangle(4, 5, 3, size.y - 10);

    const wxFont plain = MakeUiFont("Tahoma", 12, 0, 0);
    const wxFont bold = MakeUiFont("Tahoma", 12, 700, 0);
    const int x = 14;
    const int width = size.x - x - 6;
    const int lineHeight = (size.y - 4) / 3;
    for (int i = 0; i < 3; ++i) {
        if (m_lines[i].empty()) continue;
        dc.SetFont(i == 0 && m_bDetails ? bold : plain);
        dc.SetTextForeground(i == 2 ? kReason : kText);
        const wxString text = FitMiddle(dc, wxString::FromUTF8(m_lines[i]), width);
        dc.DrawText(text, x, 2 + i * lineHeight + (lineHeight - dc.GetTextExtent(text).y) / 2);
    }
}
