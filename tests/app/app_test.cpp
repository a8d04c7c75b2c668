#include <gtest/gtest.h>

#include "app/app.h"
#include "desktop/desktop_headless.h"

TEST(CommandLine, SkipsTheSplashOnlyForAnExactDashSBeforeAnEmptyArgument) {
    struct Case {
        std::vector<std::string> arguments;
        bool skips;
    };
    // Argument 0 is examined too.
    const Case cases[] = {{{"glimmerix"}, false},
                          {{"glimmerix", "x", "-s"}, true},
                          {{"glimmerix", "-S"}, false},
                          {{"glimmerix", "--s"}, false},
                          {{"glimmerix", "-s "}, false},
                          {{"-s"}, true},
                          {{"glimmerix", "", "-s"}, false},
                          {{"glimmerix", "-s", "", "-x"}, true},
                          {{}, false}};
    for (const Case& c : cases)
        EXPECT_EQ(c.skips, scanForSkipSplash(c.arguments)) << ::testing::PrintToString(c.arguments);
}

// The second byte of an extended key folds like any letter.
TEST(Keys, FoldingTouchesOnlyAToZ) {
    struct Case {
        std::string key, folded;
    };
    for (const Case& c : {Case{"Q", "q"}, Case{"R", "r"}, Case{" ", " "}, Case{"\x8E", "\x8E"},
                          Case{"\xFFk", "\xFFk"}, Case{"\xFFH", "\xFFh"}})
        EXPECT_EQ(c.folded, foldKey(c.key)) << c.key;
}

TEST(WorkArea, ComesFromTheDesktopTheScreenOrAtLeastOnePixel) {
    struct Case {
        bool knowsWorkArea;
        int left, top, right;
        bool knowsScreen;
        int screenWidth, screenHeight, width, height;
    };
    const Case cases[] = {
        {true, 0, 0, 1920, true, 1920, 1080, 1888, 1016},
        {true, 64, 30, 1920, true, 1920, 1080, 1920 - 64 - 32, 1080 - 30 - 64},  // dock, panel
        {false, 0, 0, 1920, true, 1280, 800, 1248, 736},
        {true, 0, 0, 10, true, 1280, 800, 1248, 736},  // too small to leave room for a window
        {false, 0, 0, 1920, true, 20, 40, 20, 40},     // smaller than the margins
        {false, 0, 0, 1920, false, 0, 0, 1, 1},        // nothing known
    };
    for (const Case& c : cases) {
        HeadlessDesktop& d = headlessDesktop() = HeadlessDesktop{};
        d.knowsWorkArea = c.knowsWorkArea, d.knowsScreen = c.knowsScreen;
        d.left = c.left, d.top = c.top, d.right = c.right;
        d.screenWidth = c.screenWidth, d.screenHeight = c.screenHeight;
        WorkArea area = measureWorkArea();
        EXPECT_EQ(std::make_pair(c.width, c.height), std::make_pair(area.width, area.height))
            << c.left << "," << c.right << "," << c.screenWidth << "," << c.knowsScreen;
    }
    headlessDesktop() = HeadlessDesktop{};
}
