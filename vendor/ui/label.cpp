#include "vendor/ui/label.h"

#include <wx/weakref.h>

#include <wx/control.h>
#include <wx/dcbuffer.h>
#include <wx/dcclient.h>

#include "vendor/ui/skinable_dialog.h"
#include "vendor/ui/text_wrap.h"
#include "vendor/ui/ui_font.h"

bool CLabel::Create(wxWindow* parent, unsigned id, const wxRect& rect, const std::string& text) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    m_nCommandId = static_cast<int>(id);
    if (!wxWindow::Create(parent, wxID_ANY, rect.GetPosition(), rect.GetSize(), wxBORDER_NONE)) {
        return false;
    }
    m_font = MakeUiFont("Tahoma", 13, 0, 0);
    m_text = text;
    Bind(wxEVT_PAINT, &CLabel::OnPaint, this);
    for (auto type : {wxEVT_ENTER_WINDOW, wxEVT_LEAVE_WINDOW, wxEVT_LEFT_UP}) {
        Bind(type, &CLabel::OnMouse, this);
    }
    return true;
}

void CLabel::SetText(const std::string& text) {
    m_text = text;
    Refresh(false);
}

void CLabel::SetTextColor(COLORREF colour) {
    m_colour = wxColour(GetRValue(colour), GetGValue(colour), GetBValue(colour));
    Refresh(false);
}

void CLabel::SetLink(bool on) {
    m_bLink = on;
    SetCursor(wxCursor(on ? wxCURSOR_HAND : wxCURSOR_ARROW));
    Refresh(false);
}

void CLabel::SetFont(const std::string& face, int pixelHeight, int weight, int flags) {
    m_font = MakeUiFont(face, pixelHeight, weight, flags);
    Refresh(false);
}

void CLabel::SetTransparent(int on) {
    m_bTransparent = on != 0;
    Refresh(false);
}

void CLabel::SetWordWrap(int on) {
    m_bWordWrap = on != 0;
    Refresh(false);
}

void CLabel::SetMiddleEllipsis(bool on) {
    m_bMiddleEllipsis = on;
    Refresh(false);
}

std::string CLabel::ShownLine() const {
    const wxString line = wxString::FromUTF8(m_text).BeforeFirst('\n');
    if (!m_bMiddleEllipsis) return line.utf8_string();
    wxClientDC dc(const_cast<CLabel*>(this));
    dc.SetFont(m_font);
    return wxControl::Ellipsize(line, dc, wxELLIPSIZE_MIDDLE, GetClientSize().GetWidth()).utf8_string();
}

void CLabel::Click() {
    if (!m_bLink) return;
    wxWeakRef<CLabel> self(this);
    wxCommandEvent event(wxEVT_BUTTON, m_nCommandId);
    event.SetEventObject(this);
    ProcessWindowEvent(event);
    // A menu the click opened kept the mouse's leaving from the label: its underline follows
    // where the mouse is now.
    if (self && !IsBeingDeleted()) {
        const bool inside = IsShownOnScreen() && GetScreenRect().Contains(wxGetMousePosition());
        if (inside != m_bHover) {
            m_bHover = inside;
            Refresh(false);
        }
    }
}

wxSize CLabel::DoGetBestSize() const {
    wxClientDC dc(const_cast<CLabel*>(this));
    dc.SetFont(m_font);
    return dc.GetMultiLineTextExtent(wxString::FromUTF8(m_text));
}

void CLabel::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    if (m_bTransparent) {
        DrawParentBackground(this, dc);
    } else {
        dc.SetBackground(wxBrush(GetParent()->GetBackgroundColour()));
        dc.Clear();
    }
    wxFont font = m_font;
    if (m_bLink && m_bHover) font.SetUnderlined(true);
    dc.SetFont(font);
    dc.SetTextForeground(m_colour);
    const wxString text = wxString::FromUTF8(m_text);
    const int width = GetClientSize().GetWidth();
    std::vector<wxString> lines;
    if (m_bWordWrap) {
        lines = WrapText(dc, text, width);
    } else if (m_bMiddleEllipsis) {
        lines.push_back(wxControl::Ellipsize(text.BeforeFirst('\n'), dc, wxELLIPSIZE_MIDDLE, width));
    } else {
        lines.push_back(text.BeforeFirst('\n'));
    }
    const int lineHeight = dc.GetCharHeight() + 2;
    int y = 0;
    for (const wxString& line : lines) {
        dc.DrawText(line, 0, y);
        y += lineHeight;
    }
}

void CLabel::OnMouse(wxMouseEvent& event) {
    const wxEventType type = event.GetEventType();
    if (type == wxEVT_ENTER_WINDOW || type == wxEVT_LEAVE_WINDOW) {
        m_bHover = type == wxEVT_ENTER_WINDOW;
        if (m_bLink) Refresh(false);
    } else if (type == wxEVT_LEFT_UP && m_bLink) {
        Click();
    }
    event.Skip();
}
