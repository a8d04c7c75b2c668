#include "upload/upload_flow.h"

#include <array>
#include <cstring>

#include "desktop/clipboard.h"
#include "editor/status.h"
#include "screen/draw.h"
#include "screen/screen.h"
#include "upload/answer.h"
#include "upload/upload_client.h"

#ifndef GLIMMERIX_UPLOAD_HOST
#error "GLIMMERIX_UPLOAD_HOST must name the upload service's host (a CMake cache variable)"
#endif

namespace {

constexpr int kSettleMs = 15;
constexpr int kClosingPauseMs = 1500;
constexpr int kReceiveChunk = 1024;

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

// Reads the answer until the service closes the connection. A receive error or time-out is
// reported and fails, as a cut-off answer may carry a cut-off link; so does an answer too long
// to be a link. A zero byte ends the text of the chunk it arrives in.
bool receiveAnswer(SocketHandle socket, std::string& answer) {
    std::array<char, kReceiveChunk + 1> buffer{};
    std::string::size_type total = 0;
    for (;;) {
        int received =
            receiveBytes(socket, buffer.data(), kReceiveChunk, uploadConnection().timeoutMs);
        if (received == 0) return true;
        if (received < 0) {
            reportSocketError("recv()");
            return false;
        }
        total += static_cast<std::string::size_type>(received);
        if (total > kMaxAnswerBytes) return false;
        buffer[static_cast<std::size_t>(received)] = '\0';
        answer.append(buffer.data(), std::strlen(buffer.data()));
    }
}

// Receives the answer and puts its link on the clipboard. False when there is no link to give
// or the clipboard would not take it; the clipboard is then left alone or as it failed.
bool receiveLink(SocketHandle socket) {
    std::string answer;
    if (!receiveAnswer(socket, answer) || !answerHasLink(answer)) return false;
    return setClipboardText(extractLink(answer)) == 1;
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

}  // namespace

std::string uploadUrl() {
    return std::string("http://") + GLIMMERIX_UPLOAD_HOST + "/api.php";
}

bool runUploadFlow(Session& session, Image*& capture) {
    saveImageFile(capture, kPngCaptureFile, kFormatPng);
    saveImageFile(capture, kJpegCaptureFile, kFormatJpeg);
    sleepMs(kSettleMs);
    destroyImage(capture);
    capture = nullptr;
    if (foldKey(session.lastKey) != "u") return false;
    return uploadCapture(session, uploadUrl());
}

bool uploadCapture(Session& session, const std::string& url) {
    const WorkArea& work = session.work;
    setWindowTitle(kUploadingTitle);
    setTextColour(kStatusGrey);
    showProgress(work, " UPLOADING");
    startWinsock();

    SocketHandle socket = kNoSocket;
    std::string request;
    if (!uploadScreenshot(url, socket, request)) {
        // Below " UPLOADING" and the client's report line; the title stays "UPLOADING".
        printText("ERROR", true);
    } else {
        showProgress(work, " RECEIVING LINK...");
        if (receiveLink(socket))
            showDone(work);
        else
            printText("ERROR", true);
        closeSocket(socket);
    }
    stopWinsock();
    std::string().swap(request);
    return closingPause(session);
}
