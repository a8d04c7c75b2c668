// The editor's menu bar: seven buttons along the bottom of the window, each standing for a key.
#pragma once

#include <array>
#include <string>

struct MenuButton {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    std::string caption;
    std::string key;  // the key a click stands for
};

using ButtonTable = std::array<MenuButton, 7>;

// Lays the buttons out along the bottom of a window `workHeight` pixels tall.
ButtonTable buildButtonTable(int workHeight);
