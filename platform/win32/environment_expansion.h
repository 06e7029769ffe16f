// %NAME% references in a text replaced by the values of environment variables.
#pragma once

#include <string>
#include <string_view>

#include "platform/win32/windows_environment.h"

namespace qv {

// Replaces each %NAME% that names a variable by its value. As on Windows, a reference to
// an unknown variable stays as typed and its closing "%" may open the next reference
// ("%unknown%PATH%" keeps "%unknown" and expands "%PATH%"); a lone "%" stays.
std::string ExpandEnvironmentText(std::string_view text, const WindowsEnvironment& environment);

}  // namespace qv
