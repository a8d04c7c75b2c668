#include <gtest/gtest.h>
#include <windows.h>

#include "screen/keymap_win32.h"
#include "screen/screen_input.h"

namespace {

// A WM_KEYDOWN or WM_SYSKEYDOWN, the modifiers held, and the code the key ring gets (0: none,
// the key types a character through WM_CHAR or is nothing of ours).
struct Press {
    unsigned int virtualKey;
    bool alt, ctrl, shift;
    int code;
};

// clang-format off
const Press kPresses[] = {
    // Keys without a character: BIOS extended codes, Alt before Ctrl before Shift.
    {VK_HOME, false, false, false, 71 << 8},    {VK_LEFT, false, false, true, 75 << 8},
    {VK_DELETE, true, true, false, 163 << 8},   {VK_F1, true, true, true, 104 << 8},
    {VK_F12, false, true, false, 138 << 8},     {VK_F4, true, false, false, kCloseRequest},
    // Alt with a letter or digit types nothing, so Alt+Q never reads as "q"; with Ctrl too it is
    // AltGr, which types through WM_CHAR.
    {'Q', true, false, false, 16 << 8},         {'M', true, false, true, 50 << 8},
    {'1', true, false, false, 120 << 8},        {'Q', true, true, false, 0},
    {VK_NUMPAD1, true, false, false, 0},        // 'a' as a VK_ code, but no letter
    // Keys with a character, modifiers alone, keys the BIOS never had.
    {'Q', false, false, false, 0},              {VK_RETURN, false, false, false, 0},
    {VK_MENU, true, false, false, 0},           {VK_F13, false, false, false, 0},
};
// clang-format on

TEST(KeymapWin32, KeysBecomeExtendedCodesOrAreLeftToWmChar) {
    for (const Press& p : kPresses) {
        EXPECT_EQ(win32KeyCode(p.virtualKey, p.alt, p.ctrl, p.shift), p.code)
            << "VK " << p.virtualKey << " alt " << p.alt << " ctrl " << p.ctrl;
    }
}

}  // namespace
