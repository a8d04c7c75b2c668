// The program's entry procedure and its idle loop.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "editor/menu.h"

constexpr const char* kIdleTitle = "Glimmerix Idle";
constexpr const char* kLoadingTitle = "Loading";

// The editor window's size: the desktop's work area less 32 pixels across and 64 down.
struct WorkArea {
    int width;
    int height;
};

// What the entry procedure keeps for the whole run.
struct Program {
    WorkArea work{0, 0};
    std::uintptr_t lastClipboardBitmap = 0;  // the clipboard image of the last capture
    std::string lastKey;
    ButtonTable buttons;
};

// Measures the work area. Where the desktop cannot tell, or tells a size that leaves no room
// for a window, the whole screen stands in; the result is never below 1 x 1.
WorkArea measureWorkArea();

// True when "-s" appears among the arguments before the first empty one (argument 0, the
// program's own path, included).
bool scanForSkipSplash(const std::vector<std::string>& arguments);

// Folds A-Z to a-z and leaves every other byte alone, as every key test does.
std::string foldKey(const std::string& key);

// Runs the program; the result is the process's exit code.
int runGlimmerix(const std::vector<std::string>& arguments);
