#include "vendor/ui/bmp_button.h"

#include <wx/dcbuffer.h>
#include <wx/tooltip.h>
#include <wx/weakref.h>

#include <windows.h>

#include "vendor/ui/skin_bitmap.h"
#include "vendor/ui/skinable_dialog.h"

int CBMPButton::Create(const std::string& /*caption*/, DWORD /*style*/, unsigned normalId,
                       unsigned hoverId, unsigned pressedId, unsigned disabledId, COLORREF key,
                       wxWindow* parent, unsigned id, DWORD extra) {
    const unsigned ids[4] = {normalId, hoverId, pressedId, disabledId};
    for (int i = 0; i < 4; ++i) m_faces[i] = LoadKeyedBitmap(static_cast<int>(ids[i]), key);
    // A face that is missing falls back to the normal one, so the button is never blank.
    for (int i = 1; i < 4; ++i) {
        if (!m_faces[i].IsOk()) m_faces[i] = m_faces[kNormal];
    }
    wxSize size = m_faces[kNormal].IsOk() ? m_faces[kNormal].GetSize() : wxSize(24, 24);
    m_bTakesFocus = extra != kTitleBarButton;
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    // Command ids reach 0xFFFF, beyond the window ids the toolkit accepts: the window gets an
    // id of its own and the command id travels in the click.
    m_nCommandId = static_cast<int>(id);
    if (!wxWindow::Create(parent, wxID_ANY, wxPoint(0, 0), size, wxBORDER_NONE | wxWANTS_CHARS)) {
        return 0;
    }
    Hide();
    Bind(wxEVT_PAINT, &CBMPButton::OnPaint, this);
    for (auto type : {wxEVT_ENTER_WINDOW, wxEVT_LEAVE_WINDOW, wxEVT_LEFT_DOWN, wxEVT_LEFT_UP,
                      wxEVT_LEFT_DCLICK, wxEVT_MOTION}) {
        Bind(type, &CBMPButton::OnMouse, this);
    }
    // Space and Return press the focused button; they are taken as the toolkit first offers
    // them (the char hook starts at the focused window), before any page or dialog can give
    // them another meaning.
    Bind(wxEVT_CHAR_HOOK, &CBMPButton::OnKeyDown, this);
    Bind(wxEVT_KEY_DOWN, &CBMPButton::OnKeyDown, this);
    Bind(wxEVT_MOUSE_CAPTURE_LOST, &CBMPButton::OnCaptureLost, this);
    Bind(wxEVT_SET_FOCUS, &CBMPButton::OnFocusChange, this);
    Bind(wxEVT_KILL_FOCUS, &CBMPButton::OnFocusChange, this);
    SetCursor(wxCursor(wxCURSOR_HAND));
    return 1;
}

bool CBMPButton::Enable(bool enable) {
    bool changed = wxWindow::Enable(enable);
    if (!enable) {
        // A disabled button gets no leave event: it forgets the mouse now, or it would come
        // back lit.
        m_bPressed = false;
        m_bHover = false;
        if (HasCapture()) ReleaseMouse();
    }
    SetCursor(wxCursor(enable && m_unavailable.empty() ? wxCURSOR_HAND : wxCURSOR_ARROW));
    Refresh(false);
    return changed;
}

const wxBitmap& CBMPButton::DimmedFace() {
    if (!m_dimmedFace.IsOk() && m_faces[kNormal].IsOk()) {
        wxImage image = m_faces[kNormal].ConvertToImage();
        if (!image.HasAlpha()) image.InitAlpha();
        unsigned char* alpha = image.GetAlpha();
        for (int i = 0, n = image.GetWidth() * image.GetHeight(); i < n; ++i) alpha[i] = static_cast<unsigned char>(alpha[i] * 2 / 5);
        m_dimmedFace = wxBitmap(image);
    }
    return m_dimmedFace;
}

void CBMPButton::SetDimmed(bool dimmed) {
    if (dimmed) DimmedFace();
    m_bDimmed = dimmed;
    Refresh(false);
}

void CBMPButton::SetUnavailable(const std::string& reason) {
    if (reason == m_unavailable) return;
    m_unavailable = reason;
    m_bPressed = false;
    m_bHover = false;
    if (HasCapture()) ReleaseMouse();
    if (!reason.empty()) {
        DimmedFace();
        SetToolTip(wxString::FromUTF8(reason));
    } else if (m_tip.empty()) {
        UnsetToolTip();
    } else {
        SetToolTip(wxString::FromUTF8(m_tip));
    }
    SetCursor(wxCursor(IsEnabled() && reason.empty() ? wxCURSOR_HAND : wxCURSOR_ARROW));
    Refresh(false);
}

void CBMPButton::SetToolTipText(const std::string* texts, int count) {
    m_tip = texts != nullptr && count >= 1 ? texts[0] : std::string();
    // While unavailable the tip is the reason; the new tip shows once it is available again.
    if (!m_unavailable.empty()) return;
    if (m_tip.empty()) {
        UnsetToolTip();
        return;
    }
    SetToolTip(wxString::FromUTF8(m_tip));
}

void CBMPButton::Click() {
    if (!IsEnabled()) return;
    if (!m_unavailable.empty()) {
        MessageBoxA(nullptr, m_unavailable.c_str(), "Quorvane", MB_OK | MB_ICONINFORMATION);
        return;
    }
    // What the command opens (a menu, a pop-up) keeps the mouse's leaving from this button;
    // once it returns, the hover look follows where the mouse really is.
    wxWeakRef<CBMPButton> self(this);
    struct HoverCheck {
        wxWeakRef<CBMPButton>& button;
        ~HoverCheck() {
            if (button && !button->IsBeingDeleted()) button->SyncHoverWithMouse();
        }
    } check{self};
    wxCommandEvent event(wxEVT_BUTTON, m_nCommandId);
    event.SetEventObject(this);
    ProcessWindowEvent(event);
}

void CBMPButton::SyncHoverWithMouse() {
    const bool inside = IsShownOnScreen() && GetScreenRect().Contains(wxGetMousePosition());
    if (inside == m_bHover && !m_bPressed) return;
    m_bHover = inside && IsEnabled();
    m_bPressed = false;
    Refresh(false);
}

wxSize CBMPButton::DoGetBestSize() const {
    return m_faces[kNormal].IsOk() ? m_faces[kNormal].GetSize() : wxSize(24, 24);
}

void CBMPButton::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    DrawParentBackground(this, dc);
    Face face = kNormal;
    if (IsEnabled() && !m_unavailable.empty() && m_dimmedFace.IsOk()) {
        dc.DrawBitmap(m_dimmedFace, 0, 0, true);
        return;
    }
    if (!IsEnabled()) {
        face = kDisabled;
    } else if (m_bPressed && m_bHover) {
        face = kPressed;
    } else if (m_bHover) {
        face = kHover;
    }
    if (face == kDisabled && m_bDimmed && m_dimmedFace.IsOk()) {
        dc.DrawBitmap(m_dimmedFace, 0, 0, true);
    } else if (m_faces[face].IsOk()) {
        dc.DrawBitmap(m_faces[face], 0, 0, true);
    }
    if (HasFocus() && m_bTakesFocus) DrawFocusRing(dc);
}

void CBMPButton::OnMouse(wxMouseEvent& event) {
    const wxEventType type = event.GetEventType();
    if (!IsEnabled()) {
        m_bHover = false;
        return;
    }
    bool inside = wxRect(GetClientSize()).Contains(event.GetPosition());
    if (type == wxEVT_ENTER_WINDOW) {
        m_bHover = true;
    } else if (type == wxEVT_LEAVE_WINDOW) {
        m_bHover = m_bPressed && inside;
    } else if (type == wxEVT_LEFT_DOWN || type == wxEVT_LEFT_DCLICK) {
        m_bPressed = true;
        m_bHover = true;
        if (m_bTakesFocus) SetFocus();
        if (!HasCapture()) CaptureMouse();
    } else if (type == wxEVT_LEFT_UP) {
        bool click = m_bPressed && inside;
        m_bPressed = false;
        m_bHover = inside;
        if (HasCapture()) ReleaseMouse();
        Refresh(false);
        if (click) Click();
        return;
    } else if (type == wxEVT_MOTION) {
        m_bHover = inside;
    }
    Refresh(false);
}

void CBMPButton::OnKeyDown(wxKeyEvent& event) {
    const int key = event.GetKeyCode();
    if (key == WXK_SPACE || key == WXK_RETURN || key == WXK_NUMPAD_ENTER) {
        Click();
        return;
    }
    event.Skip();
}

void CBMPButton::OnCaptureLost(wxMouseCaptureLostEvent&) {
    m_bPressed = false;
    Refresh(false);
}

void CBMPButton::DrawFocusRing(wxDC& dc) {
    // A dotted outline just inside the button's edge, in the skin's dark blue, so that the
    // keyboard's place shows on light pages and on the dark navigation column alike.
    const wxSize size = GetClientSize();
    wxPen pen(wxColour(0x1F, 0x5F, 0xD6), 1, wxPENSTYLE_DOT);
    dc.SetPen(pen);
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    dc.DrawRoundedRectangle(2, 2, size.x - 4, size.y - 4, 6);
}

void CBMPButton::OnFocusChange(wxFocusEvent& event) {
    Refresh(false);
    event.Skip();
}
