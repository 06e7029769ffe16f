// CTopicTitle: the banner at the top of a page: an image on the left, a title and a
// description beside it, and a gradient rule under them. The banner is part of its parent's
// background, so the page's own controls may lie over it.
//
// SetGridientParam takes the masks of the red, green and blue bits of the colours given to
// SetTextColor (every caller passes the COLORREF layout 0x0000FF, 0x00FF00, 0xFF0000) and a
// fill mode: 0 no rule, 1 a rule that fades from the accent colour to nothing, left to
// right, 2 the same rule in the title's colour.
#pragma once

#include <wx/bitmap.h>
#include <wx/font.h>
#include <wx/window.h>

#include <string>

#include "vendor/ui/colorref.h"
#include "vendor/ui/skinable_dialog.h"

class CTopicTitle : public wxWindow, public CBackgroundLayer {
public:
    // The image format code of a PNG picture.
    static constexpr int kImagePng = 4;

    CTopicTitle() = default;
    ~CTopicTitle() override;
    // Makes the banner, hidden, at (0, 0), 480 x 350.
    bool Create(wxWindow* parent, unsigned id);

    // Picture `id` of type `type` ("PNG") in format `format`; id 0: no image.
    CTopicTitle& SetImage(unsigned id, const std::string& type, int format);
    CTopicTitle& SetTextInfo(const std::string& title, const std::string& description);
    CTopicTitle& SetTitleFont(const std::string& face, int size, int weight, int flags);
    CTopicTitle& SetDescFont(const std::string& face, int size, int weight, int flags);
    CTopicTitle& SetTextColor(COLORREF title, COLORREF description);
    CTopicTitle& SetGridientParam(COLORREF redMask, COLORREF greenMask, COLORREF blueMask, int fillMode);
    CTopicTitle& RedrawItem();

    const std::string& Title() const { return m_title; }
    const std::string& Description() const { return m_description; }
    bool HasImage() const { return m_image.IsOk(); }
    // The bottom edge of the texts and the rule, in the banner's coordinates.
    int ContentBottom();

    void DrawLayer(wxDC& dc, const wxPoint& origin) override;

private:
    wxColour DecodeColour(COLORREF colour) const;
    void OnPaint(wxPaintEvent& event);

    wxBitmap m_image;
    std::string m_title;
    std::string m_description;
    wxFont m_titleFont;
    wxFont m_descFont;
    COLORREF m_titleColour = 0x00494949;
    COLORREF m_descColour = 0;
    COLORREF m_masks[3] = {0x0000FF, 0x00FF00, 0xFF0000};
    int m_nFillMode = 1;
    int m_nContentBottom = 0;
    CSkinableDialog* m_pLayerHost = nullptr;
};
