#include "shell/plain_topic_page.h"

#include <utility>

CPlainTopicPage::CPlainTopicPage(unsigned templateId, wxWindow* parent, unsigned bannerImage,
                                 std::string title, std::string description)
    : CTopicDlg(templateId, parent),
      m_nBannerImage(bannerImage),
      m_sTitle(std::move(title)),
      m_sDescription(std::move(description)) {}

bool CPlainTopicPage::OnInitDialog() {
    LoadBitmapA(kPageSkin, kSkinKey, 0);
    m_title.Create(this, 1002);
    SetupTitleBanner(m_title, m_nBannerImage, m_sTitle, m_sDescription);
    PlaceTitleBanner(m_title);
    return true;
}
