// The items of the tray menu as the main window shows them: "Show Program" only while the
// window is hidden, "Hide Program" and "Centralize Quorvane" only while it is visible.
#pragma once

#include <vector>

#include "resources/menus.h"

std::vector<menus::MenuItem> TrayMenuItems(bool windowVisible);
