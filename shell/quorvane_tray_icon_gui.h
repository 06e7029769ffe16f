// The main window's icon in the notification area: a left click brings the window back, a
// right click opens the tray menu, and the menu's commands go to the main window. Where the
// desktop has no notification area the icon is set all the same and simply not seen.
#pragma once

#include <wx/taskbar.h>

class CQuorvaneDlg;

class CQuorvaneTrayIcon : public wxTaskBarIcon {
public:
    explicit CQuorvaneTrayIcon(CQuorvaneDlg* owner);
    // Shows the icon with the tip "Quorvane"; false when the system refused it.
    bool Install();

protected:
    // The menu for a right click comes from the main window, built for the window's
    // visibility at that moment.
    wxMenu* CreatePopupMenu() override;

private:
    void OnLeftDown(wxTaskBarIconEvent& event);
    void OnMenu(wxCommandEvent& event);

    CQuorvaneDlg* m_pOwner;
};
