// A made-up clipboard for tests, linked in place of clipboard_x11.cpp or clipboard_win32.cpp:
// tests copy images onto it and read the text the program put there.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/picture_check.h"

struct HeadlessClipboard {
    // The image on the clipboard as the bytes of an image file (it need not be valid), the format
    // the clipboard names for it, and the handle that names it; handle 0 means no image.
    std::vector<unsigned char> image;
    PictureFormat format = PictureFormat::Png;
    std::uintptr_t handle = 0;
    std::string text;          // the text the program put there last
    bool refusesText = false;  // setClipboardText fails, as when another program holds it open
    int textWrites = 0;        // calls of setClipboardText
};

// The clipboard every clipboard call reads; tests change it freely between runs.
HeadlessClipboard& headlessClipboard();

// A new copy: the bytes replace whatever the clipboard held, under a handle never used before,
// even when they are the same bytes as last time.
void copyImageToHeadlessClipboard(std::vector<unsigned char> file,
                                  PictureFormat format = PictureFormat::Png);

// The same, from a file on disk; false (and the clipboard untouched) when it cannot be read.
bool copyImageFileToHeadlessClipboard(const std::string& path,
                                      PictureFormat format = PictureFormat::Png);
