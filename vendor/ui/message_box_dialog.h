// Message boxes of the platform layer shown as dialogs: the handler the GUI installs with
// qv::SetMessageBoxHandler.
#pragma once

#include <string>

// Shows `text` under `caption` with the buttons and icon of a MessageBoxA type and returns
// the button chosen (IDOK, IDCANCEL, IDYES, IDNO).
int ShowMessageBoxDialog(const std::string& text, const std::string& caption, unsigned type);
