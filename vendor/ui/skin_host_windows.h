// The top-level windows that hold a skinned window: a frameless, fixed-size frame with a
// taskbar entry (the main window) and a frameless modal dialog (pop-ups). Both take the
// skin's outline and pass the system's close request to the skinned window.
#pragma once

#include <wx/dialog.h>
#include <wx/frame.h>

class CSkinableDialog;

class CSkinHostFrame : public wxFrame {
public:
    CSkinHostFrame(const wxString& title, const wxSize& size);
    void SetContent(CSkinableDialog* content) { m_pContent = content; }

private:
    void OnClose(wxCloseEvent& event);
    CSkinableDialog* m_pContent = nullptr;
};

class CSkinHostDialog : public wxDialog {
public:
    CSkinHostDialog(wxWindow* parent, const wxSize& size);
    void SetContent(CSkinableDialog* content) { m_pContent = content; }

private:
    void OnClose(wxCloseEvent& event);
    // Keys that reach the dialog itself go through the content's key handling too.
    void OnCharHook(wxKeyEvent& event);
    CSkinableDialog* m_pContent = nullptr;
};
