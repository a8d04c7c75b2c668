// The text console: status lines printed in opaque 8 x 8 cells of the screen.
#include <algorithm>
#include <cstring>

#include "screen/draw.h"
#include "screen/font.h"
#include "screen/screen.h"
#include "screen/screen_state.h"

namespace {

int textRows(const ScreenState& s) {
    return s.height / 8;
}
int textColumns(const ScreenState& s) {
    return s.width / 8;
}

// Moves the console up one text row when the cursor has gone past the last one, as a terminal
// would; the program's own lines never get that far.
void scrollIfNeeded(ScreenState& s) {
    int rows = textRows(s);
    if (rows < 1 || s.cursorRow <= rows) return;
    std::size_t rowPixels = std::size_t(s.width) * 8;
    std::size_t used = rowPixels * std::size_t(rows);
    std::memmove(s.pixels.data(), s.pixels.data() + rowPixels, (used - rowPixels) * 4);
    std::fill(s.pixels.begin() + std::ptrdiff_t(used - rowPixels),
              s.pixels.begin() + std::ptrdiff_t(used), s.background);
    s.cursorRow = rows;
    markRows(0, rows * 8 - 1);
    markRedrawn(0, rows * 8 - 1);
}

void paintCell(ScreenState& s, unsigned char code) {
    int x0 = (s.cursorColumn - 1) * 8, y0 = (s.cursorRow - 1) * 8;
    for (int r = 0; r < 8; ++r) {
        std::uint8_t bits = glyphRow(code, r);
        std::uint32_t* row = s.pixels.data() + std::size_t(y0 + r) * std::size_t(s.width) + x0;
        for (int c = 0; c < 8; ++c) row[c] = (bits & (0x80 >> c)) ? s.foreground : s.background;
    }
    markRows(y0, y0 + 7);
    markRedrawn(y0, y0 + 7);
}

void newline(ScreenState& s) {
    s.cursorColumn = 1;
    ++s.cursorRow;
}

}  // namespace

void locateText(int row, int column) {
    lockScreen();
    ScreenState& s = screenState();
    if (s.hasMode) {
        int r = row == 0 ? s.cursorRow : row;
        int c = column == 0 ? s.cursorColumn : column;
        if (r >= 1 && r <= textRows(s) && c >= 1 && c <= textColumns(s)) {
            s.cursorRow = r;
            s.cursorColumn = c;
        }
    }
    releaseScreen();
}

void printText(const std::string& text, bool newlineAfter) {
    lockScreen();
    ScreenState& s = screenState();
    if (s.hasMode && textRows(s) >= 1 && textColumns(s) >= 1) {
        for (unsigned char code : text) {
            if (s.cursorColumn > textColumns(s)) newline(s);
            scrollIfNeeded(s);
            paintCell(s, code);
            ++s.cursorColumn;
        }
        if (newlineAfter) newline(s);
    }
    releaseScreen();
}

void printNewline() {
    lockScreen();
    ScreenState& s = screenState();
    if (s.hasMode) newline(s);
    releaseScreen();
}

void setTextColour(std::uint32_t foreground) {
    lockScreen();
    screenState().foreground = foreground;
    releaseScreen();
}

void setTextColour(std::uint32_t foreground, std::uint32_t background) {
    lockScreen();
    screenState().foreground = foreground;
    screenState().background = background;
    releaseScreen();
}

void textCursor(int* row, int* column) {
    lockScreen();
    *row = screenState().cursorRow;
    *column = screenState().cursorColumn;
    releaseScreen();
}
