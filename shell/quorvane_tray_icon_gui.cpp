#include "shell/quorvane_tray_icon_gui.h"

#include "app/string_table.h"
#include "shell/command_ids.h"
#include "shell/quorvane_main_dlg.h"
#include "vendor/ui/skin_bitmap.h"

CQuorvaneTrayIcon::CQuorvaneTrayIcon(CQuorvaneDlg* owner) : m_pOwner(owner) {
    Bind(wxEVT_TASKBAR_LEFT_DOWN, &CQuorvaneTrayIcon::OnLeftDown, this);
    Bind(wxEVT_MENU, &CQuorvaneTrayIcon::OnMenu, this);
}

bool CQuorvaneTrayIcon::Install() {
    wxIcon icon;
    icon.CopyFromBitmap(LoadIconBitmap(32));
    return SetIcon(wxBitmapBundle(icon), wxString::FromUTF8(StringText(107).data()));
}

wxMenu* CQuorvaneTrayIcon::CreatePopupMenu() {
    return m_pOwner->BuildTrayMenu();
}

void CQuorvaneTrayIcon::OnLeftDown(wxTaskBarIconEvent&) {
    m_pOwner->OnTrayLeftClick();
}

void CQuorvaneTrayIcon::OnMenu(wxCommandEvent& event) {
    // The owner may end the program from here (Exit): run the command after the menu closed.
    CQuorvaneDlg* owner = m_pOwner;
    int id = CommandOfMenuItem(event.GetId());
    owner->CallAfter([owner, id] { owner->RunCommand(id); });
}
