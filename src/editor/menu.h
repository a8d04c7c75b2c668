// The editor's menu bar: seven buttons along the bottom of the window, each standing for a key.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "editor/tool.h"

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

// True when (mx, my) lies on the button, its right and bottom edges included.
bool pointerOverButton(const MenuButton& button, int mx, int my);

// Draws one button on the window: a black frame, the face, light top-left and dark bottom-right
// edges, and the caption in black.
void drawButton(const MenuButton& button, std::uint32_t face);

// The menu bar's part of an editor frame: hit-tests and draws every button in table order. The
// current tool's button is green and the button under the pointer white; a held left button over
// a button puts a copy of its key into `lastKey`, which the next frame acts upon. `pointerButtons`
// is readMouse's button bits (-1 while the pointer is unavailable, which is over no button).
void updateMenuBar(const ButtonTable& buttons, Tool tool, int mx, int my, int pointerButtons,
                   std::string& lastKey);
