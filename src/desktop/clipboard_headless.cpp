#include "desktop/clipboard_headless.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>
#include <utility>

#include "desktop/clipboard.h"
#include "image/clipboard_picture.h"

namespace {
// Copies made, counted across threads: a test may copy while the program waits.
std::atomic<unsigned> gCopies{0};
unsigned gCopiesAtPoll = 0;
}  // namespace

HeadlessClipboard& headlessClipboard() {
    static HeadlessClipboard clipboard;
    return clipboard;
}

void copyImageToHeadlessClipboard(std::vector<unsigned char> file, PictureFormat format) {
    // Handles only grow, so a reset clipboard never hands out one the program has seen before.
    static std::uintptr_t lastHandle = 0;
    HeadlessClipboard& c = headlessClipboard();
    c.image = std::move(file);
    c.format = format;
    c.handle = ++lastHandle;
    ++gCopies;
}

bool copyImageFileToHeadlessClipboard(const std::string& path, PictureFormat format) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    copyImageToHeadlessClipboard(std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {}),
                                 format);
    return true;
}

std::uintptr_t pollClipboardBitmap() {
    gCopiesAtPoll = gCopies.load();
    return headlessClipboard().handle;
}

bool waitForClipboardChange(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (gCopies.load() == gCopiesAtPoll) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Decodes the held file as its named format, as the real clipboards do with theirs.
Picture readClipboardPicture(std::uintptr_t handle) {
    HeadlessClipboard& c = headlessClipboard();
    if (handle == 0 || handle != c.handle || c.image.empty()) return nullptr;
    return Picture(decodeClipboardPicture(c.image.data(), c.image.size(), c.format));
}

bool setClipboardText(const std::string& text) {
    HeadlessClipboard& c = headlessClipboard();
    ++c.textWrites;
    if (text.empty() || c.refusesText) return false;
    // Text replaces the clipboard's whole content, the image included.
    c.text = text;
    c.image.clear();
    c.handle = 0;
    return true;
}

bool handOverClipboard() {
    return !headlessClipboard().text.empty();  // it keeps whatever text it has
}
