#include <gtest/gtest.h>

#include "app/app.h"

TEST(CommandLine, SkipsTheSplashOnlyForAnExactDashS) {
    EXPECT_FALSE(scanForSkipSplash({"glimmerix"}));
    EXPECT_TRUE(scanForSkipSplash({"glimmerix", "x", "-s"}));
    EXPECT_FALSE(scanForSkipSplash({"glimmerix", "-S"}));
    EXPECT_FALSE(scanForSkipSplash({"glimmerix", "--s"}));
    EXPECT_FALSE(scanForSkipSplash({"glimmerix", "-s "}));
    EXPECT_TRUE(scanForSkipSplash({"-s"})) << "argument 0 is examined too";
}

TEST(CommandLine, AnEmptyArgumentEndsTheScan) {
    EXPECT_FALSE(scanForSkipSplash({"glimmerix", "", "-s"}));
    EXPECT_TRUE(scanForSkipSplash({"glimmerix", "-s", "", "-x"}));
    EXPECT_FALSE(scanForSkipSplash({}));
}

TEST(Keys, FoldingTouchesOnlyAToZ) {
    EXPECT_EQ("q", foldKey("Q"));
    EXPECT_EQ("r", foldKey("R"));
    EXPECT_EQ(" ", foldKey(" "));
    EXPECT_EQ(std::string(1, char(0x8E)), foldKey(std::string(1, char(0x8E))));
    EXPECT_EQ((std::string{char(255), 'k'}), foldKey(std::string{char(255), 'k'}));
    EXPECT_EQ((std::string{char(255), 'h'}), foldKey(std::string{char(255), 'H'}))
        << "the second byte of an extended key folds like any letter";
}

#include "desktop/desktop_headless.h"

namespace {

class WorkAreaTest : public ::testing::Test {
  protected:
    void TearDown() override { headlessDesktop() = HeadlessDesktop{}; }
};

}  // namespace

TEST_F(WorkAreaTest, IsTheDesktopWorkAreaLessTheMargins) {
    headlessDesktop().left = 0;
    headlessDesktop().top = 0;
    headlessDesktop().right = 1920;
    headlessDesktop().bottom = 1080;
    WorkArea area = measureWorkArea();
    EXPECT_EQ(1888, area.width);
    EXPECT_EQ(1016, area.height);
    headlessDesktop().left = 64;  // a dock on the left
    headlessDesktop().top = 30;   // a panel on top
    area = measureWorkArea();
    EXPECT_EQ(1920 - 64 - 32, area.width);
    EXPECT_EQ(1080 - 30 - 64, area.height);
}

TEST_F(WorkAreaTest, FallsBackToTheScreenWhenTheWorkAreaIsUnknownOrEmpty) {
    headlessDesktop().knowsWorkArea = false;
    headlessDesktop().screenWidth = 1280;
    headlessDesktop().screenHeight = 800;
    WorkArea area = measureWorkArea();
    EXPECT_EQ(1248, area.width);
    EXPECT_EQ(736, area.height);
    headlessDesktop().knowsWorkArea = true;
    headlessDesktop().right = 10;  // a work area too small to leave room for a window
    area = measureWorkArea();
    EXPECT_EQ(1248, area.width);
}

TEST_F(WorkAreaTest, NeverYieldsAWindowOfNoSize) {
    headlessDesktop().knowsWorkArea = false;
    headlessDesktop().knowsScreen = false;
    WorkArea area = measureWorkArea();
    EXPECT_GE(area.width, 1);
    EXPECT_GE(area.height, 1);
    headlessDesktop().knowsScreen = true;
    headlessDesktop().screenWidth = 20;  // smaller than the margins
    headlessDesktop().screenHeight = 40;
    area = measureWorkArea();
    EXPECT_EQ(20, area.width);
    EXPECT_EQ(40, area.height);
}
