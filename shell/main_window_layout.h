// The main window's buttons: id, position, the four faces (normal, hover, pressed,
// disabled), key colour, the create call's last value and the tooltip's string id; and where
// the pages sit.
#pragma once

#include "shell/command_ids.h"

namespace main_layout {

struct ButtonSpec {
    int id;
    int x;
    int y;
    unsigned faces[4];
    unsigned key;
    unsigned extra;
    int tooltip;  // string id
};

inline constexpr ButtonSpec kScanButton{cmd::kScan, 1, 41, {131, 133, 132, 205}, 0xC0C0C0, 0, 102};
inline constexpr ButtonSpec kQuickBootButton{cmd::kQuickBoot, 1, 110, {234, 233, 232, 235}, 0xC0C0C0, 0, 194};
inline constexpr ButtonSpec kBackupButton{cmd::kBackup, 1, 179, {137, 139, 138, 206}, 0xC0C0C0, 0, 104};
inline constexpr ButtonSpec kOptionsButton{cmd::kOptions, 1, 248, {142, 141, 140, 209}, 0xC0C0C0, 0, 105};
inline constexpr ButtonSpec kMinimizeButton{cmd::kMinimize, 621, 6, {154, 153, 158, 158}, 0x00FF00, 0x080808, 111};
inline constexpr ButtonSpec kCloseButton{cmd::kClose, 646, 6, {157, 156, 155, 155}, 0x00FF00, 0x080808, 112};

inline constexpr int kPageX = 185;
inline constexpr int kPageY = 41;

inline constexpr unsigned kMainTemplate = 102;
inline constexpr unsigned kMainSkin = 129;
inline constexpr unsigned kMainSkinKey = 0x00FF00;

}  // namespace main_layout
