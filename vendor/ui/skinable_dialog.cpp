#include "vendor/ui/skinable_dialog.h"

#include <wx/dcbuffer.h>
#include <wx/region.h>
#include <wx/weakref.h>

#include <algorithm>

#include "resources/dialog_templates.h"
#include "vendor/ui/skin_bitmap.h"
#include "vendor/ui/skin_host_windows.h"

namespace {

wxSize TemplateSize(unsigned templateId) {
    const dialog_templates::DialogTemplate* t = dialog_templates::FindTemplate(templateId);
    return t != nullptr ? wxSize(t->width, t->height) : wxSize(400, 300);
}

// The colour drawn where neither a skin nor a skinned parent gives a picture.
const wxColour kPlainBackground(246, 248, 252);

}  // namespace

CSkinableDialog::CSkinableDialog(unsigned templateId, wxWindow* parent)
    : m_nTemplateId(templateId), m_pParent(parent) {}

CSkinableDialog::~CSkinableDialog() {
    if (HasCapture()) ReleaseMouse();
}

bool CSkinableDialog::Create() {
    if (m_pParent == nullptr) return false;
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    if (!wxPanel::Create(m_pParent, wxID_ANY, wxPoint(0, 0), TemplateSize(m_nTemplateId),
                         wxTAB_TRAVERSAL | wxBORDER_NONE)) {
        return false;
    }
    Hide();
    Initialise();
    return true;
}

bool CSkinableDialog::CreateFrame(const wxString& title) {
    wxSize size = TemplateSize(m_nTemplateId);
    auto* frame = new CSkinHostFrame(title, size);
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    if (!wxPanel::Create(frame, wxID_ANY, wxPoint(0, 0), size, wxTAB_TRAVERSAL | wxBORDER_NONE)) {
        frame->Destroy();
        return false;
    }
    m_pHost = frame;
    frame->SetContent(this);
    Initialise();
    ApplyShape();
    frame->Show();
    return true;
}

int CSkinableDialog::DoModal() {
    wxSize size = TemplateSize(m_nTemplateId);
    auto* host = new CSkinHostDialog(m_pParent != nullptr ? wxGetTopLevelParent(m_pParent) : nullptr, size);
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    if (!wxPanel::Create(host, wxID_ANY, wxPoint(0, 0), size, wxTAB_TRAVERSAL | wxBORDER_NONE)) {
        host->Destroy();
        delete this;
        return wxID_CANCEL;
    }
    m_pHost = host;
    m_pModalHost = host;
    host->SetContent(this);
    Initialise();
    ApplyShape();
    host->CentreOnScreen();
    // The dialog may go while it runs (its owner closed): it is only touched if it still exists.
    wxWeakRef<wxDialog> alive(host);
    int code = host->ShowModal();
    if (alive) {
        host->SetContent(nullptr);
        host->Destroy();
    }
    return code;
}

void CSkinableDialog::EndDialog(int code) {
    if (m_pModalHost == nullptr) return;
    wxDialog* host = m_pModalHost;
    CallAfter([host, code] {
        if (host->IsModal()) host->EndModal(code);
    });
}

void CSkinableDialog::Initialise() {
    Bind(wxEVT_PAINT, &CSkinableDialog::OnPaint, this);
    Bind(wxEVT_BUTTON, &CSkinableDialog::OnCommandEvent, this);
    Bind(wxEVT_MENU, &CSkinableDialog::OnCommandEvent, this);
    Bind(wxEVT_CHAR_HOOK, &CSkinableDialog::OnCharHook, this);
    Bind(wxEVT_LEFT_DOWN, &CSkinableDialog::OnLeftDown, this);
    Bind(wxEVT_LEFT_UP, &CSkinableDialog::OnLeftUp, this);
    Bind(wxEVT_MOTION, &CSkinableDialog::OnMotion, this);
    Bind(wxEVT_MOUSE_CAPTURE_LOST, &CSkinableDialog::OnCaptureLost, this);
    DoDataExchange();
    OnInitDialog();
}

int CSkinableDialog::LoadBitmapA(unsigned bitmapId, COLORREF key, int /*reserved*/) {
    wxBitmap skin = LoadKeyedBitmap(static_cast<int>(bitmapId), key);
    if (!skin.IsOk()) return 0;
    m_skin = skin;
    m_bSkinHasHoles = false;
    wxImage image = skin.ConvertToImage();
    if (image.HasAlpha()) {
        const unsigned char* alpha = image.GetAlpha();
        const int pixels = image.GetWidth() * image.GetHeight();
        m_bSkinHasHoles = std::any_of(alpha, alpha + pixels, [](unsigned char a) { return a < 255; });
    }
    if (m_pHost != nullptr) ApplyShape();
    Refresh(false);
    return 1;
}

// A top-level window takes the outline of its skin: pixels that are at least half opaque.
void CSkinableDialog::ApplyShape() {
    if (m_pHost == nullptr || !m_skin.IsOk() || !m_bSkinHasHoles) return;
    wxImage image = m_skin.ConvertToImage();
    wxImage mask(image.GetWidth(), image.GetHeight());
    const unsigned char* alpha = image.GetAlpha();
    unsigned char* rgb = mask.GetData();
    const int pixels = image.GetWidth() * image.GetHeight();
    for (int i = 0; i < pixels; ++i) {
        unsigned char v = alpha[i] >= 128 ? 255 : 0;
        rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = v;
    }
    wxRegion region(wxBitmap(mask), *wxBLACK);
    m_pHost->SetShape(region);
}

void CSkinableDialog::DrawBackground(wxDC& dc, const wxPoint& origin) {
    const wxSize size = GetClientSize();
    if (!m_skin.IsOk() || m_bSkinHasHoles) {
        auto* skinnedParent = dynamic_cast<CSkinableDialog*>(GetParent());
        if (m_pHost == nullptr && skinnedParent != nullptr) {
            skinnedParent->DrawBackground(dc, origin - GetPosition());
        } else {
            dc.SetPen(*wxTRANSPARENT_PEN);
            dc.SetBrush(wxBrush(m_pHost != nullptr ? wxColour(22, 32, 58) : kPlainBackground));
            dc.DrawRectangle(origin, size);
        }
    }
    if (m_skin.IsOk()) dc.DrawBitmap(m_skin, origin, true);
    for (const Layer& layer : m_layers) {
        if (layer.window->IsShown()) layer.layer->DrawLayer(dc, origin + layer.window->GetPosition());
    }
}

void CSkinableDialog::AddBackgroundLayer(wxWindow* window, CBackgroundLayer* layer) {
    m_layers.push_back({window, layer});
}

void CSkinableDialog::RemoveBackgroundLayer(CBackgroundLayer* layer) {
    m_layers.erase(std::remove_if(m_layers.begin(), m_layers.end(),
                                  [layer](const Layer& l) { return l.layer == layer; }),
                   m_layers.end());
}

void CSkinableDialog::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    DrawBackground(dc, wxPoint(0, 0));
    OnDraw(dc);
}

void CSkinableDialog::OnCommandEvent(wxCommandEvent& event) {
    if (!OnCommand(event.GetId())) event.Skip();
}

void CSkinableDialog::OnCharHook(wxKeyEvent& event) {
    PreTranslateKey(event);
}

// Dragging by the skin moves the frameless top-level window that holds this one.
void CSkinableDialog::OnLeftDown(wxMouseEvent& event) {
    wxWindow* top = wxGetTopLevelParent(this);
    if (dynamic_cast<CSkinHostFrame*>(top) == nullptr && dynamic_cast<CSkinHostDialog*>(top) == nullptr) {
        event.Skip();
        return;
    }
    m_dragOffset = ClientToScreen(event.GetPosition()) - top->GetPosition();
    m_bDragging = true;
    CaptureMouse();
}

void CSkinableDialog::OnLeftUp(wxMouseEvent& event) {
    if (m_bDragging) {
        m_bDragging = false;
        if (HasCapture()) ReleaseMouse();
    }
    event.Skip();
}

void CSkinableDialog::OnMotion(wxMouseEvent& event) {
    if (m_bDragging && event.LeftIsDown()) {
        wxWindow* top = wxGetTopLevelParent(this);
        top->Move(ClientToScreen(event.GetPosition()) - m_dragOffset);
    }
    event.Skip();
}

void CSkinableDialog::OnCaptureLost(wxMouseCaptureLostEvent&) {
    m_bDragging = false;
}

void DrawParentBackground(wxWindow* control, wxDC& dc) {
    auto* skinned = dynamic_cast<CSkinableDialog*>(control->GetParent());
    if (skinned != nullptr) {
        skinned->DrawBackground(dc, -control->GetPosition());
        return;
    }
    wxWindow* parent = control->GetParent();
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(parent != nullptr ? parent->GetBackgroundColour() : kPlainBackground));
    dc.DrawRectangle(wxPoint(0, 0), control->GetClientSize());
}
