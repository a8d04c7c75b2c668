#include "editor/menu.h"

namespace {

struct ButtonSpec {
    const char* caption;
    const char* key;
    int width;
    int gapBefore;  // pixels between this button and the one before it
};

// The three buttons that end the editor stand apart from the four tools by a wider gap.
constexpr ButtonSpec kButtons[] = {
    {"UPLOAD (U)", "u", 96, 0},  {"QUIT (Q)", "q", 96, 2},    {"HIDE (Any Other)", " ", 140, 2},
    {"MARK (1)", "1", 140, 32},  {"CENSOR (2)", "2", 140, 2}, {"CROP (3)", "3", 140, 2},
    {"REVERT (R)", "R", 140, 2},
};

}  // namespace

ButtonTable buildButtonTable(int workHeight) {
    ButtonTable table;
    int x = 8;
    for (std::size_t i = 0; i < table.size(); ++i) {
        const ButtonSpec& spec = kButtons[i];
        if (i > 0) x += table[i - 1].width + spec.gapBefore;
        table[i] = MenuButton{x, workHeight - 38, spec.width, 32, spec.caption, spec.key};
    }
    return table;
}
