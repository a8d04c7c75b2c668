// The upload flow: what happens between the end of the editor loop and the end-of-capture
// steps. It saves the edited capture to both capture files and, when the editor was left with
// "u", has the transport post it, shows the progress at the top of the editor window, puts the
// link on the clipboard and pauses 1500 ms for a key.
#pragma once

#include <string>

#include "app/app.h"
#include "image/capture.h"

constexpr const char* kUploadingTitle = "UPLOADING";
constexpr const char* kDoneTitle = "DONE";

constexpr std::uint32_t kStatusGrey = 0xFFC0C0C0;   // the progress messages and "ERROR"
constexpr std::uint32_t kStatusGreen = 0xFF00FF00;  // the success message
constexpr std::uint32_t kStatusDim = 0xFF808080;    // whatever is printed after success

// Saves `capture` as both capture files (the PNG and the JPEG at the same time), releases its
// pictures and, when program.lastKey folds to "u", reads the settings from
// program.settingsSources and runs uploadCapture with them. When a save failed or a setting cannot
// be used, nothing is posted: the band shows " UPLOADING", a line naming each failed file or the
// setting's error line, and "ERROR", and the closing pause follows as after a failed upload.
// Returns true when the program must end at once (with program.exitCode), skipping the
// end-of-capture steps so that both capture files stay; otherwise those steps follow with
// program.lastKey, which is left as it was when there was no upload.
bool runUploadFlow(Program& program, Capture& capture);

// The upload screen, the upload of the capture files already on disk to `url` with
// `connection`, the link and the closing pause, after which program.lastKey holds the key read
// (or ""). Once the link is on the clipboard and `keepHistory` is set, a line goes to
// kHistoryFile. Returns true when that key is "q" or "Q", or when the sockets library could not
// start: then "Error: WSAStartup failed" has been shown, a key waited for, and program.exitCode
// is 1.
bool uploadCapture(Program& program, const std::string& url, const ConnectionSettings& connection,
                   bool keepHistory = false);
