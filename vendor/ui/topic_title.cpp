#include "vendor/ui/topic_title.h"

#include <wx/dcbuffer.h>
#include <wx/dcmemory.h>
#include <wx/graphics.h>

#include <memory>

#include "vendor/ui/skin_bitmap.h"
#include "vendor/ui/text_wrap.h"
#include "vendor/ui/ui_font.h"

namespace {

constexpr int kImageSize = 64;
constexpr int kImageGap = 16;
constexpr int kRuleHeight = 3;
const wxColour kAccent(34, 179, 164);

// The position of the lowest set bit of a mask, and the mask's value shifted down to it.
int ChannelValue(COLORREF colour, COLORREF mask) {
    if (mask == 0) return 0;
    int shift = 0;
    while (((mask >> shift) & 1u) == 0) ++shift;
    COLORREF value = (colour & mask) >> shift;
    COLORREF top = mask >> shift;
    return top == 0xFF ? static_cast<int>(value) : static_cast<int>(value * 255 / top);
}

}  // namespace

CTopicTitle::~CTopicTitle() {
    if (m_pLayerHost != nullptr) m_pLayerHost->RemoveBackgroundLayer(this);
}

bool CTopicTitle::Create(wxWindow* parent, unsigned id) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    if (!wxWindow::Create(parent, static_cast<int>(id), wxPoint(0, 0), wxSize(480, 350), wxBORDER_NONE)) {
        return false;
    }
    Hide();
    m_titleFont = MakeUiFont("Verdana", 26, 1, 0);
    m_descFont = MakeUiFont("Tahoma", 13, 0, 0);
    m_pLayerHost = dynamic_cast<CSkinableDialog*>(parent);
    if (m_pLayerHost != nullptr) m_pLayerHost->AddBackgroundLayer(this, this);
    Bind(wxEVT_PAINT, &CTopicTitle::OnPaint, this);
    return true;
}

CTopicTitle& CTopicTitle::SetImage(unsigned id, const std::string& type, int format) {
    m_image = wxBitmap();
    if (id != 0 && type == "PNG" && format == kImagePng) m_image = LoadKeyedBitmap(static_cast<int>(id), 0x00FF00);
    return *this;
}

CTopicTitle& CTopicTitle::SetTextInfo(const std::string& title, const std::string& description) {
    m_title = title;
    m_description = description;
    return *this;
}

CTopicTitle& CTopicTitle::SetTitleFont(const std::string& face, int size, int weight, int flags) {
    m_titleFont = MakeUiFont(face, size, weight, flags);
    return *this;
}

CTopicTitle& CTopicTitle::SetDescFont(const std::string& face, int size, int weight, int flags) {
    m_descFont = MakeUiFont(face, size, weight, flags);
    return *this;
}

CTopicTitle& CTopicTitle::SetTextColor(COLORREF title, COLORREF description) {
    m_titleColour = title;
    m_descColour = description;
    return *this;
}

CTopicTitle& CTopicTitle::SetGridientParam(COLORREF redMask, COLORREF greenMask, COLORREF blueMask, int fillMode) {
    m_masks[0] = redMask;
    m_masks[1] = greenMask;
    m_masks[2] = blueMask;
    m_nFillMode = fillMode;
    return *this;
}

CTopicTitle& CTopicTitle::RedrawItem() {
    // The banner is drawn as part of its parent: the parent repaints the area, which also
    // repaints every control that lies over the banner.
    if (GetParent() != nullptr) GetParent()->RefreshRect(GetRect(), false);
    Refresh(false);
    return *this;
}

wxColour CTopicTitle::DecodeColour(COLORREF colour) const {
    return wxColour(ChannelValue(colour, m_masks[0]), ChannelValue(colour, m_masks[1]),
                    ChannelValue(colour, m_masks[2]));
}

int CTopicTitle::ContentBottom() {
    // Lays the texts out on a scratch bitmap to learn where they end.
    wxBitmap scratch(GetClientSize());
    wxMemoryDC dc(scratch);
    DrawLayer(dc, wxPoint(0, 0));
    return m_nContentBottom;
}

void CTopicTitle::DrawLayer(wxDC& dc, const wxPoint& origin) {
    const int width = GetClientSize().GetWidth();
    int textLeft = 0;
    if (m_image.IsOk()) {
        dc.DrawBitmap(m_image, origin.x, origin.y + 2, true);
        textLeft = kImageSize + kImageGap;
    }
    const int textWidth = width - textLeft - 4;
    int y = 4;
    if (!m_title.empty()) {
        dc.SetFont(m_titleFont);
        dc.SetTextForeground(DecodeColour(m_titleColour));
        for (const wxString& line : WrapText(dc, wxString::FromUTF8(m_title), textWidth)) {
            dc.DrawText(line, origin.x + textLeft, origin.y + y);
            y += dc.GetCharHeight();
        }
    }
    if (!m_description.empty()) {
        y += 4;
        dc.SetFont(m_descFont);
        dc.SetTextForeground(DecodeColour(m_descColour));
        const int lineHeight = dc.GetCharHeight() + 2;
        for (const wxString& line : WrapText(dc, wxString::FromUTF8(m_description), textWidth, true)) {
            dc.DrawText(line, origin.x + textLeft, origin.y + y);
            y += lineHeight;
        }
    }
    y = std::max(y, m_image.IsOk() ? kImageSize + 4 : 0) + 8;
    if (m_nFillMode == 1 || m_nFillMode == 2) {
        wxColour start = m_nFillMode == 1 ? kAccent : DecodeColour(m_titleColour);
        wxColour end(start.Red(), start.Green(), start.Blue(), 0);
        std::unique_ptr<wxGraphicsContext> gc;
        if (auto* memory = dynamic_cast<wxMemoryDC*>(&dc)) {
            gc.reset(wxGraphicsContext::Create(*memory));
        } else if (auto* window = dynamic_cast<wxWindowDC*>(&dc)) {
            gc.reset(wxGraphicsContext::Create(*window));
        }
        wxRect rule(origin.x, origin.y + y, width, kRuleHeight);
        if (gc) {
            gc->SetBrush(gc->CreateLinearGradientBrush(rule.x, 0, rule.GetRight(), 0, start, end));
            gc->SetPen(*wxTRANSPARENT_PEN);
            gc->DrawRectangle(rule.x, rule.y, rule.width, rule.height);
        } else {
            dc.GradientFillLinear(rule, start, dc.GetBackground().GetColour(), wxEAST);
        }
        y += kRuleHeight;
    }
    m_nContentBottom = y;
}

void CTopicTitle::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    DrawParentBackground(this, dc);
    if (m_pLayerHost == nullptr) DrawLayer(dc, wxPoint(0, 0));
}
