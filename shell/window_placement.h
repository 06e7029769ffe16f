// Where "Centralize Quorvane" puts the main window: its top-left corner at half the screen
// size less (351, 271), with integer division truncating toward zero.
#pragma once

struct WindowOrigin {
    int x;
    int y;
};

constexpr WindowOrigin CenteredWindowOrigin(int screenWidth, int screenHeight) {
    return {screenWidth / 2 - 351, screenHeight / 2 - 271};
}
