// quorvane: the program's window, on the Wine prefix in WINEPREFIX (else ~/.wine, else
// Quorvane's own prefix). Its one switch is /startup.
#include "app/quorvane_app_gui.h"

wxIMPLEMENT_APP(CQuorvaneApp);
