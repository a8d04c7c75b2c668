// The screen layer's one state record, shared by the core files of src/screen/. Backends and the
// rest of the program never see it: they go through screen.h, draw.h and screen_input.h.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ScreenState {
    std::mutex lock;    // the screen lock
    int lockCount = 0;  // nesting of lockScreen; touched only by the program's thread

    // Mode. hasMode is false before the first successful setScreenMode.
    bool hasMode = false;
    bool windowed = false;
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    std::vector<std::uint8_t> changed;  // one mark per row
    // Rows whose pixels really differ from what the window last showed. A frame marks every row
    // changed, but a capture at rest redraws the same pixels; presenting only these rows keeps
    // an idle editor nearly free.
    std::vector<std::uint8_t> redrawn;
    // The last image put onto the screen, so that a frame putting the same unchanged image at
    // the same place can skip even comparing it. Any change to a pixel in its rows forgets it.
    struct LastPut {
        bool valid = false;
        const void* source = nullptr;
        long long sx = 0, sy = 0, dx = 0, dy = 0, columns = 0, rows = 0;
        std::uint64_t imageWrites = 0;
        bool operator==(const LastPut& o) const {
            return valid && o.valid && source == o.source && sx == o.sx && sy == o.sy &&
                   dx == o.dx && dy == o.dy && columns == o.columns && rows == o.rows &&
                   imageWrites == o.imageWrites;
        }
        void forgetRow(long long y) {
            if (y >= dy && y < dy + rows) valid = false;
        }
    } lastPut;

    std::string title;
    bool titleChanged = false;

    // Key ring: at most 15 pending, the oldest dropped when a 16th arrives.
    int keys[16] = {};
    int readIndex = 0;
    int writeIndex = 0;
    bool keyPressed = false;

    // Pointer, as the window last reported it.
    int pointerX = 0;
    int pointerY = 0;
    int wheel = 0;
    int buttons = 0;
    bool active = false;
    bool inside = false;

    // Text console.
    int cursorRow = 1;
    int cursorColumn = 1;
    std::uint32_t foreground = 0xFFFFFFFF;
    std::uint32_t background = 0xFF000000;

    // Window thread.
    std::thread windowThread;
    std::atomic<bool> stopWindow{false};
    std::intptr_t windowHandle = 0;
};

ScreenState& screenState();

// For drawing code: take and release the lock as lockScreen does, but mark exactly the given
// rows (none when first > last) instead of the whole screen.
void markRows(int first, int last);
void markRedrawn(int first, int last);
void releaseScreen();
