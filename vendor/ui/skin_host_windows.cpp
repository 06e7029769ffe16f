#include "vendor/ui/skin_host_windows.h"

#include "vendor/ui/skinable_dialog.h"

CSkinHostFrame::CSkinHostFrame(const wxString& title, const wxSize& size)
    // The size is given here: a borderless frame sized after creation can come out 1 x 1.
    : wxFrame(nullptr, wxID_ANY, title, wxDefaultPosition, size,
              wxFRAME_SHAPED | wxBORDER_NONE | wxMINIMIZE_BOX | wxSYSTEM_MENU | wxCLIP_CHILDREN) {
    SetSizeHints(size, size);
    Bind(wxEVT_CLOSE_WINDOW, &CSkinHostFrame::OnClose, this);
}

void CSkinHostFrame::OnClose(wxCloseEvent& event) {
    if (m_pContent != nullptr && !m_pContent->OnSystemClose() && event.CanVeto()) {
        event.Veto();
        return;
    }
    Destroy();
}

CSkinHostDialog::CSkinHostDialog(wxWindow* parent, const wxSize& size)
    : wxDialog(parent, wxID_ANY, wxString(), wxDefaultPosition, size,
               wxFRAME_SHAPED | wxBORDER_NONE | wxSYSTEM_MENU | wxCLIP_CHILDREN) {
    SetSizeHints(size, size);
    Bind(wxEVT_CLOSE_WINDOW, &CSkinHostDialog::OnClose, this);
    Bind(wxEVT_CHAR_HOOK, &CSkinHostDialog::OnCharHook, this);
}

void CSkinHostDialog::OnCharHook(wxKeyEvent& event) {
    if (m_pContent != nullptr && event.GetEventObject() == this) {
        m_pContent->PreTranslateKey(event);
        return;
    }
    event.Skip();
}

void CSkinHostDialog::OnClose(wxCloseEvent& event) {
    if (m_pContent != nullptr && !m_pContent->OnSystemClose() && event.CanVeto()) {
        event.Veto();
        return;
    }
    if (IsModal()) EndModal(wxID_CANCEL);
}
