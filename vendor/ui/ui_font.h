// Fonts as the skin library's callers name them: a face, a character height in pixels, a
// weight argument (non-zero: bold) and flags (1 italic, 2 underlined). A face the system
// lacks is replaced by DejaVu Sans.
#pragma once

#include <wx/font.h>

#include <string>

inline constexpr int kFontItalic = 1;
inline constexpr int kFontUnderline = 2;

wxFont MakeUiFont(const std::string& face, int pixelHeight, int weight, int flags);
