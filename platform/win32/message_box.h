// Message boxes of the Win32 stand-in. Every MessageBoxA goes through one replaceable
// handler: the GUI installs one that shows a dialog, tests install one that answers.
#pragma once

#include <functional>
#include <string>

namespace qv {

// Shows the message and returns the button chosen (IDOK, IDYES, IDNO, IDCANCEL, ...).
using MessageBoxHandler =
    std::function<int(const std::string& text, const std::string& caption, unsigned type)>;

// Installs a handler and returns the one it replaces. An empty handler restores the default.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// The handler used without a GUI: writes the caption and the text to standard error and
// answers at once, never waiting for input: IDOK for a plain message, and otherwise the
// answer that changes nothing (IDNO for a yes/no question, IDCANCEL where there is a
// Cancel button).
int DefaultMessageBoxHandler(const std::string& text, const std::string& caption, unsigned type);

}  // namespace qv
