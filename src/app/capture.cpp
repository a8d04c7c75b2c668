#include "app/capture.h"

#include <cstdio>

#include "app/upload_flow.h"
#include "desktop/clipboard.h"
#include "desktop/desktop.h"
#include "editor/editor.h"
#include "editor/status.h"
#include "screen/draw.h"
#include "screen/screen.h"

namespace {

void deleteCaptureFiles() {
    std::remove(kCapturePng);
    std::remove(kCaptureJpeg);
}

void returnToIdle() {
    setWindowTitle(kIdleTitle);
    setScreenMode(1, 1, 32, 0, kWindowless, 0);
}

}  // namespace

Image* openEditorWindow(const Program& program, View& view) {
    const WorkArea& work = program.work;
    if (setScreenMode(work.width, work.height, 32, 0, kBorderless, 0) != 0) return nullptr;
    std::intptr_t editorWindow = getWindowHandle();
    Image* capture = loadImageFile(kCapturePng);
    if (!capture) return nullptr;
    drawLine(nullptr, 0, 0, float(work.width), float(work.height), 0xFF000000, kFilledBox, kSolid,
             kRelative);
    showAndFocusWindow(editorWindow);
    placeCapture(view, work, capture);
    drawStripes(work);
    return capture;
}

bool runCaptureCycle(Program& program, std::uintptr_t handle) {
    setWindowTitle(kIdleTitle);
    // Taken from here on, whatever happens to it: a picture that cannot be read is not worth
    // retrying every 250 ms.
    program.lastClipboardBitmap = handle;
    View view;
    Image* capture = writeCaptureFile(handle) ? openEditorWindow(program, view) : nullptr;
    if (!capture) {
        // Nothing to edit: leave no window and no half-made files, and keep waiting.
        deleteCaptureFiles();
        returnToIdle();
        return false;
    }
    runEditorLoop(program, capture, view);
    if (runUploadFlow(program, capture)) return true;  // "q" after an upload keeps the files
    deleteCaptureFiles();
    if (foldKey(program.lastKey) == "q") return true;
    returnToIdle();
    return false;
}
