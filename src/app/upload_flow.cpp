#include "app/upload_flow.h"

#include <vector>

#include "desktop/clipboard.h"
#include "editor/status.h"
#include "image/capture.h"
#include "screen/draw.h"
#include "screen/screen.h"
#include "upload/transport.h"

#ifndef GLIMMERIX_UPLOAD_HOST
#error "GLIMMERIX_UPLOAD_HOST must name the upload service's host (a CMake cache variable)"
#endif

namespace {

constexpr int kSettleMs = 15;
constexpr int kClosingPauseMs = 1500;

// Wipes the status rows and leaves the cursor at the start of the second text row, where every
// status message is centred.
void startStatusMessage(const WorkArea& work) {
    locateText(1, 1);
    drawStatusBand(work);
    printNewline();
}

void showProgress(const WorkArea& work, const std::string& message) {
    startStatusMessage(work);
    printCentered(work, message);
    printNewline();
}

// The lines under the progress message that say why the upload failed: the service's own
// status line when it refused, else the failed step with the system's code, if any.
void reportFailure(const UploadResult& result) {
    static const std::pair<UploadStep, const char*> kStepNames[] = {
        {UploadStep::kResolve, "resolveHost(): invalid address"},
        {UploadStep::kSocket, "socket()"},
        {UploadStep::kConnect, "connect()"},
        {UploadStep::kSend, "send()"},
        {UploadStep::kReceive, "recv()"}};
    if (!result.refusal.empty()) {
        printText(result.refusal, true);
    } else {
        for (const auto& [step, name] : kStepNames)
            if (step == result.failedStep) {
                printText(name);
                printText(": error #" + std::to_string(result.errorCode), true);
            }
    }
    printText("ERROR", true);
}

void showUploading(const WorkArea& work) {
    setWindowTitle(kUploadingTitle);
    setTextColour(kStatusGrey);
    showProgress(work, " UPLOADING");
}

void showDone(const WorkArea& work) {
    startStatusMessage(work);
    setTextColour(kStatusGreen);
    printCentered(work, "Link is in your CLIPBOARD!");
    setWindowTitle(kDoneTitle);
    setTextColour(kStatusDim);
}

// Drops the keys pressed during the upload, shows the outcome for up to 1500 ms and reads the
// key that decides what follows.
bool closingPause(Session& session) {
    while (!readKey().empty()) {
    }
    sleepMs(kClosingPauseMs);
    session.lastKey = readKey();
    return foldKey(session.lastKey) == "q";
}

// The edit did not reach the disk, so whatever a capture file holds is not what the user
// approved: nothing is posted. The failed files are named between " UPLOADING" and "ERROR".
bool refuseUpload(Session& session, const std::vector<const char*>& unsaved) {
    showUploading(session.work);
    for (const char* name : unsaved) printText(std::string("Cannot save ") + name, true);
    printText("ERROR", true);
    return closingPause(session);
}

}  // namespace

std::string uploadUrl() {
    return std::string("http://") + GLIMMERIX_UPLOAD_HOST + "/api.php";
}

bool runUploadFlow(Program& program, Capture& capture) {
    Session& session = program;
    std::vector<const char*> unsaved = capture.saveFiles();
    sleepMs(kSettleMs);
    capture.release();
    if (foldKey(session.lastKey) != "u") return false;
    if (!unsaved.empty()) return refuseUpload(session, unsaved);
    return uploadCapture(program, uploadUrl());
}

bool uploadCapture(Program& program, const std::string& url) {
    const WorkArea& work = program.work;
    showUploading(work);
    UploadResult result = postCapture(url, program.upload, CaptureFiles{kCapturePng, kCaptureJpeg},
                                      [&] { showProgress(work, " RECEIVING LINK..."); });
    if (result.failedStep == UploadStep::kSocketsStart) {
        // Without sockets no upload can ever work: the program ends, once the user has seen why.
        printText("Error: WSAStartup failed", true);
        sleepMs(-1);
        program.exitCode = 1;
        return true;
    }
    // The clipboard keeps what it had unless it takes the link.
    if (result.succeeded() && setClipboardText(result.link) == 1)
        showDone(work);
    else
        reportFailure(result);
    return closingPause(program);
}
