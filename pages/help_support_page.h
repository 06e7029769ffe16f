// CTopicDlgHelpNSupport: the help and support page: its banner and the description of the
// program and its three features.
#pragma once

#include "shell/topic_dlg.h"
#include "vendor/ui/label.h"
#include "vendor/ui/topic_title.h"

class CTopicDlgHelpNSupport : public CTopicDlg {
public:
    explicit CTopicDlgHelpNSupport(wxWindow* parent);

    const CTopicTitle& Banner() const { return m_title; }
    const CLabel& Description() const { return m_lblDescription; }

protected:
    bool OnInitDialog() override;

private:
    CTopicTitle m_title;      // 1009
    CLabel m_lblDescription;  // 1074
};
