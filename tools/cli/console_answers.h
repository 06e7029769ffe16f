// Message boxes of the engine answered on the terminal: yes with --yes, else asked when
// standard input is a terminal, else no (nothing changes without a clear yes).
#pragma once

#include "platform/win32/message_box.h"

qv::MessageBoxHandler ConsoleAnswers(bool yes);
