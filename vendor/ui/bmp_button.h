// CBMPButton: a push button drawn from four bitmaps, in this order: the normal face, the face
// under the mouse, the pressed face and the disabled face. Pixels of the key colour are
// transparent, so the window behind shows through. A click (mouse, or Space and Enter while
// it has the focus) reaches the parent as a command with the button's id.
#pragma once

#include <wx/bitmap.h>
#include <wx/window.h>

#include <string>

#include "vendor/ui/colorref.h"

class CBMPButton : public wxWindow {
public:
    // The last argument of Create: a title-bar button, which never takes the keyboard focus.
    static constexpr DWORD kTitleBarButton = 0x080808;

    CBMPButton() = default;

    // Makes the button, hidden, at (0, 0) with the size of its normal face. `style` is the
    // window style of the platform (0x40000000 for a child); `caption` is not drawn (the faces
    // carry their texts). `extra` is kTitleBarButton or 0. Non-zero on success.
    int Create(const std::string& caption, DWORD style, unsigned normalId, unsigned hoverId,
               unsigned pressedId, unsigned disabledId, COLORREF key, wxWindow* parent,
               unsigned id, DWORD extra);

    // 1: clickable; 0: not clickable, drawn with the disabled face.
    void EnableButton(int enable) { Enable(enable != 0); }
    bool Enable(bool enable = true) override;

    // The tooltip: the first of `count` texts.
    void SetToolTipText(const std::string* texts, int count);

    // A disabled button normally shows its disabled face; dimmed, it shows its normal face
    // faded instead (for a whole row of buttons that is unavailable for a while).
    void SetDimmed(bool dimmed);

    // Unavailable for a reason the user should know; empty: available again. The button stays
    // in view, faded, and keeps its place in the focus order, but its tip and a click give the
    // reason instead of running the command.
    void SetUnavailable(const std::string& reason);
    const std::string& UnavailableReason() const { return m_unavailable; }

    bool AcceptsFocus() const override { return m_bTakesFocus && IsEnabled(); }
    // What a click does: sends the command to the parent.
    void Click();
    int CommandId() const { return m_nCommandId; }
    // Whether the button is drawn under the mouse.
    bool IsHovered() const { return m_bHover; }
    // Takes the hover look from where the mouse is now (after a menu or pop-up kept the
    // button from seeing it leave).
    void SyncHoverWithMouse();

protected:
    wxSize DoGetBestSize() const override;

private:
    enum Face { kNormal, kHover, kPressed, kDisabled };

    void OnPaint(wxPaintEvent& event);
    void OnMouse(wxMouseEvent& event);
    void OnKeyDown(wxKeyEvent& event);
    void OnCaptureLost(wxMouseCaptureLostEvent& event);
    void OnFocusChange(wxFocusEvent& event);
    void DrawFocusRing(wxDC& dc);

    wxBitmap m_faces[4];
    const wxBitmap& DimmedFace();

    wxBitmap m_dimmedFace;
    std::string m_tip;
    std::string m_unavailable;
    bool m_bDimmed = false;
    bool m_bHover = false;
    bool m_bPressed = false;
    bool m_bTakesFocus = true;
    int m_nCommandId = 0;
};
