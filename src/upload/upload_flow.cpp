#include "upload/upload_flow.h"

#include <array>
#include <cstring>
#include <vector>

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

// Reads the answer until the service closes the connection, keeping the bytes as they came and
// the text that the link is cut from, where a zero byte ends the text of its chunk. A receive
// error or time-out is reported and fails, as a cut-off answer may carry a cut-off link; so does
// an answer too long to be a link.
bool receiveAnswer(SocketHandle socket, std::int64_t deadlineMs, std::string& bytes,
                   std::string& text) {
    std::array<char, kReceiveChunk + 1> buffer{};
    const StepLimit limit{uploadConnection().limits.stallMs, deadlineMs};
    for (;;) {
        int received = receiveBytes(socket, buffer.data(), kReceiveChunk, limit);
        if (received == 0) return true;
        if (received < 0) {
            reportSocketError("recv()");
            return false;
        }
        bytes.append(buffer.data(), std::size_t(received));
        if (bytes.size() > kMaxAnswerBytes) return false;
        buffer[std::size_t(received)] = '\0';
        text.append(buffer.data(), std::strlen(buffer.data()));
    }
}

// Receives the answer and puts its link on the clipboard. False when there is no whole answer
// with a link in it, or the clipboard would not take it; the clipboard is then left alone or as
// it failed.
bool receiveLink(SocketHandle socket, std::int64_t deadlineMs) {
    std::string bytes, text;
    if (!receiveAnswer(socket, deadlineMs, bytes, text) || answerIsCutOff(bytes)) return false;
    std::string link = acceptedLink(text);
    return !link.empty() && setClipboardText(link) == 1;
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

bool runUploadFlow(Session& session, Capture& capture) {
    std::vector<const char*> unsaved = capture.saveFiles();
    sleepMs(kSettleMs);
    capture.release();
    if (foldKey(session.lastKey) != "u") return false;
    if (!unsaved.empty()) return refuseUpload(session, unsaved);
    return uploadCapture(session, uploadUrl());
}

bool uploadCapture(Session& session, const std::string& url) {
    const WorkArea& work = session.work;
    showUploading(work);
    startWinsock();

    SocketHandle socket = kNoSocket;
    std::string request;
    std::int64_t deadlineMs = 0;
    if (!uploadScreenshot(url, socket, request, deadlineMs)) {
        // Below " UPLOADING" and the client's report line; the title stays "UPLOADING".
        printText("ERROR", true);
    } else {
        showProgress(work, " RECEIVING LINK...");
        if (receiveLink(socket, deadlineMs))
            showDone(work);
        else
            printText("ERROR", true);
        closeSocket(socket);
    }
    stopWinsock();
    std::string().swap(request);
    return closingPause(session);
}
