#include <gtest/gtest.h>
#include <windows.h>

#include "screen/keymap_win32.h"
#include "screen/screen_input.h"

namespace {

int plain(unsigned int vk) {
    return win32KeyCode(vk, false, false, false);
}
int shift(unsigned int vk) {
    return win32KeyCode(vk, false, false, true);
}
int ctrl(unsigned int vk) {
    return win32KeyCode(vk, false, true, false);
}
int alt(unsigned int vk) {
    return win32KeyCode(vk, true, false, false);
}

TEST(KeymapWin32, CursorBlockGivesPlainScanCodesInTheHighByte) {
    EXPECT_EQ(plain(VK_HOME), 71 << 8);
    EXPECT_EQ(plain(VK_UP), 72 << 8);
    EXPECT_EQ(plain(VK_PRIOR), 73 << 8);
    EXPECT_EQ(plain(VK_LEFT), 75 << 8);
    EXPECT_EQ(plain(VK_RIGHT), 77 << 8);
    EXPECT_EQ(plain(VK_END), 79 << 8);
    EXPECT_EQ(plain(VK_DOWN), 80 << 8);
    EXPECT_EQ(plain(VK_NEXT), 81 << 8);
    EXPECT_EQ(plain(VK_INSERT), 82 << 8);
    EXPECT_EQ(plain(VK_DELETE), 83 << 8);
}

TEST(KeymapWin32, FunctionKeysCoverEveryModifier) {
    for (unsigned int i = 0; i < 10; ++i) {
        SCOPED_TRACE(i + 1);
        EXPECT_EQ(plain(VK_F1 + i), int(59 + i) << 8);
        EXPECT_EQ(shift(VK_F1 + i), int(84 + i) << 8);
        EXPECT_EQ(ctrl(VK_F1 + i), int(94 + i) << 8);
        EXPECT_EQ(alt(VK_F1 + i), int(104 + i) << 8);
    }
    EXPECT_EQ(plain(VK_F11), 133 << 8);
    EXPECT_EQ(plain(VK_F12), 134 << 8);
    EXPECT_EQ(shift(VK_F11), 135 << 8);
    EXPECT_EQ(shift(VK_F12), 136 << 8);
    EXPECT_EQ(ctrl(VK_F11), 137 << 8);
    EXPECT_EQ(ctrl(VK_F12), 138 << 8);
    EXPECT_EQ(alt(VK_F11), 139 << 8);
    EXPECT_EQ(alt(VK_F12), 140 << 8);
}

TEST(KeymapWin32, AltF4IsTheCloseRequest) {
    EXPECT_EQ(alt(VK_F4), kCloseRequest);
}

TEST(KeymapWin32, ShiftLeavesTheCursorBlockAlone) {
    const unsigned int keys[] = {VK_HOME, VK_UP,   VK_PRIOR, VK_LEFT,   VK_RIGHT,
                                 VK_END,  VK_DOWN, VK_NEXT,  VK_INSERT, VK_DELETE};
    for (unsigned int vk : keys) EXPECT_EQ(shift(vk), plain(vk)) << vk;
}

TEST(KeymapWin32, CtrlCursorBlock) {
    EXPECT_EQ(ctrl(VK_HOME), 119 << 8);
    EXPECT_EQ(ctrl(VK_UP), 141 << 8);
    EXPECT_EQ(ctrl(VK_PRIOR), 132 << 8);
    EXPECT_EQ(ctrl(VK_LEFT), 115 << 8);
    EXPECT_EQ(ctrl(VK_RIGHT), 116 << 8);
    EXPECT_EQ(ctrl(VK_END), 117 << 8);
    EXPECT_EQ(ctrl(VK_DOWN), 145 << 8);
    EXPECT_EQ(ctrl(VK_NEXT), 118 << 8);
    EXPECT_EQ(ctrl(VK_INSERT), 146 << 8);
    EXPECT_EQ(ctrl(VK_DELETE), 147 << 8);
}

TEST(KeymapWin32, AltCursorBlock) {
    EXPECT_EQ(alt(VK_HOME), 151 << 8);
    EXPECT_EQ(alt(VK_UP), 152 << 8);
    EXPECT_EQ(alt(VK_PRIOR), 153 << 8);
    EXPECT_EQ(alt(VK_LEFT), 155 << 8);
    EXPECT_EQ(alt(VK_RIGHT), 157 << 8);
    EXPECT_EQ(alt(VK_END), 159 << 8);
    EXPECT_EQ(alt(VK_DOWN), 160 << 8);
    EXPECT_EQ(alt(VK_NEXT), 161 << 8);
    EXPECT_EQ(alt(VK_INSERT), 162 << 8);
    EXPECT_EQ(alt(VK_DELETE), 163 << 8);
}

TEST(KeymapWin32, AltWinsOverCtrlWhichWinsOverShift) {
    EXPECT_EQ(win32KeyCode(VK_F1, true, true, true), 104 << 8);
    EXPECT_EQ(win32KeyCode(VK_F1, false, true, true), 94 << 8);
    EXPECT_EQ(win32KeyCode(VK_DELETE, true, true, false), 163 << 8);
    EXPECT_EQ(win32KeyCode(VK_LEFT, false, true, true), 115 << 8);
}

TEST(KeymapWin32, KeysThatTypeCharactersAreLeftToWmChar) {
    const unsigned int keys[] = {'Q',       '1',     VK_SPACE, VK_RETURN,
                                 VK_ESCAPE, VK_BACK, VK_TAB,   VK_NUMPAD7};
    for (unsigned int vk : keys) {
        EXPECT_EQ(plain(vk), 0) << vk;
        EXPECT_EQ(alt(vk), 0) << vk;
    }
}

TEST(KeymapWin32, ModifiersAloneAndKeysWithoutBiosCodesRecordNothing) {
    const unsigned int keys[] = {VK_SHIFT, VK_CONTROL, VK_MENU, VK_CAPITAL, VK_NUMLOCK,
                                 VK_PAUSE, VK_F13,     VK_LWIN, VK_APPS,    VK_SNAPSHOT};
    for (unsigned int vk : keys) EXPECT_EQ(plain(vk), 0) << vk;
    EXPECT_EQ(alt(VK_MENU), 0);
}

}  // namespace
