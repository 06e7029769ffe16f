#include "app/quorvane_app_gui.h"

#include <windows.h>

#include <wx/image.h>
#include <wx/msgdlg.h>

#include <exception>

#include "platform/prefix/prefix.h"
#include "platform/registry/registry_store.h"
#include "platform/win32/command_line.h"
#include "platform/win32/message_box.h"
#include "shell/quorvane_main_dlg.h"
#include "vendor/ui/message_box_dialog.h"

bool CQuorvaneApp::OnInit() {
    qv::SetCommandLineArgs(argc, argv);
    wxInitAllImageHandlers();
    SetAppName("quorvane");
    SetAppDisplayName("Quorvane");
    qv::SetMessageBoxHandler(ShowMessageBoxDialog);

    std::shared_ptr<qv::Prefix> prefix;
    try {
        prefix = qv::OpenUserPrefix();
    } catch (const std::exception& e) {
        wxMessageBox(wxString::FromUTF8(e.what()), "Quorvane", wxOK | wxICON_ERROR);
        return false;
    }
    // What the loader reported is said on the home page and at the window's foot, in plain
    // words, instead of in a row of boxes before the window opens.
    (void)prefix;

    auto* dialog = new CQuorvaneDlg(GetCommandLineA());
    if (!dialog->CreateMainWindow()) {
        delete dialog;
        return false;
    }
    SetTopWindow(dialog->HostWindow());
    return true;
}

int CQuorvaneApp::OnExit() {
    qv::SetMessageBoxHandler(nullptr);
    return wxApp::OnExit();
}
