// CFindingDetailsStrip: the strip under the results list that shows the selected row in
// full: where its entry is, what the entry holds, and why it is listed. Without a selection
// it gives the number of rows and how to see a row's details.
#pragma once

#include <wx/window.h>

#include <string>

#include "results/finding_details.h"

class CFindingDetailsStrip : public wxWindow {
public:
    CFindingDetailsStrip(wxWindow* parent, const wxRect& rect);

    void ShowDetails(const FindingDetails& details);
    void ShowRowCount(int rows);
    // The three lines as shown (before any shortening to the strip's width).
    const std::string& Line(int index) const { return m_lines[index]; }

private:
    void OnPaint(wxPaintEvent& event);

    std::string m_lines[3];
    bool m_bDetails = false;
};
