#include "shell/tray_menu_items.h"

#include "shell/command_ids.h"

std::vector<menus::MenuItem> TrayMenuItems(bool windowVisible) {
    std::vector<menus::MenuItem> items;
    for (const menus::MenuItem& item : menus::kTrayMenu) {
        if (windowVisible && item.id == cmd::kTrayShow) continue;
        if (!windowVisible && (item.id == cmd::kTrayHide || item.id == cmd::kTrayCentre)) continue;
        items.push_back(item);
    }
    return items;
}
