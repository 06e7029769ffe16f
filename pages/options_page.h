// CTopicDlgOptions: the options page. Three check boxes, each with a label that toggles it
// when clicked: run the program when Windows starts, check for a new version when the home
// page opens, create a restore point before a scan. Nothing changes until "Save Changes".
//
// The settings and the run-at-start switch are COptionsModel's; the page copies its boxes
// into the model to save them. When the page comes into view again only the run-at-start box
// is read again, so other unsaved ticks survive switching pages.
#pragma once

#include <wx/checkbox.h>

#include "app/options_model.h"
#include "shell/topic_dlg.h"
#include "vendor/ui/bmp_button.h"
#include "vendor/ui/label.h"
#include "vendor/ui/topic_title.h"

class CTopicDlgOptions : public CTopicDlg {
public:
    static constexpr unsigned kTemplate = 116;
    static constexpr int kBannerId = 1064;
    static constexpr int kRunAtStartBoxId = 1065;
    static constexpr int kRunAtStartLabelId = 1066;
    static constexpr int kCheckUpdateBoxId = 1067;
    static constexpr int kCheckUpdateLabelId = 1068;
    static constexpr int kRestorePointBoxId = 1069;
    static constexpr int kRestorePointLabelId = 1070;
    static constexpr int kSaveId = 36881;

    explicit CTopicDlgOptions(wxWindow* parent);

    // Reads the run-at-start box from the settings (an installer's 2 or 3 switches first).
    void SyncRunAtStartBox();
    // The save button: writes the three settings and switches running at start to match.
    void SaveOptions();

    bool Show(bool show = true) override;

    // ---- for tests and the screenshots
    wxCheckBox& RunAtStartBox() { return *m_pRunAtStart; }
    wxCheckBox& CheckUpdateBox() { return *m_pCheckUpdate; }
    wxCheckBox& RestorePointBox() { return *m_pRestorePoint; }
    CLabel& RunAtStartLabel() { return m_lblRunAtStart; }
    CLabel& CheckUpdateLabel() { return m_lblCheckUpdate; }
    CLabel& RestorePointLabel() { return m_lblRestorePoint; }
    CBMPButton& SaveButton() { return m_btnSave; }

    void SetWritingUnavailable(const std::string& reason) override { m_btnSave.SetUnavailable(reason); }

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id) override;

private:
    static void Toggle(wxCheckBox& box);
    // Tells the user that running at start could not be switched, and why.
    void ReportSaveError();

    COptionsModel m_model;
    CTopicTitle m_title;                    // 1064
    wxCheckBox* m_pRunAtStart = nullptr;    // 1065, owned by the window
    CLabel m_lblRunAtStart;                 // 1066
    wxCheckBox* m_pRestorePoint = nullptr;  // 1069
    CLabel m_lblRestorePoint;               // 1070
    wxCheckBox* m_pCheckUpdate = nullptr;   // 1067
    CLabel m_lblCheckUpdate;                // 1068
    CBMPButton m_btnSave;                   // 36881
};
