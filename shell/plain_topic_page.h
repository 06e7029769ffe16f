// A page that shows its banner: the look of a page whose own content is still to come.
#pragma once

#include <string>

#include "shell/topic_dlg.h"
#include "vendor/ui/topic_title.h"

class CPlainTopicPage : public CTopicDlg {
public:
    CPlainTopicPage(unsigned templateId, wxWindow* parent, unsigned bannerImage, std::string title,
                    std::string description);

    CTopicTitle& Banner() { return m_title; }

protected:
    bool OnInitDialog() override;

private:
    CTopicTitle m_title;
    unsigned m_nBannerImage;
    std::string m_sTitle;
    std::string m_sDescription;
};
