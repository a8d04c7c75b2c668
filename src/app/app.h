// The top of the program: the entry procedure, the idle loop and the capture cycle. Everything
// else lies below: editor, desktop, screen and image, each using only those under it, and the
// upload transport, which uses none of them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/settings.h"
#include "editor/session.h"
#include "editor/work_area.h"
#include "upload/transport.h"

constexpr const char* kIdleTitle = "Glimmerix Idle";
constexpr const char* kLoadingTitle = "Loading";

// What the entry procedure keeps for the whole run: what every capture shares, and the one thing
// only the idle loop compares.
struct Program : Session {
    std::uintptr_t lastClipboardBitmap = 0;  // the clipboard image of the last capture
    ConnectionSettings upload;               // where and how captures are posted
    // Where each upload reads its settings: the machine's in the program; none (the build's
    // defaults) unless a test gives its own.
    SettingsSources settingsSources;
    int exitCode = 0;  // what the process ends with once a capture cycle asks to quit
};

// Measures the work area. Where the desktop cannot tell, or tells a size that leaves no room
// for a window, the whole screen stands in; the result is never below 1 x 1.
WorkArea measureWorkArea();

// True when "-s" appears among the arguments before the first empty one (argument 0, the
// program's own path, included).
bool scanForSkipSplash(const std::vector<std::string>& arguments);

// Runs the program; the result is the process's exit code.
int runGlimmerix(const std::vector<std::string>& arguments);
