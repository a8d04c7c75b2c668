#include "app/capture.h"

#include <utility>

#include "app/upload_flow.h"
#include "desktop/clipboard.h"
#include "desktop/desktop.h"
#include "editor/editor.h"
#include "editor/status.h"
#include "screen/draw.h"
#include "screen/screen.h"

namespace {

void returnToIdle() {
    setWindowTitle(kIdleTitle);
    setScreenMode(1, 1, 32, 0, kWindowless, 0);
}

}  // namespace

bool openEditorWindow(const Program& program, Capture& capture, View& view) {
    const WorkArea& work = program.work;
    // The picture first, while the worker starts on the file: the window then shows it as soon
    // as it is open, and the worker has had that much of a start.
    if (!capture.makeWorkingPicture()) return false;
    if (setScreenMode(work.width, work.height, 32, 0, kBorderless, 0) != 0) return false;
    std::intptr_t editorWindow = getWindowHandle();
    drawLine(nullptr, 0, 0, float(work.width), float(work.height), 0xFF000000, kFilledBox, kSolid,
             kRelative);
    showAndFocusWindow(editorWindow);
    placeCapture(view, work, capture.picture());
    drawStripes(work);
    return true;
}

bool runCaptureCycle(Program& program, std::uintptr_t handle) {
    setWindowTitle(kIdleTitle);
    // Taken from here on, whatever happens to it: a picture that cannot be read is not worth
    // retrying every 250 ms.
    program.lastClipboardBitmap = handle;
    // The editor shows the picture from memory while a worker writes it to disk; the capture waits
    // for that worker before anything else touches the files, and before it is destroyed.
    Picture picture = readClipboardPicture(handle);
    if (!picture) {
        returnToIdle();
        return false;
    }
    Capture capture(std::move(picture));
    View view;
    if (!openEditorWindow(program, capture, view)) {
        // Nothing to edit: leave no window and no half-made files, and keep waiting.
        capture.removeFiles();
        returnToIdle();
        return false;
    }
    runEditorLoop(program, capture, view);
    if (runUploadFlow(program, capture)) return true;  // "q" after an upload keeps the files
    capture.removeFiles();
    if (foldKey(program.lastKey) == "q") return true;
    returnToIdle();
    return false;
}
