#include "editor/editor.h"

#include "editor/menu.h"
#include "screen/screen.h"

namespace {

constexpr int kFrameMs = 15;

// Whether a key, folded to lower case, is one the editor does not act on itself.
bool endsEditor(const std::string& key) {
    return !(key.empty() || key == "1" || key == "2" || key == "3" || key == "r");
}

// Acts on the key of the previous frame. Returns false when the key ends the editor.
bool dispatchKey(Session& session, EditorState& editor) {
    const std::string key = foldKey(session.lastKey);
    if (endsEditor(key)) return false;
    if (key == "1") {
        editor.tool = Tool::MARK;
    } else if (key == "2") {
        editor.tool = Tool::CENSOR;
    } else if (key == "3") {
        editor.tool = Tool::CROP;
    } else if (key == "r") {
        revertCapture(*editor.capture, editor.view, session.work);
    }
    return true;
}

}  // namespace

void startEditor(Session& session, EditorState& editor) {
    editor.tool = Tool::MARK;
    while (!readKey().empty()) {
    }
    session.lastKey.clear();
    editor.previousX = 0;
    editor.previousY = 0;
    editor.drag = DragState{};
}

bool editorFrame(Session& session, EditorState& editor) {
    PointerMotion pointer;
    int wheel = 0, clip = 0;
    readMouse(&pointer.x, &pointer.y, &wheel, &pointer.buttons, &clip);
    pointer.previousX = editor.previousX;
    pointer.previousY = editor.previousY;

    if (!dispatchKey(session, editor)) return false;
    session.lastKey = readKey();

    // The menu bar is drawn outside the frame's lock, each operation reaching the window by
    // itself; a capture reaching into its rows is drawn over it below.
    updateMenuBar(session.buttons, editor.tool, pointer.x, pointer.y, pointer.buttons,
                  session.lastKey);
    panView(editor.view, session.work, editor.capture->picture(), pointer);
    clipImageArea(editor.view, session.work, editor.capture->picture());
    applyTool(editor.tool, editor.drag, *editor.capture, editor.view, session.work, pointer);
    // A key that ends the editor is final once the menu bar has had its say, and the next frame
    // ends before any tool: the picture is as it will be saved, so the saves need not wait for
    // this frame's drawing and pause.
    if (endsEditor(foldKey(session.lastKey))) editor.capture->startSaves();

    lockScreen();
    drawCapture(editor.view, session.work, editor.capture->picture());
    drawDragPreview(editor.drag, editor.view);
    unlockScreen(-1, -1);

    // An unavailable pointer's (-1, -1) becomes the previous position too, so the next pan or
    // pen stroke is measured from there.
    editor.previousX = pointer.x;
    editor.previousY = pointer.y;
    sleepMs(kFrameMs, true);
    return true;
}

void runEditorLoop(Session& session, Capture& capture, View& view) {
    EditorState editor;
    editor.capture = &capture;
    editor.view = view;
    startEditor(session, editor);
    while (editorFrame(session, editor)) {
    }
    view = editor.view;
}
