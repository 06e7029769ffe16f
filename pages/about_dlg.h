// CDlgQuorvaneAbout: the About box, a plain dialog: the program icon, the version text, the
// maker's notice and an OK button. OK and Escape close it.
#pragma once

#include <wx/dialog.h>

#include "vendor/ui/label.h"

class CDlgQuorvaneAbout : public wxDialog {
public:
    // Without a parent window, as the program shows it.
    CDlgQuorvaneAbout();

    const CLabel& VersionLabel() const { return m_lblVersion; }
    const CLabel& NoticeLabel() const { return m_lblNotice; }

private:
    CLabel m_lblVersion;  // 1071
    CLabel m_lblNotice;   // 1070
};
