// Command ids of the main window: its buttons, the help menu and the tray menu.
#pragma once

namespace cmd {

inline constexpr int kMinimize = 0x9000;
inline constexpr int kClose = 0x9001;
inline constexpr int kScan = 0x9004;
inline constexpr int kBackup = 0x9006;
inline constexpr int kOptions = 0x9007;
inline constexpr int kQuickBoot = 0x9009;

inline constexpr int kHelpTopics = 32773;
inline constexpr int kAbout = 32774;
inline constexpr int kContactUs = 32775;
inline constexpr int kHelpOnline = 32776;

inline constexpr int kTrayShow = 32778;
inline constexpr int kTrayHide = 32779;
inline constexpr int kTrayCentre = 32780;
inline constexpr int kTrayHomePage = 32781;
inline constexpr int kTrayOnlineHelp = 32782;
inline constexpr int kTrayAbout = 32783;
inline constexpr int kTrayExit = 32784;

// Menu items carry their command less this offset: the toolkit takes item ids below 0x7FFF
// only, and the menu commands lie above it.
inline constexpr int kMenuIdOffset = 30000;

// The link in the title bar that opens the help menu.
inline constexpr int kHelpMenuLink = 0x9020;
// The link in the title area that names the prefix and opens the prefix chooser.
inline constexpr int kPrefixChooserLink = 0x9021;

}  // namespace cmd

constexpr int MenuItemId(int command) {
    return command - cmd::kMenuIdOffset;
}
constexpr int CommandOfMenuItem(int itemId) {
    return itemId + cmd::kMenuIdOffset;
}
