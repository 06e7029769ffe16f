#include "pages/about_dlg.h"

#include <wx/button.h>
#include <wx/statbmp.h>

#include "app/string_table.h"
#include "app/version_text.h"
#include "resources/dialog_templates.h"
#include "vendor/ui/skin_bitmap.h"

CDlgQuorvaneAbout::CDlgQuorvaneAbout()
    : wxDialog(nullptr, wxID_ANY, wxString::FromUTF8(StringText(192).data()), wxDefaultPosition,
               wxDefaultSize, wxDEFAULT_DIALOG_STYLE) {
    const dialog_templates::DialogTemplate* t = dialog_templates::FindTemplate(100);
    SetClientSize(t->width, t->height);
    SetBackgroundColour(wxColour(0xF6, 0xF8, 0xFC));
    new wxStaticBitmap(this, wxID_ANY, LoadIconBitmap(40), wxPoint(12, 12), wxSize(40, 40));
    m_lblVersion.Create(this, 1071, wxRect(60, 15, 220, 20), VersionText());
    m_lblVersion.SetFont("Tahoma", 14, 1, 0);
    m_lblVersion.SetTextColor(0x00482B1E);
    m_lblNotice.Create(this, 1070, wxRect(60, 40, 320, 20), std::string(StringText(193)));
    m_lblNotice.SetTextColor(0x00494949);
    auto* ok = new wxButton(this, wxID_OK, "OK", wxPoint(t->width - 97, t->height - 40), wxSize(85, 30));
    ok->SetDefault();
    ok->SetFocus();
    CentreOnScreen();
}
