#include "quickboot/quick_boot_page.h"

#include <windows.h>

#include "app/string_table.h"
#include "platform/prefix/prefix.h"
#include "quickboot/startup_failure_message.h"
#include "shell/quorvane_main_dlg.h"
#include "vendor/ui/skin_bitmap.h"

CTopicTitleDlgOptimize::CTopicTitleDlgOptimize(wxWindow* parent) : CTopicDlg(kTemplate, parent) {}

bool CTopicTitleDlgOptimize::OnInitDialog() {
    LoadBitmapA(kPageSkin, kSkinKey, 0);
    m_title.Create(this, kBannerId);
    SetupTitleBanner(m_title, 251, std::string(StringText(195)), std::string(StringText(196)));

    m_btnApply.Create("", 0x40000000, 236, 238, 237, 236, 0xC0C0C0, this, kApplyId, 0);
    const std::string applyTip(StringText(206));
    m_btnApply.SetToolTipText(&applyTip, 1);
    m_btnRefresh.Create("", 0x40000000, 239, 241, 240, 239, 0xC0C0C0, this, kRefreshId, 0);
    const std::string refreshTip(StringText(208));
    m_btnRefresh.SetToolTipText(&refreshTip, 1);

    m_list.Create(this, kListId, wxRect(16, 95, 473, 150));
    CreatePageLabel(m_lblResult, this, kResultLabelId, wxRect(50, 259, 350, 18), false);
    // The tip ends inside the page (it is 503 pixels wide).
    CreatePageLabel(m_lblTip, this, kTipId, wxRect(50, 259, 439, 15), false, std::string(StringText(209)));
    m_pPicture = new wxStaticBitmap(this, kPictureId, LoadKeyedBitmap(201, kSkinKey), wxPoint(12, 253));

    PlaceTitleBanner(m_title);
    m_list.SetSize(16, 95, 473, 150);
    m_btnApply.Move(292, 280);
    m_btnApply.Show();
    // The refresh button is made but not offered: every show of the page reads the list again.
    m_btnRefresh.Move(12, 280);
    m_btnRefresh.Hide();
    m_lblResult.Hide();
    m_lblTip.Show();
    m_pPicture->Show();

    m_list.SetGridLines(true);
    m_list.SetCheckBoxes(true);
    m_list.SetColumns(kStartupColumnList);
    return true;
}

bool CTopicTitleDlgOptimize::Show(bool show) {
    bool changed = CTopicDlg::Show(show);
    // Coming into view reads the registry again; unapplied ticks are dropped.
    if (changed && show) RefreshStartupList();
    return changed;
}

bool CTopicTitleDlgOptimize::OnCommand(int id) {
    switch (id) {
    case kApplyId:
        ApplyAndRecord();
        return true;
    case kRefreshId:
        RefreshStartupList();
        return true;
    default:
        return false;
    }
}

void CTopicTitleDlgOptimize::RefreshStartupList() {
    m_list.DeleteAllRows();
    m_manager.RefreshStartupList();
    const std::vector<StartupRow>& rows = m_manager.Rows();
    m_list.Freeze();
    for (size_t i = 0; i < rows.size(); ++i) {
        const StartupRow& row = rows[i];
        const int at = m_list.InsertRow(static_cast<int>(i), row.item, row.path, row.root, row.registry, row.key);
        if (at >= 0) m_list.CheckItem(at, row.checked);
    }
    m_list.Thaw();
    Refresh(false);
}

void CTopicTitleDlgOptimize::TakeCheckStates() {
    const size_t count = std::min(m_manager.Rows().size(), static_cast<size_t>(m_list.GetItemCount()));
    for (size_t i = 0; i < count; ++i) m_manager.SetChecked(i, m_list.IsChecked(static_cast<int>(i)));
}

void CTopicTitleDlgOptimize::ApplyAndRecord(int64_t now) {
    TakeCheckStates();
    const int recorded = m_manager.ApplyAndRecord(now);
    const std::string failure = StartupFailureMessage(m_manager, qv::ActiveRegistryError());
    if (!failure.empty()) MessageBoxA(nullptr, failure.c_str(), StringText(195).data(), MB_OK | MB_ICONWARNING);
    if (recorded && m_pMainDlg != nullptr) m_pMainDlg->ShowPage(6);
    Refresh(false);
}
