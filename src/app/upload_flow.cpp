#include "app/upload_flow.h"

#include <ctime>
#include <vector>

#include "app/upload_history.h"
#include "desktop/clipboard.h"
#include "editor/status.h"
#include "image/capture.h"
#include "screen/draw.h"
#include "screen/screen.h"
#include "upload/transport.h"

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
// status line when it refused, the reason an encrypted connection was refused, else the failed
// step with the system's code, if any.
void reportFailure(const UploadResult& result) {
    static const std::pair<UploadStep, const char*> kStepNames[] = {
        {UploadStep::kResolve, "resolveHost(): invalid address"},
        {UploadStep::kSocket, "socket()"},
        {UploadStep::kConnect, "connect()"},
        {UploadStep::kSend, "send()"},
        {UploadStep::kReceive, "recv()"}};
    if (!result.refusal.empty()) {
        printText(result.refusal, true);
    } else if (result.failedStep == UploadStep::kTls) {
        printText(tlsErrorText(result.tlsError), true);
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

// The edit did not reach the disk, or the settings say nothing usable about where it goes:
// nothing is posted. The reasons stand between " UPLOADING" and "ERROR".
bool refuseUpload(Session& session, const std::vector<std::string>& reasons) {
    showUploading(session.work);
    for (const std::string& reason : reasons) printText(reason, true);
    printText("ERROR", true);
    return closingPause(session);
}

// The URL as the transport takes it. A path of "/" alone is left out: a URL that ends in its
// first "/" keeps that "/" in its host.
std::string transportUrl(const UploadSettings& upload) {
    return upload.scheme + "://" + upload.host + (upload.path == "/" ? "" : upload.path);
}

// The program's connection, pointed where the settings say. Without a port in the URL the
// connection's own stands: the scheme's port in the program, a loopback server's in tests.
ConnectionSettings connectionFor(const ConnectionSettings& base, const UploadSettings& upload) {
    ConnectionSettings connection = base;
    if (upload.portGiven) connection.port = upload.port;
    connection.portInHost = upload.portGiven;
    connection.token = upload.token;
    connection.caFile = upload.caFile;
    return connection;
}

}  // namespace

bool runUploadFlow(Program& program, Capture& capture) {
    Session& session = program;
    std::vector<std::string> unsaved;
    for (const char* name : capture.saveFiles())
        unsaved.push_back(std::string("Cannot save ") + name);
    sleepMs(kSettleMs);
    capture.release();
    if (foldKey(session.lastKey) != "u") return false;
    if (!unsaved.empty()) return refuseUpload(session, unsaved);
    Settings settings;
    std::string error;
    if (!loadSettings(program.settingsSources, settings, error))
        return refuseUpload(session, {error});
    return uploadCapture(program, transportUrl(settings.upload),
                         connectionFor(program.upload, settings.upload), settings.history);
}

bool uploadCapture(Program& program, const std::string& url, const ConnectionSettings& connection,
                   bool keepHistory) {
    const WorkArea& work = program.work;
    showUploading(work);
    UploadResult result = postCapture(url, connection, CaptureFiles{kCapturePng, kCaptureJpeg},
                                      [&] { showProgress(work, " RECEIVING LINK..."); });
    if (result.failedStep == UploadStep::kSocketsStart) {
        // Without sockets no upload can ever work: the program ends, once the user has seen why.
        printText("Error: WSAStartup failed", true);
        sleepMs(-1);
        program.exitCode = 1;
        return true;
    }
    // The clipboard keeps what it had unless it takes the link.
    if (result.succeeded() && setClipboardText(result.link)) {
        showDone(work);
        // The upload has worked whatever becomes of its history line.
        if (keepHistory)
            appendUploadHistory(kHistoryFile, std::time(nullptr), result.link,
                                result.header("X-Delete-Url"));
    } else {
        reportFailure(result);
    }
    return closingPause(program);
}
