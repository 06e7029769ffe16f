#include "vendor/ui/message_box_dialog.h"

#include <windows.h>

#include <wx/app.h>
#include <wx/msgdlg.h>

int ShowMessageBoxDialog(const std::string& text, const std::string& caption, unsigned type) {
    long style = 0;
    switch (type & 0x0F) {
    case MB_OKCANCEL: style |= wxOK | wxCANCEL; break;
    case MB_YESNOCANCEL: style |= wxYES_NO | wxCANCEL; break;
    case MB_YESNO: style |= wxYES_NO; break;
    default: style |= wxOK; break;
    }
    switch (type & 0xF0) {
    case MB_ICONERROR: style |= wxICON_ERROR; break;
    case MB_ICONQUESTION: style |= wxICON_QUESTION; break;
    case MB_ICONWARNING: style |= wxICON_WARNING; break;
    case MB_ICONINFORMATION: style |= wxICON_INFORMATION; break;
    default: break;
    }
    wxWindow* parent = wxTheApp != nullptr ? wxTheApp->GetTopWindow() : nullptr;
    int answer = wxMessageBox(wxString::FromUTF8(text), wxString::FromUTF8(caption), style, parent);
    switch (answer) {
    case wxYES: return IDYES;
    case wxNO: return IDNO;
    case wxCANCEL: return IDCANCEL;
    default: return IDOK;
    }
}
