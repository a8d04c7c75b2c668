// editor/ is the capture editor: menu bar, editor loop, placement and panning, tools, status
// line and backdrop. Below it lie desktop/, screen/ and image/.
//
// The editor loop: one frame every 15 ms until a key that is not the editor's own arrives.
//
// The loop runs on the program's one thread. Each frame reads the pointer, acts on the key the
// previous frame left in `lastKey`, reads the next key, draws and hit-tests the menu bar, pans,
// applies the current tool and then draws the capture and the drag preview under the screen
// lock, so the window never shows a half-drawn capture.
#pragma once

#include "editor/session.h"
#include "editor/tool.h"
#include "editor/tools.h"
#include "editor/view.h"
#include "image/capture.h"

// One showing of a capture in the editor.
struct EditorState {
    Capture* capture = nullptr;  // crop and revert replace its working picture
    View view;                   // as placeCapture left it for this capture
    Tool tool = Tool::MARK;
    DragState drag;
    int previousX = 0;  // pointer position of the previous frame
    int previousY = 0;
};

// Makes a fresh start for a capture just shown: the MARK tool, no pending keys (keys typed at an
// earlier window must not act on this capture), `lastKey` empty, no drags and the previous
// pointer position at (0, 0).
void startEditor(Session& session, EditorState& editor);

// Runs one frame. Returns false, having done nothing else, when `lastKey` holds a key that is
// not the editor's own; that key stays in `lastKey` exactly as typed or clicked.
bool editorFrame(Session& session, EditorState& editor);

// Shows the capture's working picture, already placed in `view` over the painted backdrop, until
// a key ends the editor; the key is left in `session.lastKey`. The capture must have a working
// picture. On return it holds the edited picture and `view` is where it stands.
void runEditorLoop(Session& session, Capture& capture, View& view);
