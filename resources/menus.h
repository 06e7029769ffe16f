// The program's menu templates: the help menu (231) and the tray menu (261). An item with
// id 0 is a separator.
#pragma once

namespace menus {

struct MenuItem {
    int id;
    const char* text;
};

inline constexpr MenuItem kHelpMenu[] = {
    {32773, "Help Topics"}, {0, ""},
    {32776, "Help Online"}, {32775, "Contact Us"}, {0, ""},
    {32774, "About Quorvane"},
};

inline constexpr MenuItem kTrayMenu[] = {
    {32778, "Show Program"}, {32779, "Hide Program"}, {32780, "Centralize Quorvane"}, {0, ""},
    {32781, "Visit Homepage"}, {32782, "Online Help"}, {32783, "About"}, {0, ""},
    {32784, "Exit"},
};

}  // namespace menus
