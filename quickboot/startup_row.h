// One row of the Quick Boot list: a startup program, and whether it is to start.
#pragma once

#include <string>

struct StartupRow {
    std::string item;      // the Run value's name
    std::string path;      // the command that starts it
    std::string root;      // "HKCU", "HKLM" (for a switched-off item: the text its record keeps)
    std::string registry;  // the Run key's path below that root
    std::string key;       // always empty
    bool checked = false;  // checked: the program is to start with Windows
};
