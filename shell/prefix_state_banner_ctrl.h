// CPrefixStateBanner: the strip along the foot of the main window that says, on every page,
// what keeps Quorvane from changing the prefix (Wine running in it). A click shows the whole
// explanation with the command that stops Wine. Hidden while there is nothing to say.
#pragma once

#include <wx/window.h>

#include <string>

class CPrefixStateBanner : public wxWindow {
public:
    CPrefixStateBanner(wxWindow* parent, const wxRect& rect);

    // `line` is the strip's text and `details` what a click shows; an empty line hides it.
    void SetNotice(const std::string& line, const std::string& details);
    const std::string& Line() const { return m_line; }
    const std::string& Details() const { return m_details; }
    // What a click does.
    void ShowDetails() const;

private:
    void OnPaint(wxPaintEvent& event);

    std::string m_line;
    std::string m_details;
};
