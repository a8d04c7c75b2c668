#include "editor/menu.h"

#include "screen/draw.h"
#include "screen/screen_input.h"

namespace {

constexpr std::uint32_t kFrameBlack = 0xFF000000;
constexpr std::uint32_t kCaptionBlack = 0xFF000000;
constexpr std::uint32_t kFaceGrey = 0xFFC0C0C0;
constexpr std::uint32_t kFaceCurrentTool = 0xFF00FF00;
constexpr std::uint32_t kFaceUnderPointer = 0xFFFFFFFF;
constexpr std::uint32_t kLightEdge = 0xFFFFFFFF;
constexpr std::uint32_t kDarkEdge = 0xFF404040;

// The tool buttons follow the three buttons that end the editor, in the order of the tools.
constexpr int kFirstToolButton = 3;

struct ButtonLayout {
    const char* caption;
    const char* key;
    int width;
    int gapBefore;  // pixels between this button and the one before it
};

// The three buttons that end the editor stand apart from the four tools by a wider gap.
constexpr ButtonLayout kButtons[] = {
    {"UPLOAD (U)", "u", 96, 0},  {"QUIT (Q)", "q", 96, 2},    {"HIDE (Any Other)", " ", 140, 2},
    {"MARK (1)", "1", 140, 32},  {"CENSOR (2)", "2", 140, 2}, {"CROP (3)", "3", 140, 2},
    {"REVERT (R)", "R", 140, 2},
};

}  // namespace

ButtonTable buildButtonTable(int workHeight) {
    ButtonTable table;
    int x = 8;
    for (std::size_t i = 0; i < table.size(); ++i) {
        const ButtonLayout& layout = kButtons[i];
        if (i > 0) x += table[i - 1].width + layout.gapBefore;
        table[i] = MenuButton{x, workHeight - 38, layout.width, 32, layout.caption, layout.key};
    }
    return table;
}

bool pointerOverButton(const MenuButton& button, int mx, int my) {
    return button.x <= mx && mx <= button.x + button.width && button.y <= my &&
           my <= button.y + button.height;
}

void drawButton(const MenuButton& button, std::uint32_t face) {
    const float x = float(button.x), y = float(button.y);
    const float w = float(button.width), h = float(button.height);
    drawLine(nullptr, x - 1, y - 1, w + 2, h + 2, kFrameBlack, kFilledBox, kSolid, kRelative);
    drawLine(nullptr, x, y, w, h, face, kFilledBox, kSolid, kRelative);
    drawLine(nullptr, x, y, w - 1, 0, kLightEdge, kLine, kSolid, kRelative);
    drawLine(nullptr, x, y, 0, h - 1, kLightEdge, kLine, kSolid, kRelative);
    drawLine(nullptr, x + 1, y + h, w - 1, 0, kDarkEdge, kLine, kSolid, kRelative);
    drawLine(nullptr, x + w, y + 1, 0, h - 1, kDarkEdge, kLine, kSolid, kRelative);
    // Centred on the face with the 8-pixel font, nudged 2 pixels right and 2 down from the
    // geometric centre of the text.
    const float n = float(button.caption.size());
    drawText(nullptr, x + w / 2 - 4 * n + 2, y + h / 2 - 2, button.caption, kCaptionBlack);
}

void updateMenuBar(const ButtonTable& buttons, Tool tool, int mx, int my, int pointerButtons,
                   std::string& lastKey) {
    const int toolButton = kFirstToolButton + int(tool);
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        const MenuButton& button = buttons[i];
        std::uint32_t face = int(i) == toolButton ? kFaceCurrentTool : kFaceGrey;
        if (pointerOverButton(button, mx, my)) {
            // A click only sets the key; the next frame's key dispatch acts on it, and holding
            // the button repeats it every frame.
            if (pointerButtons & kLeftButton) lastKey = button.key;
            face = kFaceUnderPointer;
        }
        drawButton(button, face);
    }
}
