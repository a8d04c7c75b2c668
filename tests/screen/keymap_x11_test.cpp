#include <gtest/gtest.h>

#include <X11/X.h>
#include <X11/keysym.h>

#include <cstdint>
#include <cstring>

#include "screen/cp437.h"
#include "screen/keymap_x11.h"
#include "screen/screen_input.h"

namespace {

// One key press as XLookupString reports it ("" for no text), and the code the key ring gets.
struct Press {
    unsigned long keysym;
    unsigned int state;
    const char* text;
    int code;
};

// clang-format off
const Press kPresses[] = {
    // Keys without a character: BIOS extended codes, Alt before Ctrl before Shift; locks and
    // AltGr (Mod5) do not count, and the keypad without Num Lock is the cursor block.
    {XK_Home, 0, "", 71 << 8},          {XK_KP_End, Mod2Mask, "", 79 << 8},
    {XK_Delete, ControlMask, "\x7f", 147 << 8},  // a key, although XLookupString gives it text
    {XK_F1, Mod1Mask | ControlMask | ShiftMask, "", 104 << 8},
    {XK_F12, LockMask | Mod5Mask, "", 134 << 8},  {XK_F4, Mod1Mask, "", kCloseRequest},
    // Alt with a letter or digit types nothing, so Alt+Q never reads as "q".
    {XK_q, Mod1Mask, "q", 16 << 8},     {XK_Q, Mod1Mask | ShiftMask, "Q", 16 << 8},
    {XK_1, Mod1Mask, "1", 120 << 8},
    // Keys with a character: code page 437. One byte of text already folds Ctrl in; longer text
    // is a multibyte locale's, and the keysym names the character.
    {XK_q, 0, "q", 'q'},                {XK_a, ControlMask, "\x01", 1},
    {XK_eacute, 0, "\xe9", 130},        {XK_eacute, 0, "\xc3\xa9", 130},
    {XK_Greek_OMEGA, 0, "", 234},       {0x01002248, 0, "", 247},  // ≈
    // Nothing: characters outside code page 437, modifiers alone, keys the BIOS never had.
    {XK_EuroSign, 0, "", kNoKeyCode},           {XK_Shift_L, ShiftMask, "", kNoKeyCode},
    {XK_F13, 0, "", kNoKeyCode},
};
// clang-format on

TEST(KeymapX11, KeysBecomeCharactersExtendedCodesOrNothing) {
    for (const Press& p : kPresses)
        EXPECT_EQ(x11KeyCode(p.keysym, p.state, p.text, int(std::strlen(p.text))), p.code)
            << "keysym 0x" << std::hex << p.keysym << " state 0x" << p.state;
}

TEST(Cp437, TypedCharactersAndGlyphsRoundTrip) {
    for (int c = 0; c < 256; ++c) EXPECT_EQ(unicodeToCp437(c < 128 ? c : cp437ToUnicode(c)), c);
    EXPECT_EQ(cp437ToUnicode(0x9E), 0x20A7u);
    EXPECT_EQ(cp437ToUnicode(0xE3), 0x03C0u);
    EXPECT_EQ(cp437ToUnicode(1), 0x263Au);
    // The control codes' pictures are shown, never typed back into control codes.
    for (std::uint32_t point : {0x263Au, 0x20ACu, 0xC0u}) EXPECT_EQ(unicodeToCp437(point), -1);
}

}  // namespace
