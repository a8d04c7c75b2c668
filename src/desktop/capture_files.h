// The two capture files, in the working directory. The clipboard writes the PNG when a capture
// opens and REVERT reads it back; after the editor both are written from the edited capture, the
// smaller one is posted, and both are deleted when the capture ends. The clipboard is the lowest
// layer to use them, so the names live here.
#pragma once

constexpr const char* kCapturePng = "screenshot.png";
constexpr const char* kCaptureJpeg = "screenshot.jpg";
