#include "pages/options_page.h"

#include <windows.h>

#include "app/string_table.h"

CTopicDlgOptions::CTopicDlgOptions(wxWindow* parent)
    : CTopicDlg(kTemplate, parent), m_model(CRunAtStart(RunAtStartTarget::ForThisProgram())) {}

bool CTopicDlgOptions::OnInitDialog() {
    LoadBitmapA(kPageSkin, kSkinKey, 0);
    m_title.Create(this, kBannerId);
    SetupTitleBanner(m_title, 227, std::string(StringText(180)), std::string(StringText(181)));
    m_btnSave.Create("", 0x40000000, 230, 229, 228, 230, 0xC0C0C0, this, kSaveId, 0);
    const std::string tip(StringText(191));
    m_btnSave.SetToolTipText(&tip, 1);

    // The toolkit's check box keeps the size of its indicator; each label starts after it.
    struct Row {
        wxCheckBox*& box;
        int boxId;
        CLabel& label;
        int labelId;
        int y;
        int width;
        int text;
    };
    const Row rows[] = {
        {m_pRunAtStart, kRunAtStartBoxId, m_lblRunAtStart, kRunAtStartLabelId, 140, 280, 182},
        {m_pRestorePoint, kRestorePointBoxId, m_lblRestorePoint, kRestorePointLabelId, 175, 330, 197},
        {m_pCheckUpdate, kCheckUpdateBoxId, m_lblCheckUpdate, kCheckUpdateLabelId, 210, 280, 183},
    };
    PlaceTitleBanner(m_title);
    for (const Row& row : rows) {
        row.box = new wxCheckBox(this, row.boxId, "", wxPoint(16, row.y));
        const wxSize box = row.box->GetSize();
        const int x = std::max(33, 16 + box.GetWidth() + 6);
        CreatePageLabel(row.label, this, row.labelId, wxRect(x, row.y + (box.GetHeight() - 15) / 2, row.width, 15),
                        false, LoadStringText(row.text));
        row.label.SetLink(true);
        row.label.SetCursor(wxCursor(wxCURSOR_HAND));
        row.box->Show();
        row.label.Show();
    }
    m_btnSave.Move(292, 280);
    m_btnSave.Show();

    m_model.Initialize();
    m_pRunAtStart->SetValue(m_model.m_bRunAtStart);
    m_pCheckUpdate->SetValue(m_model.m_bCheckUpdate);
    m_pRestorePoint->SetValue(m_model.m_bRestorePoint);
    if (!m_model.Error().empty()) ReportSaveError();
    return true;
}

bool CTopicDlgOptions::Show(bool show) {
    bool changed = CTopicDlg::Show(show);
    if (changed && show) SyncRunAtStartBox();
    return changed;
}

void CTopicDlgOptions::SyncRunAtStartBox() {
    // Without a "Startup" setting the box stays as it is.
    m_model.m_bRunAtStart = m_pRunAtStart->GetValue();
    const int ok = m_model.SyncRunAtStartBox();
    m_pRunAtStart->SetValue(m_model.m_bRunAtStart);
    if (!ok) ReportSaveError();
}

void CTopicDlgOptions::SaveOptions() {
    m_model.m_bRunAtStart = m_pRunAtStart->GetValue();
    m_model.m_bCheckUpdate = m_pCheckUpdate->GetValue();
    m_model.m_bRestorePoint = m_pRestorePoint->GetValue();
    if (!m_model.SaveOptions()) ReportSaveError();
    m_btnSave.Refresh(false);
}

void CTopicDlgOptions::Toggle(wxCheckBox& box) {
    box.SetValue(!box.GetValue());
}

void CTopicDlgOptions::ReportSaveError() {
    const std::string_view what = m_model.SettingsNotSaved() ? StringText(923) : StringText(922);
    MessageBoxA(nullptr, (std::string(what) + m_model.Error()).c_str(), StringText(180).data(),
                MB_OK | MB_ICONWARNING);
}

bool CTopicDlgOptions::OnCommand(int id) {
    switch (id) {
    case kRunAtStartLabelId:
        Toggle(*m_pRunAtStart);
        return true;
    case kCheckUpdateLabelId:
        Toggle(*m_pCheckUpdate);
        return true;
    case kRestorePointLabelId:
        Toggle(*m_pRestorePoint);
        return true;
    case kSaveId:
        SaveOptions();
        return true;
    default:
        return false;
    }
}
