#include "../editor/editor_fixture.h"

// Refused modes change nothing, a failed window leaves none; modes reset the console, not titles.
TEST_F(ScreenTest, ModesTitlesAndWindowsThatCannotOpen) {
    setWindowTitle(std::string(200, 'x'));
    EXPECT_EQ(std::string(127, 'x'), windowTitle());
    setWindowTitle("Glimmerix Idle");
    openWindow();
    std::intptr_t first = getWindowHandle();
    locateText(2, 2);
    setTextColour(kRed);
    openWindow(40, 30);
    std::intptr_t handle = getWindowHandle();
    EXPECT_TRUE(first != 0 && first != handle);
    EXPECT_NE(0, setScreenMode(0, 10, 32, 0, kBorderless, 0));
    EXPECT_NE(0, setScreenMode(10, -1, 32, 0, kBorderless, 0));
    EXPECT_NE(0, setScreenMode(10, 10, 12, 0, kBorderless, 0));
    EXPECT_EQ(values(handle, 40, 30), values(getWindowHandle(), screenWidth(), screenHeight()));
    EXPECT_EQ(101, cursorAt());
    openMode(1, 1, kWindowless);
    EXPECT_EQ(0, getWindowHandle());
    EXPECT_EQ("Glimmerix Idle", windowTitle());
    headlessFailNextOpen();
    EXPECT_NE(0, setScreenMode(20, 20, 32, 0, kBorderless, 0));
    EXPECT_EQ(values(0, 0), values(screenWidth(), getWindowHandle()));
    EXPECT_EQ("", readKey());
    EXPECT_EQ(kNoPointer, mouse());
}

// The ring keeps fifteen keys. The last window's key outlives it and ends only the first pause.
TEST_F(ScreenTest, KeyStringsTheRingOfFifteenAndKeysOutlivingTheWindow) {
    openWindow();
    for (int code : {int('a'), 130, 72 << 8, 0, int('b')}) headlessPressKey(code);
    headlessCloseRequest();
    for (const char* key : {"a", "\x82", "\xFFH", "", "b", "\xFFk", ""}) EXPECT_EQ(key, readKey());
    EXPECT_NE(0, getWindowHandle()) << "a close request leaves the window open";
    for (int i = 0; i < 16; ++i) headlessPressKey('a' + i);
    for (int i = 1; i < 16; ++i) EXPECT_EQ(std::string(1, char('a' + i)), readKey());
    EXPECT_EQ("", readKey());
    headlessPressKey('q');
    EXPECT_EQ("q", readKey());  // the read clears the flag...
    headlessPressKey('x');      // ...and a later key sets it again
    ASSERT_EQ(0, setScreenMode(1, 1, 32, 0, kWindowless, 0));
    EXPECT_LT(timed([] { sleepMs(3000); }), milliseconds(1000));
    EXPECT_GE(timed([] { sleepMs(250); }), milliseconds(250));
    EXPECT_EQ("x", readKey()) << "a pause never removes keys";
    EXPECT_EQ("", readKey());
}

// A release after its window closed must not leave the button held for the next window's menu.
TEST_F(ScreenTest, MouseIsUnavailableWithoutAWindowOrInactiveOrOutsideAndButtonsEndWithIt) {
    EXPECT_EQ(kNoPointer, mouse());
    openWindow();
    headlessMovePointer(10, 12);
    headlessButton(kLeftButton, true);
    headlessButton(kRightButton, true);
    headlessButton(kRightButton, false);
    int startWheel = mouse()[3];
    for (int notch : {+1, +1, -1}) headlessWheel(notch);
    EXPECT_EQ((std::vector<int>{0, 10, 12, startWheel + 1, kLeftButton, 0}), mouse());
    headlessSetInside(false);
    EXPECT_EQ(kNoPointer, mouse());
    headlessSetInside(true);
    headlessSetActive(false);
    EXPECT_EQ(kNoPointer, mouse());
    headlessButton(kRightButton, true);
    openMode(1, 1, kWindowless);
    openWindow();
    EXPECT_EQ(0, mouse()[4]);
}

TEST_F(ScreenTest, UnlockMarksTheGivenRowsAndReleasesOneLevel) {
    clearMarks();
    lockScreen();
    lockScreen();
    unlockScreen(5, 2);  // marks nothing, still releases one level
    unlockScreen(7, 9);
    EXPECT_EQ((std::vector<int>{7, 8, 9}), markedRows()) << "both levels released";
    unlockScreen(0, 0);  // unmatched: neither marks nor releases a lock it does not hold
    lockScreen();
    unlockScreen(40, 99);  // a last row past the screen marks nothing
    EXPECT_EQ(3u, markedRows().size());
    lockScreen();
    unlockScreen(-1, -1);
    EXPECT_EQ(48u, markedRows().size());
}

TEST_F(ScreenTest, RefresherPresentsOnlyRowsWhosePixelsChanged) {
    openWindow(32, 100);
    HeadlessPresentStats first{};
    // The second pass redraws the same pixels under a whole-screen mark, as a frame at rest does.
    for (int pass = 0; pass < 2; ++pass) {
        lockScreen();
        drawLine(nullptr, 0, 41, 31, 43, 0xFFFFFFFF, kFilledBox, kSolid, kAbsolute);
        unlockScreen(pass == 0 ? 40 : -1, pass == 0 ? 44 : -1);
        eventually([] { return markedRows().empty(); }, 5000);  // the refresher takes the marks
        if (pass == 0) first = headlessPresentStats();
    }
    EXPECT_EQ(41, first.lastFirst) << "rows marked but unchanged are not presented";
    EXPECT_EQ(43, first.lastLast);
    EXPECT_EQ(first.presents, headlessPresentStats().presents);
}

TEST_F(ScreenTest, PuttingAgainAfterAnyChangeShowsTheChange) {
    // A frame at rest skips putting an unchanged image again, so a changed pixel redraws just
    // its row; and every kind of change must still reach the screen.
    Image* image = createImage(8, 8, 0xFF112233, 0);
    putImage(nullptr, 4, 4, image);
    std::vector<std::uint8_t>& redrawn = screenState().redrawn;
    std::fill(redrawn.begin(), redrawn.end(), 0);  // no refresher runs without a window
    putImage(nullptr, 4, 4, image);
    imageRow(image, 3)[2] = 0xFF0000FF;
    putImage(nullptr, 4, 4, image);
    EXPECT_EQ(1, std::count(redrawn.begin(), redrawn.end(), 1));
    EXPECT_EQ(1, redrawn[7]);
    auto putAndRead = [](Image* picture, int x, int px, int py) {
        putImage(nullptr, x, 4, picture);
        return screenPixel(px, py);
    };
    drawLine(image, 0, 0, 0, 0, 0xFFFF0000, kLine, kSolid, kAbsolute);  // drawn on the image
    EXPECT_EQ(0xFFFF0000u, putAndRead(image, 4, 4, 4));
    imageRow(image, 1)[1] = 0xFF00FF00;  // written directly
    EXPECT_EQ(0xFF00FF00u, putAndRead(image, 4, 5, 5));
    drawLine(nullptr, 4, 6, 11, 6, 0xFFFFFFFF, kLine, kSolid, kAbsolute);  // drawn over it
    EXPECT_EQ(0xFF112233u, putAndRead(image, 4, 6, 6));
    locateText(1, 1);
    printText("X");  // the console over it
    EXPECT_EQ(0xFF112233u, putAndRead(image, 4, 7, 7));
    EXPECT_EQ(0xFFFF0000u, putAndRead(image, 5, 5, 4));  // moved
    destroyImage(image);
    Image* other = createImage(8, 8, 0xFF445566, 0);  // perhaps at the same address
    EXPECT_EQ(0xFF445566u, putAndRead(other, 5, 5, 4));
    openMode(64, 48, kWindowless);  // a new mode forgets what was shown
    EXPECT_EQ(0xFF445566u, putAndRead(other, 5, 5, 4));
    destroyImage(other);
}

// A key ends an interruptible pause of 100 ms or more, or one until a key; others run their full
// length; none removes the key. Bounds a stalled machine cannot cross, never a few frames' window.
TEST_F(ScreenTest, KeysEndOnlyInterruptiblePausesOf100MsOrMore) {
    struct Pause {
        int ms;
        bool uninterruptible;
        long long least, most;
    };
    for (Pause p : {Pause{3000, false, 60, 2000}, Pause{-1, false, 60, 2000},
                    Pause{99, false, 99, 3000}, Pause{150, true, 150, 3000}}) {
        openWindow();
        std::thread typist([] {
            std::this_thread::sleep_for(milliseconds(60));
            headlessPressKey('x');
        });
        Clock::duration elapsed = timed([&] { sleepMs(p.ms, p.uninterruptible); });
        typist.join();
        EXPECT_TRUE(elapsed >= milliseconds(p.least) && elapsed < milliseconds(p.most)) << p.ms;
        EXPECT_EQ("x", readKey()) << p.ms;
    }
}
