#include "app/app.h"

#include <cstdio>

#include "app/capture.h"
#include "desktop/clipboard.h"
#include "desktop/desktop.h"
#include "image/image.h"
#include "screen/draw.h"
#include "screen/screen.h"

namespace {

constexpr int kSplashWidth = 235;
constexpr int kSplashHeight = 57;
constexpr int kSplashMs = 2000;
constexpr int kIdlePauseMs = 250;

void enterIdleMode() {
    setScreenMode(1, 1, 32, 0, kWindowless, 0);
}

void showSplash() {
    setScreenMode(kSplashWidth, kSplashHeight, 32, 0, kBorderless, 0);
    Image* logo = loadImageFile("logo.png");
    putImage(nullptr, 1, 1, logo);
    destroyImage(logo);
    // Keys and clicks do not shorten the splash; keys typed here stay pending for the idle loop.
    sleepMs(kSplashMs, true);
}

// One pass of the idle loop after the clipboard poll: pause, then read one leftover key.
// Returns true when that key asks to quit. A clipboard change ends the pause early, so a new
// picture need not wait out the rest of it.
bool waitAndReadKey(Program& program) {
    sleepMs(kIdlePauseMs, waitForClipboardChange);
    program.lastKey = readKey();
    return foldKey(program.lastKey) == "q";
}

// Every end through "q": a link we put on the clipboard is meant to outlive us.
int quit() {
    handOverClipboard();
    return 0;
}

}  // namespace

WorkArea measureWorkArea() {
    int left = 0, top = 0, right = 0, bottom = 0;
    queryWorkArea(&left, &top, &right, &bottom);
    WorkArea area{right - left - 32, bottom - top - 64};
    if (area.width >= 1 && area.height >= 1) return area;
    int width = 0, height = 0;
    if (queryScreenSize(&width, &height)) area = WorkArea{width - 32, height - 64};
    if (area.width < 1) area.width = width > 0 ? width : 1;
    if (area.height < 1) area.height = height > 0 ? height : 1;
    return area;
}

bool scanForSkipSplash(const std::vector<std::string>& arguments) {
    bool skip = false;
    for (const std::string& argument : arguments) {
        if (argument.empty()) break;
        if (argument == "-s") skip = true;
    }
    return skip;
}

int runGlimmerix(const std::vector<std::string>& arguments) {
    if (!openDesktop()) return 1;
    Program program;
    program.settingsSources = systemSettingsSources();
    program.work = measureWorkArea();
    setWindowTitle(kLoadingTitle);
    sleepMs(15);
    // Give way to a running instance. The title finds one that shows its editor; the lock finds
    // one in any other state, which would otherwise race us for every screenshot.
    if (findWindowByTitle(kIdleTitle) || !acquireInstanceLock()) return 0;
    if (!scanForSkipSplash(arguments)) showSplash();
    program.buttons = buildButtonTable(program.work.height);
    enterIdleMode();
    setWindowTitle(kIdleTitle);
    do {
        std::uintptr_t handle = pollClipboardBitmap();
        if (handle && handle != program.lastClipboardBitmap && runCaptureCycle(program, handle))
            return program.exitCode != 0 ? program.exitCode : quit();
    } while (!waitAndReadKey(program));
    return quit();
}
