#include "vendor/ui/text_wrap.h"

#include <wx/tokenzr.h>

namespace {

int Width(const wxDC& dc, const wxString& text) {
    return dc.GetTextExtent(text).GetWidth();
}

// Appends the pieces of one word that is too wide for a line on its own.
void BreakLongWord(const wxDC& dc, const wxString& word, int width, std::vector<wxString>& lines,
                   wxString& current) {
    for (wxUniChar c : word) {
        wxString candidate = current + c;
        if (!current.empty() && Width(dc, candidate) > width) {
            lines.push_back(current);
            current = wxString(c);
        } else {
            current = candidate;
        }
    }
}

}  // namespace

std::vector<wxString> WrapText(const wxDC& dc, const wxString& text, int width, bool softBreaks) {
    std::vector<wxString> lines;
    wxStringTokenizer paragraphs(text, "\n", wxTOKEN_RET_EMPTY_ALL);
    while (paragraphs.HasMoreTokens()) {
        wxString paragraph = paragraphs.GetNextToken();
        // Joins the following lines while the paragraph does not fit on one line.
        while (softBreaks && paragraphs.HasMoreTokens() && Width(dc, paragraph) > width) {
            wxString next = paragraphs.GetNextToken();
            if (next.empty()) {
                // A blank line stays a paragraph break: put it back by ending here.
                std::vector<wxString> head = WrapText(dc, paragraph, width);
                lines.insert(lines.end(), head.begin(), head.end());
                paragraph.clear();
                break;
            }
            paragraph += " " + next;
        }
        if (paragraph.empty()) {
            lines.push_back(wxString());
            continue;
        }
        wxString current;
        wxStringTokenizer words(paragraph, " ", wxTOKEN_STRTOK);
        while (words.HasMoreTokens()) {
            wxString word = words.GetNextToken();
            wxString candidate = current.empty() ? word : current + " " + word;
            if (Width(dc, candidate) <= width) {
                current = candidate;
                continue;
            }
            if (!current.empty()) lines.push_back(current);
            current.clear();
            if (Width(dc, word) <= width) {
                current = word;
            } else {
                BreakLongWord(dc, word, width, lines, current);
            }
        }
        lines.push_back(current);
    }
    return lines;
}
