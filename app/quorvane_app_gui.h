// CQuorvaneApp: the program. It opens the Wine prefix the user means, shows the main window
// and ends when the main window is gone. Platform message boxes become dialogs.
#pragma once

#include <wx/app.h>

class CQuorvaneApp : public wxApp {
public:
    bool OnInit() override;
    int OnExit() override;
};

wxDECLARE_APP(CQuorvaneApp);
