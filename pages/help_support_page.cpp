#include "pages/help_support_page.h"

#include "app/string_table.h"

CTopicDlgHelpNSupport::CTopicDlgHelpNSupport(wxWindow* parent) : CTopicDlg(117, parent) {}

bool CTopicDlgHelpNSupport::OnInitDialog() {
    LoadBitmapA(kPageSkin, kSkinKey, 0);
    m_title.Create(this, 1009);
    SetupTitleBanner(m_title, 168, std::string(StringText(118)), std::string(StringText(119)));
    CreatePageLabel(m_lblDescription, this, 1074, wxRect(16, 95, 450, 400), true, std::string(StringText(205)));
    PlaceTitleBanner(m_title);
    m_lblDescription.SetSize(16, 95, 450, 400);
    m_lblDescription.Show();
    return true;
}
