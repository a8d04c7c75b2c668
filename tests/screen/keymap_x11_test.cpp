#include <gtest/gtest.h>

#include <X11/X.h>
#include <X11/keysym.h>

#include "screen/cp437.h"
#include "screen/keymap_x11.h"
#include "screen/screen_input.h"

namespace {

// A key without a character, as XLookupString reports it: no text.
int pressKey(unsigned long keysym, unsigned int state = 0) {
    return x11KeyCode(keysym, state, "", 0);
}

// A key with a character: the text XLookupString produced (Latin-1 in the C locale).
int typeText(unsigned long keysym, const char* text, unsigned int state = 0) {
    return x11KeyCode(keysym, state, text, 1);
}

TEST(KeymapX11, CursorBlockGivesPlainScanCodesInTheHighByte) {
    EXPECT_EQ(pressKey(XK_Home), 71 << 8);
    EXPECT_EQ(pressKey(XK_Up), 72 << 8);
    EXPECT_EQ(pressKey(XK_Page_Up), 73 << 8);
    EXPECT_EQ(pressKey(XK_Left), 75 << 8);
    EXPECT_EQ(pressKey(XK_Right), 77 << 8);
    EXPECT_EQ(pressKey(XK_End), 79 << 8);
    EXPECT_EQ(pressKey(XK_Down), 80 << 8);
    EXPECT_EQ(pressKey(XK_Page_Down), 81 << 8);
    EXPECT_EQ(pressKey(XK_Insert), 82 << 8);
}

TEST(KeymapX11, DeleteIsAKeyEvenThoughXLookupStringGivesItACharacter) {
    EXPECT_EQ(x11KeyCode(XK_Delete, 0, "\x7f", 1), 83 << 8);
    EXPECT_EQ(x11KeyCode(XK_Delete, ControlMask, "\x7f", 1), 147 << 8);
}

TEST(KeymapX11, FunctionKeysCoverEveryModifier) {
    const unsigned long keys[] = {XK_F1, XK_F2, XK_F3, XK_F4, XK_F5,
                                  XK_F6, XK_F7, XK_F8, XK_F9, XK_F10};
    for (int i = 0; i < 10; ++i) {
        SCOPED_TRACE(i + 1);
        EXPECT_EQ(pressKey(keys[i]), (59 + i) << 8);
        EXPECT_EQ(pressKey(keys[i], ShiftMask), (84 + i) << 8);
        EXPECT_EQ(pressKey(keys[i], ControlMask), (94 + i) << 8);
        EXPECT_EQ(pressKey(keys[i], Mod1Mask), (104 + i) << 8);
    }
    EXPECT_EQ(pressKey(XK_F11), 133 << 8);
    EXPECT_EQ(pressKey(XK_F12), 134 << 8);
    EXPECT_EQ(pressKey(XK_F11, ShiftMask), 135 << 8);
    EXPECT_EQ(pressKey(XK_F12, ShiftMask), 136 << 8);
    EXPECT_EQ(pressKey(XK_F11, ControlMask), 137 << 8);
    EXPECT_EQ(pressKey(XK_F12, ControlMask), 138 << 8);
    EXPECT_EQ(pressKey(XK_F11, Mod1Mask), 139 << 8);
    EXPECT_EQ(pressKey(XK_F12, Mod1Mask), 140 << 8);
}

TEST(KeymapX11, AltF4IsTheCloseRequest) {
    EXPECT_EQ(pressKey(XK_F4, Mod1Mask), 107 << 8);
    EXPECT_EQ(pressKey(XK_F4, Mod1Mask), kCloseRequest);
}

TEST(KeymapX11, ShiftLeavesTheCursorBlockAlone) {
    EXPECT_EQ(pressKey(XK_Home, ShiftMask), 71 << 8);
    EXPECT_EQ(pressKey(XK_Down, ShiftMask), 80 << 8);
    EXPECT_EQ(pressKey(XK_Delete, ShiftMask), 83 << 8);
}

TEST(KeymapX11, CtrlCursorBlock) {
    EXPECT_EQ(pressKey(XK_Home, ControlMask), 119 << 8);
    EXPECT_EQ(pressKey(XK_Up, ControlMask), 141 << 8);
    EXPECT_EQ(pressKey(XK_Page_Up, ControlMask), 132 << 8);
    EXPECT_EQ(pressKey(XK_Left, ControlMask), 115 << 8);
    EXPECT_EQ(pressKey(XK_Right, ControlMask), 116 << 8);
    EXPECT_EQ(pressKey(XK_End, ControlMask), 117 << 8);
    EXPECT_EQ(pressKey(XK_Down, ControlMask), 145 << 8);
    EXPECT_EQ(pressKey(XK_Page_Down, ControlMask), 118 << 8);
    EXPECT_EQ(pressKey(XK_Insert, ControlMask), 146 << 8);
}

TEST(KeymapX11, AltCursorBlock) {
    EXPECT_EQ(pressKey(XK_Home, Mod1Mask), 151 << 8);
    EXPECT_EQ(pressKey(XK_Up, Mod1Mask), 152 << 8);
    EXPECT_EQ(pressKey(XK_Page_Up, Mod1Mask), 153 << 8);
    EXPECT_EQ(pressKey(XK_Left, Mod1Mask), 155 << 8);
    EXPECT_EQ(pressKey(XK_Right, Mod1Mask), 157 << 8);
    EXPECT_EQ(pressKey(XK_End, Mod1Mask), 159 << 8);
    EXPECT_EQ(pressKey(XK_Down, Mod1Mask), 160 << 8);
    EXPECT_EQ(pressKey(XK_Page_Down, Mod1Mask), 161 << 8);
    EXPECT_EQ(pressKey(XK_Insert, Mod1Mask), 162 << 8);
    EXPECT_EQ(pressKey(XK_Delete, Mod1Mask), 163 << 8);
}

TEST(KeymapX11, AltWinsOverCtrlWhichWinsOverShift) {
    EXPECT_EQ(pressKey(XK_F1, Mod1Mask | ControlMask | ShiftMask), 104 << 8);
    EXPECT_EQ(pressKey(XK_F1, ControlMask | ShiftMask), 94 << 8);
    EXPECT_EQ(pressKey(XK_Delete, Mod1Mask | ControlMask), 163 << 8);
    EXPECT_EQ(pressKey(XK_Left, ControlMask | ShiftMask), 115 << 8);
}

TEST(KeymapX11, LocksAndOtherModifiersDoNotCount) {
    // Num Lock is usually Mod2, Caps Lock is LockMask and AltGr is Mod5.
    EXPECT_EQ(pressKey(XK_F1, Mod2Mask | LockMask | Mod5Mask), 59 << 8);
}

TEST(KeymapX11, KeypadKeysWithoutNumLockAreTheirCursorBlockTwins) {
    const unsigned long twins[][2] = {
        {XK_KP_Home, XK_Home},       {XK_KP_Up, XK_Up},
        {XK_KP_Page_Up, XK_Page_Up}, {XK_KP_Left, XK_Left},
        {XK_KP_Right, XK_Right},     {XK_KP_End, XK_End},
        {XK_KP_Down, XK_Down},       {XK_KP_Page_Down, XK_Page_Down},
        {XK_KP_Insert, XK_Insert},   {XK_KP_Delete, XK_Delete},
    };
    for (const auto& twin : twins) {
        SCOPED_TRACE(twin[0]);
        EXPECT_EQ(pressKey(twin[0]), pressKey(twin[1]));
        EXPECT_EQ(pressKey(twin[0], ControlMask), pressKey(twin[1], ControlMask));
        EXPECT_EQ(pressKey(twin[0], Mod1Mask), pressKey(twin[1], Mod1Mask));
    }
    EXPECT_EQ(pressKey(XK_KP_Home), 71 << 8);
}

TEST(KeymapX11, KeypadDigitsWithNumLockAreCharacters) {
    EXPECT_EQ(typeText(XK_KP_7, "7", Mod2Mask), '7');
}

TEST(KeymapX11, CharactersAreCodePage437) {
    EXPECT_EQ(typeText(XK_a, "a"), 'a');
    EXPECT_EQ(typeText(XK_A, "A", ShiftMask), 'A');
    EXPECT_EQ(typeText(XK_space, " "), ' ');
    EXPECT_EQ(typeText(XK_eacute, "\xe9"), 130);
    EXPECT_EQ(typeText(XK_Adiaeresis, "\xc4"), 142);
    EXPECT_EQ(typeText(XK_ssharp, "\xdf"), 225);
    EXPECT_EQ(typeText(XK_sterling, "\xa3"), 156);
}

TEST(KeymapX11, ControlCharactersKeepTheirCodes) {
    EXPECT_EQ(typeText(XK_Escape, "\x1b"), 27);
    EXPECT_EQ(typeText(XK_Return, "\r"), 13);
    EXPECT_EQ(typeText(XK_BackSpace, "\b"), 8);
    EXPECT_EQ(typeText(XK_Tab, "\t"), 9);
    // XLookupString folds Ctrl into the text; that text is what counts, not the letter.
    EXPECT_EQ(typeText(XK_a, "\x01", ControlMask), 1);
}

TEST(KeymapX11, AltWithALetterStillTypesTheLetter) {
    EXPECT_EQ(typeText(XK_q, "q", Mod1Mask), 'q');
}

TEST(KeymapX11, WithoutTextTheKeysymDecides) {
    // In a UTF-8 locale XLookupString gives é as two bytes; the keysym still names it.
    EXPECT_EQ(x11KeyCode(XK_eacute, 0, "\xc3\xa9", 2), 130);
    EXPECT_EQ(pressKey(XK_Greek_alpha), 224);
    EXPECT_EQ(pressKey(XK_Greek_OMEGA), 234);
    EXPECT_EQ(pressKey(0x01002248), 247);  // the Unicode keysym of ≈
    EXPECT_EQ(pressKey(XK_ISO_Left_Tab, ShiftMask), 9);
}

TEST(KeymapX11, CharactersOutsideCodePage437RecordNothing) {
    EXPECT_EQ(pressKey(XK_EuroSign), -1);
    EXPECT_EQ(pressKey(0x01000416), -1);  // Cyrillic Ж
}

TEST(KeymapX11, ModifiersAloneAndUnknownKeysRecordNothing) {
    EXPECT_EQ(pressKey(XK_Shift_L), -1);
    EXPECT_EQ(pressKey(XK_Control_R), -1);
    EXPECT_EQ(pressKey(XK_Alt_L, Mod1Mask), -1);
    EXPECT_EQ(pressKey(XK_Caps_Lock), -1);
    EXPECT_EQ(pressKey(XK_Num_Lock), -1);
    EXPECT_EQ(pressKey(XK_Pause), -1);
    EXPECT_EQ(pressKey(XK_F13), -1);
    EXPECT_EQ(pressKey(NoSymbol), -1);
}

TEST(Cp437, LowerHalfIsItselfWhenTyped) {
    for (std::uint32_t c = 0; c < 128; ++c) EXPECT_EQ(unicodeToCp437(c), int(c)) << c;
    EXPECT_EQ(unicodeToCp437('A'), 65);
    EXPECT_EQ(cp437ToUnicode(65), std::uint32_t('A'));
}

TEST(Cp437, UpperHalfRoundTrips) {
    for (int c = 128; c < 256; ++c) EXPECT_EQ(unicodeToCp437(cp437ToUnicode(c)), c) << c;
}

TEST(Cp437, UpperHalfLandmarks) {
    EXPECT_EQ(cp437ToUnicode(0x80), 0x00C7u);  // Ç
    EXPECT_EQ(cp437ToUnicode(0x81), 0x00FCu);  // ü
    EXPECT_EQ(cp437ToUnicode(0x82), 0x00E9u);  // é
    EXPECT_EQ(cp437ToUnicode(0x9E), 0x20A7u);  // ₧
    EXPECT_EQ(cp437ToUnicode(0xB3), 0x2502u);  // │
    EXPECT_EQ(cp437ToUnicode(0xC9), 0x2554u);  // ╔
    EXPECT_EQ(cp437ToUnicode(0xDB), 0x2588u);  // █
    EXPECT_EQ(cp437ToUnicode(0xE1), 0x00DFu);  // ß
    EXPECT_EQ(cp437ToUnicode(0xE3), 0x03C0u);  // π
    EXPECT_EQ(cp437ToUnicode(0xFB), 0x221Au);  // √
    EXPECT_EQ(cp437ToUnicode(0xFE), 0x25A0u);  // ■
    EXPECT_EQ(cp437ToUnicode(0xFF), 0x00A0u);  // no-break space
}

TEST(Cp437, ControlCodesShowAsPictures) {
    EXPECT_EQ(cp437ToUnicode(1), 0x263Au);    // ☺
    EXPECT_EQ(cp437ToUnicode(2), 0x263Bu);    // ☻
    EXPECT_EQ(cp437ToUnicode(3), 0x2665u);    // ♥
    EXPECT_EQ(cp437ToUnicode(13), 0x266Au);   // ♪
    EXPECT_EQ(cp437ToUnicode(27), 0x2190u);   // ←
    EXPECT_EQ(cp437ToUnicode(31), 0x25BCu);   // ▼
    EXPECT_EQ(cp437ToUnicode(127), 0x2302u);  // ⌂
    EXPECT_EQ(cp437ToUnicode(0), std::uint32_t(' '));
}

TEST(Cp437, EveryGlyphIsDistinct) {
    for (int a = 1; a < 256; ++a) {  // 0 and 32 are both blank
        for (int b = a + 1; b < 256; ++b) {
            EXPECT_NE(cp437ToUnicode(a), cp437ToUnicode(b)) << a << " and " << b;
        }
    }
}

TEST(Cp437, CodePointsItLacksHaveNoCode) {
    EXPECT_EQ(unicodeToCp437(0x20AC), -1);  // €
    EXPECT_EQ(unicodeToCp437(0x00C0), -1);  // À
    // The pictures of the control codes are shown, never typed back into control codes.
    EXPECT_EQ(unicodeToCp437(0x263A), -1);
}

}  // namespace
