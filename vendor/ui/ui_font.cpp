#include "vendor/ui/ui_font.h"

#include <wx/fontenum.h>

wxFont MakeUiFont(const std::string& face, int pixelHeight, int weight, int flags) {
    wxString name = wxString::FromUTF8(face);
    if (name.empty() || !wxFontEnumerator::IsValidFacename(name)) name = "DejaVu Sans";
    wxFontInfo info(wxSize(0, pixelHeight > 0 ? pixelHeight : 13));
    info.FaceName(name).Bold(weight != 0).Italic((flags & kFontItalic) != 0).Underlined((flags & kFontUnderline) != 0);
    return wxFont(info);
}
