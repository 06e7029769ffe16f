// Breaking a text into lines that fit a width, as the labels and banners draw it: explicit
// line breaks ("\n") are kept, lines are broken between words, and a word longer than the
// width is broken between characters.
#pragma once

#include <wx/dc.h>

#include <vector>

// With `softBreaks`, a line break that follows a line which itself had to be broken counts
// as a blank, so a text written for a wider box does not leave a stray short line.
std::vector<wxString> WrapText(const wxDC& dc, const wxString& text, int width, bool softBreaks = false);
