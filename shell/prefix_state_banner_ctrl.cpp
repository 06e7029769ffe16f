#include "shell/prefix_state_banner_ctrl.h"

#include <windows.h>

#include <wx/dcbuffer.h>

namespace {

const wxColour kFill(0xF6, 0xC3, 0x43);
const wxColour kText(0x33, 0x26, 0x00);
constexpr char kMore[] = "Details\u2026";

}  // namespace

CPrefixStateBanner::CPrefixStateBanner(wxWindow* parent, const wxRect& rect)
    : wxWindow(parent, wxID_ANY, rect.GetPosition(), rect.GetSize(), wxBORDER_NONE) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetCursor(wxCursor(wxCURSOR_HAND));
    Bind(wxEVT_PAINT, &CPrefixStateBanner::OnPaint, this);
    Bind(wxEVT_LEFT_UP, [this](wxMouseEvent&) { ShowDetails(); });
    Hide();
}

void CPrefixStateBanner::SetNotice(const std::string& line, const std::string& details) {
    m_line = line;
    m_details = details;
    SetToolTip(wxString::FromUTF8(details));
    Show(!line.empty());
    if (!line.empty()) Raise();
    Refresh(false);
}

void CPrefixStateBanner::ShowDetails() const {
    if (m_details.empty()) return;
    MessageBoxA(nullptr, m_details.c_str(), "Quorvane", MB_OK | MB_ICONWARNING);
}

void CPrefixStateBanner::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    // The strip lies on the dark foot of the window: that colour fills the corners.
    dc.SetBackground(wxBrush(wxColour(0x16, 0x20, 0x3A)));
    dc.Clear();
    const wxSize size = GetClientSize();
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(kFill));
    dc.DrawRoundedRectangle(0, 0, size.x, size.y, 4);

    wxFont font(wxFontInfo(wxSize(0, 12)).FaceName("DejaVu Sans"));
    wxFont bold = font.Bold();
    dc.SetTextForeground(kText);
    dc.SetFont(bold);
    const wxString mark = wxString::FromUTF8("\u26A0");
    const wxSize markSize = dc.GetTextExtent(mark);
    dc.DrawText(mark, 8, (size.y - markSize.y) / 2);

    wxFont link = font;
    link.SetUnderlined(true);
    dc.SetFont(link);
    const wxString more = wxString::FromUTF8(kMore);
    const wxSize moreSize = dc.GetTextExtent(more);
    const int moreX = size.x - moreSize.x - 8;
    dc.DrawText(more, moreX, (size.y - moreSize.y) / 2);

    dc.SetFont(font);
    const int textX = 8 + markSize.x + 6;
    wxString text = wxString::FromUTF8(m_line);
    // A line too long for the strip is cut with an ellipsis; the tip and the click hold it all.
    const int room = moreX - 12 - textX;
    if (dc.GetTextExtent(text).x > room) {
        while (!text.empty() && dc.GetTextExtent(text + wxString::FromUTF8("\u2026")).x > room) text.RemoveLast();
        text += wxString::FromUTF8("\u2026");
    }
    dc.DrawText(text, textX, (size.y - dc.GetTextExtent(text).y) / 2);
}
