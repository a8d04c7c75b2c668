#include <chrono>
#include <string>
#include <thread>

#include "screen/draw.h"
#include "screen/screen_input.h"
#include "screen_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::string extended(int code) {
    return std::string{char(255), char(code)};
}

}  // namespace

TEST_F(ScreenTest, RefusedModesLeaveTheCurrentModeAndWindowUntouched) {
    openWindow(40, 30);
    std::intptr_t handle = getWindowHandle();
    ASSERT_NE(0, handle);
    EXPECT_NE(0, setScreenMode(0, 10, 32, 0, kBorderless, 0));
    EXPECT_NE(0, setScreenMode(10, -1, 32, 0, kBorderless, 0));
    EXPECT_NE(0, setScreenMode(10, 10, 12, 0, kBorderless, 0));
    EXPECT_EQ(handle, getWindowHandle());
    EXPECT_EQ(40, screenWidth());
    EXPECT_EQ(30, screenHeight());
}

TEST_F(ScreenTest, EveryModeChangeGivesANewHandleAndWindowlessHasNone) {
    openWindow();
    std::intptr_t first = getWindowHandle();
    openWindow();
    std::intptr_t second = getWindowHandle();
    EXPECT_NE(0, first);
    EXPECT_NE(first, second);
    openMode(1, 1, kWindowless);
    EXPECT_EQ(0, getWindowHandle());
}

TEST_F(ScreenTest, AWindowThatCannotOpenLeavesNoMode) {
    headlessFailNextOpen();
    EXPECT_NE(0, setScreenMode(20, 20, 32, 0, kBorderless, 0));
    EXPECT_EQ(0, screenWidth());
    EXPECT_EQ(0, getWindowHandle());
    EXPECT_EQ("", readKey());
    int x, y, wheel, buttons, clip;
    EXPECT_NE(0, readMouse(&x, &y, &wheel, &buttons, &clip));
}

TEST_F(ScreenTest, NewModeIsBlackAndResetsTheConsole) {
    openMode(16, 16, kWindowless);
    locateText(2, 2);
    setTextColour(0xFFFF0000);
    openMode(24, 16, kWindowless);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x) ASSERT_EQ(0xFF000000u, screenPixel(x, y));
    int row = 0, column = 0;
    textCursor(&row, &column);
    EXPECT_EQ(1, row);
    EXPECT_EQ(1, column);
}

TEST_F(ScreenTest, TitleIsCutTo127CharactersAndOutlivesModes) {
    setWindowTitle(std::string(200, 'x'));
    EXPECT_EQ(std::string(127, 'x'), windowTitle());
    setWindowTitle("Glimmerix Idle");
    openWindow();
    openMode(1, 1, kWindowless);
    EXPECT_EQ("Glimmerix Idle", windowTitle());
}

TEST_F(ScreenTest, KeyStringsForCharactersExtendedKeysAndCloseRequests) {
    openWindow();
    headlessPressKey('a');
    headlessPressKey(130);      // code page 437 e acute
    headlessPressKey(72 << 8);  // Up
    headlessCloseRequest();
    EXPECT_EQ("a", readKey());
    EXPECT_EQ(std::string(1, char(130)), readKey());
    EXPECT_EQ(extended('H'), readKey());
    EXPECT_EQ(extended('k'), readKey());
    EXPECT_EQ("", readKey());
    EXPECT_NE(0, getWindowHandle()) << "a close request leaves the window open";
}

TEST_F(ScreenTest, SixteenKeysKeepTheLastFifteenOldestFirst) {
    openWindow();
    for (int i = 0; i < 16; ++i) headlessPressKey('a' + i);
    for (int i = 1; i < 16; ++i) EXPECT_EQ(std::string(1, char('a' + i)), readKey());
    EXPECT_EQ("", readKey());
}

TEST_F(ScreenTest, PendingKeysSurviveTheSwitchToWindowlessMode) {
    openWindow();
    headlessPressKey('q');
    headlessPressKey('x');
    ASSERT_EQ(0, setScreenMode(1, 1, 32, 0, kWindowless, 0));
    EXPECT_EQ("q", readKey());
    EXPECT_EQ("x", readKey());
    EXPECT_EQ("", readKey());
}

TEST_F(ScreenTest, KeyCodeZeroReadsAsNoKey) {
    openWindow();
    headlessPressKey(0);
    EXPECT_EQ("", readKey());
}

TEST_F(ScreenTest, MouseIsUnavailableWithoutAWindowOrWhenInactiveOrOutside) {
    int x = 0, y = 0, wheel = 0, buttons = 0, clip = 0;
    EXPECT_NE(0, readMouse(&x, &y, &wheel, &buttons, &clip));
    EXPECT_EQ(-1, x);
    EXPECT_EQ(-1, buttons);

    openWindow();
    headlessMovePointer(10, 12);
    headlessButton(kLeftButton, true);
    headlessButton(kRightButton, true);
    headlessButton(kRightButton, false);
    int startWheel = 0;
    ASSERT_EQ(0, readMouse(&x, &y, &startWheel, &buttons, &clip));
    headlessWheel(+1);
    headlessWheel(+1);
    headlessWheel(-1);
    ASSERT_EQ(0, readMouse(&x, &y, &wheel, &buttons, &clip));
    EXPECT_EQ(10, x);
    EXPECT_EQ(12, y);
    EXPECT_EQ(startWheel + 1, wheel);
    EXPECT_EQ(kLeftButton, buttons);
    EXPECT_EQ(0, clip);

    headlessSetInside(false);
    EXPECT_NE(0, readMouse(&x, &y, &wheel, &buttons, &clip));
    EXPECT_EQ(-1, y);
    EXPECT_EQ(-1, wheel);
    EXPECT_EQ(-1, clip);
    headlessSetInside(true);
    headlessSetActive(false);
    EXPECT_NE(0, readMouse(&x, &y, &wheel, &buttons, &clip));
    EXPECT_EQ(-1, x);
    headlessButton(kLeftButton, false);
}

TEST_F(ScreenTest, UnlockMarksTheGivenRowsAndReleasesOneLevel) {
    clearMarks();
    lockScreen();
    lockScreen();
    unlockScreen(5, 2);  // marks nothing, still releases one level
    unlockScreen(7, 9);
    EXPECT_EQ((std::vector<int>{7, 8, 9}), markedRows()) << "both levels released";
    clearMarks();
    lockScreen();
    unlockScreen(-1, -1);
    EXPECT_EQ(48u, markedRows().size());
    clearMarks();
    unlockScreen(0, 0);  // unmatched: neither marks nor releases a lock it does not hold
    EXPECT_TRUE(markedRows().empty());
    lockScreen();
    unlockScreen(40, 99);  // a last row past the screen marks nothing
    EXPECT_TRUE(markedRows().empty());
}

namespace {

// Waits until the refresher has presented `first`..`last`, or a second has passed.
HeadlessPresentStats awaitPresent(int first, int last) {
    for (int i = 0; i < 200; ++i) {
        HeadlessPresentStats stats = headlessPresentStats();
        if (stats.lastFirst == first && stats.lastLast == last) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return headlessPresentStats();
}

}  // namespace

TEST_F(ScreenTest, RefresherPresentsOnlyRowsWhosePixelsChanged) {
    openWindow(32, 100);
    lockScreen();
    drawLine(nullptr, 0, 41, 31, 43, 0xFFFFFFFF, kFilledBox, kSolid, kAbsolute);
    unlockScreen(40, 44);
    HeadlessPresentStats stats = awaitPresent(41, 43);
    EXPECT_EQ(41, stats.lastFirst) << "rows marked but unchanged are not presented again";
    EXPECT_EQ(43, stats.lastLast);

    // The same pixels drawn again, as every editor frame does with a capture at rest, and a
    // whole-screen mark: nothing new to show.
    drawLine(nullptr, 0, 41, 31, 43, 0xFFFFFFFF, kFilledBox, kSolid, kAbsolute);
    lockScreen();
    unlockScreen(-1, -1);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(stats.presents, headlessPresentStats().presents);

    drawText(nullptr, 0, 80, "A", 0xFFFFFFFF);
    stats = awaitPresent(80, 87);
    EXPECT_GE(stats.lastFirst, 80);
    EXPECT_LE(stats.lastLast, 87);
}

TEST_F(ScreenTest, PuttingTheSameImageAgainChangesNoRow) {
    Image* image = createImage(64, 48, 0xFF336699, 0);
    putImage(nullptr, 0, 0, image);
    {
        std::lock_guard<std::mutex> guard(screenState().lock);
        std::fill(screenState().redrawn.begin(), screenState().redrawn.end(), 0);
    }
    putImage(nullptr, 0, 0, image);
    imageRow(image, 7)[3] = 0xFF000000;
    putImage(nullptr, 0, 0, image);
    std::vector<int> redrawn;
    {
        std::lock_guard<std::mutex> guard(screenState().lock);
        for (int y = 0; y < 48; ++y)
            if (screenState().redrawn[std::size_t(y)]) redrawn.push_back(y);
    }
    EXPECT_EQ(std::vector<int>{7}, redrawn);
    EXPECT_EQ(0xFF000000u, screenPixel(3, 7));
    destroyImage(image);
}

TEST_F(ScreenTest, PendingKeyEndsALongPauseAtOnceAndStaysReadable) {
    openWindow();
    headlessPressKey('u');
    auto start = Clock::now();
    sleepMs(1500);
    EXPECT_LT(millisecondsSince(start), 40);
    EXPECT_EQ("u", readKey());
}

TEST_F(ScreenTest, KeyDuringALongPauseEndsItWithinOneCheck) {
    openWindow();
    std::thread typist([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(120));
        headlessPressKey('x');
    });
    auto start = Clock::now();
    sleepMs(1500);
    long long elapsed = millisecondsSince(start);
    typist.join();
    EXPECT_GE(elapsed, 120);
    EXPECT_LT(elapsed, 120 + 50 + 40);
}

TEST_F(ScreenTest, ShortAndUninterruptiblePausesIgnoreKeys) {
    openWindow();
    headlessPressKey('a');
    auto start = Clock::now();
    sleepMs(99);
    EXPECT_GE(millisecondsSince(start), 99);
    start = Clock::now();
    sleepMs(150, true);
    EXPECT_GE(millisecondsSince(start), 150);
    EXPECT_EQ("a", readKey()) << "a pause never removes keys";
}

TEST_F(ScreenTest, AfterADrainTheWindowlessPauseRunsItsFullLength) {
    openWindow();
    headlessPressKey('a');
    openMode(1, 1, kWindowless);
    drainKeys();
    auto start = Clock::now();
    sleepMs(250);
    EXPECT_GE(millisecondsSince(start), 250);
}

TEST_F(ScreenTest, KeyFlagLeftByTheLastWindowEndsTheFirstPauseOnly) {
    openWindow();
    headlessPressKey('a');
    readKey();              // the flag is cleared by the read...
    headlessPressKey('b');  // ...and set again by a later key
    ASSERT_EQ(0, setScreenMode(1, 1, 32, 0, kWindowless, 0));
    auto start = Clock::now();
    sleepMs(250);
    EXPECT_LT(millisecondsSince(start), 40);
    start = Clock::now();
    sleepMs(250);
    EXPECT_GE(millisecondsSince(start), 250);
    EXPECT_EQ("b", readKey());
}

TEST_F(ScreenTest, PauseUntilAKeyWaitsForOne) {
    openWindow();
    std::thread typist([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(80));
        headlessPressKey('z');
    });
    auto start = Clock::now();
    sleepMs(-1);
    typist.join();
    EXPECT_GE(millisecondsSince(start), 80);
    EXPECT_EQ("z", readKey());
}

TEST_F(ScreenTest, PuttingAgainAfterAnyChangeShowsTheChange) {
    // A frame at rest skips putting an unchanged image again; every kind of change must still
    // reach the screen.
    Image* image = createImage(8, 8, 0xFF112233, 0);
    putImage(nullptr, 4, 4, image);
    drawLine(image, 0, 0, 0, 0, 0xFFFF0000, kLine, kSolid, kAbsolute);  // drawn on the image
    putImage(nullptr, 4, 4, image);
    EXPECT_EQ(0xFFFF0000u, screenPixel(4, 4));
    imageRow(image, 1)[1] = 0xFF00FF00;  // written directly
    putImage(nullptr, 4, 4, image);
    EXPECT_EQ(0xFF00FF00u, screenPixel(5, 5));
    drawLine(nullptr, 4, 6, 11, 6, 0xFFFFFFFF, kLine, kSolid, kAbsolute);  // drawn over it
    putImage(nullptr, 4, 4, image);
    EXPECT_EQ(0xFF112233u, screenPixel(6, 6));
    locateText(1, 1);
    printText("X");  // the console over it
    putImage(nullptr, 4, 4, image);
    EXPECT_EQ(0xFF112233u, screenPixel(7, 7));
    putImage(nullptr, 5, 4, image);  // moved
    EXPECT_EQ(0xFFFF0000u, screenPixel(5, 4));
    destroyImage(image);
    Image* other = createImage(8, 8, 0xFF445566, 0);  // perhaps at the same address
    putImage(nullptr, 5, 4, other);
    EXPECT_EQ(0xFF445566u, screenPixel(5, 4));
    openMode(64, 48, kWindowless);  // a new mode forgets what was shown
    putImage(nullptr, 5, 4, other);
    EXPECT_EQ(0xFF445566u, screenPixel(5, 4));
    destroyImage(other);
}
