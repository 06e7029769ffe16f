// CLabel: a static text drawn on the window behind it, wrapped to its width. It can be a
// link: the hand cursor over it, underlined while the mouse is on it, and a click reaches
// the parent as a command with the label's id.
#pragma once

#include <wx/window.h>

#include <string>

#include "vendor/ui/colorref.h"

class CLabel : public wxWindow {
public:
    CLabel() = default;
    // Makes the label at `rect` (shown), with DejaVu Sans at 13 pixels in near-black.
    bool Create(wxWindow* parent, unsigned id, const wxRect& rect, const std::string& text = "");

    void SetText(const std::string& text);
    std::string GetText() const { return m_text; }
    void SetTextColor(COLORREF colour);
    // On: link behaviour (hand cursor, click as a command); the colour stays as set.
    void SetLink(bool on);
    bool IsLink() const { return m_bLink; }
    void SetFont(const std::string& face, int pixelHeight, int weight, int flags);
    // Style switches: transparent (on: draws on the window behind it; off: on a plain fill of
    // the parent's colour) and word wrap (on: long lines break at the label's width; off:
    // they are cut).
    void SetTransparent(int on);
    void SetWordWrap(int on);
    // On (without word wrap): a line too long for the label loses its middle to "...", so
    // that both the start and the end of a path stay readable.
    void SetMiddleEllipsis(bool on);
    // The line as drawn at the label's width (one line, without word wrap).
    std::string ShownLine() const;

    // What a click on a link does: sends the command to the parent (with the label's id, which
    // may lie beyond the toolkit's window ids).
    void Click();
    int CommandId() const { return m_nCommandId; }
    // Whether the label is drawn under the mouse (a link is underlined then).
    bool IsHovered() const { return m_bHover; }

protected:
    wxSize DoGetBestSize() const override;

private:
    void OnPaint(wxPaintEvent& event);
    void OnMouse(wxMouseEvent& event);

    std::string m_text;
    wxColour m_colour{0x22, 0x22, 0x22};
    wxFont m_font;
    bool m_bLink = false;
    bool m_bHover = false;
    bool m_bTransparent = true;
    bool m_bWordWrap = true;
    bool m_bMiddleEllipsis = false;
    int m_nCommandId = 0;
};
