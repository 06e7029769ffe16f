// CSkinableDialog: a window that paints a skin bitmap as its background, built from a dialog
// template id. It lives as a child panel of another window (the pages), as the content of a
// frameless top-level frame (the main window) or of a frameless modal dialog (pop-ups).
//
// Controls on a skinned window have no background of their own: they ask the window for the
// picture behind them (DrawBackground), which is the skin, the parent's picture where the skin
// is transparent, and the background layers (banners) registered with it. The user drags a
// frameless top-level window by its skin.
#pragma once

#include <wx/bitmap.h>
#include <wx/panel.h>
#include <wx/toplevel.h>

#include <vector>

#include "vendor/ui/colorref.h"

class wxDialog;

// A child window whose drawing belongs to its parent's background (a page banner).
class CBackgroundLayer {
public:
    virtual ~CBackgroundLayer() = default;
    // Draws the layer with its top-left corner at `origin` of the DC.
    virtual void DrawLayer(wxDC& dc, const wxPoint& origin) = 0;
};

class CSkinableDialog : public wxPanel {
public:
    // Remembers the template and the parent; the window is made by Create, CreateFrame or
    // DoModal. Objects are made with new: once made, the window belongs to its parent or host
    // and is deleted with it.
    CSkinableDialog(unsigned templateId, wxWindow* parent);
    ~CSkinableDialog() override;

    unsigned TemplateId() const { return m_nTemplateId; }

    // As a child of the parent, hidden, at (0, 0) with the template's size; runs
    // DoDataExchange and OnInitDialog. False when the window could not be made.
    bool Create();

    // As the content of a frameless, fixed-size top-level frame with a taskbar entry, shaped
    // by the skin; runs OnInitDialog and shows it. The frame is destroyed with the window.
    bool CreateFrame(const wxString& title);

    // As the content of a frameless modal dialog centred on the screen; runs OnInitDialog and
    // returns the code given to EndDialog (wxID_CANCEL when the system closed it). The object
    // is deleted with its dialog when the call returns: do not use it afterwards.
    int DoModal();
    // Ends DoModal with `code` once the current event is handled.
    void EndDialog(int code);

    // The frame or dialog that holds this window when it is top-level; null for a child.
    wxTopLevelWindow* HostWindow() const { return m_pHost; }
    // The window that the user sees as this dialog: the host when there is one, else itself.
    wxWindow* OuterWindow() { return m_pHost != nullptr ? static_cast<wxWindow*>(m_pHost) : this; }

    // Loads skin `bitmapId` with `key` as its transparent colour (the third argument is
    // reserved, always 0). Non-zero on success. A top-level window takes the skin's outline.
    int LoadBitmapA(unsigned bitmapId, COLORREF key, int reserved);
    // Realises the skin's palette; the true-colour skins have none, so nothing is to do.
    void RealizePalette() {}

    // The picture behind a point of this window, drawn with this window's (0, 0) at `origin`.
    void DrawBackground(wxDC& dc, const wxPoint& origin);
    void AddBackgroundLayer(wxWindow* window, CBackgroundLayer* layer);
    void RemoveBackgroundLayer(CBackgroundLayer* layer);

    // Called by the host when the system asks to close it (Alt+F4, the window manager's
    // close). Return true to let the host close. The default agrees.
    virtual bool OnSystemClose() { return true; }

protected:
    virtual bool OnInitDialog() { return true; }
    virtual void DoDataExchange() {}
    // Draws over the skin; nothing by default.
    virtual void OnDraw(wxDC&) {}
    // A command (button, link label or menu) with `id`; true when handled. Unhandled
    // commands go on to the parent window.
    virtual bool OnCommand(int /*id*/) { return false; }
    // Every key press in this window or its controls before they see it. The default lets
    // the key go its usual way (skip), in which a modal dialog ends on Escape.
    virtual void PreTranslateKey(wxKeyEvent& event) { event.Skip(); }

private:
    friend class CSkinHostFrame;
    friend class CSkinHostDialog;

    void Initialise();
    void ApplyShape();
    void OnPaint(wxPaintEvent& event);
    void OnCommandEvent(wxCommandEvent& event);
    void OnCharHook(wxKeyEvent& event);
    void OnLeftDown(wxMouseEvent& event);
    void OnLeftUp(wxMouseEvent& event);
    void OnMotion(wxMouseEvent& event);
    void OnCaptureLost(wxMouseCaptureLostEvent& event);

    struct Layer {
        wxWindow* window;
        CBackgroundLayer* layer;
    };

    unsigned m_nTemplateId;
    wxWindow* m_pParent;
    wxTopLevelWindow* m_pHost = nullptr;
    wxDialog* m_pModalHost = nullptr;
    wxBitmap m_skin;
    bool m_bSkinHasHoles = false;
    std::vector<Layer> m_layers;
    bool m_bDragging = false;
    wxPoint m_dragOffset;  // pointer position within the top-level window when a drag began
};

// Draws the background of a control that sits on `control`'s parent: the parent's skin
// picture when the parent is a skinned window, else the parent's background colour.
void DrawParentBackground(wxWindow* control, wxDC& dc);
