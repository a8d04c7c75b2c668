#include "upload/upload_client.h"

#include <climits>
#include <cstdlib>
#include <fstream>

#include "screen/draw.h"
#include "screen/screen.h"
#include "upload/request.h"

namespace {

// Room for the request around the file, so that its length still fits the int that one send
// call takes.
constexpr std::streamoff kMaxCaptureBytes = INT_MAX - 4096;

// The file's length, or 0 when it is missing, unreadable or too large to send. An ifstream never
// creates the file, so looking at a missing capture leaves no empty one behind.
std::streamoff captureLength(const std::string& name) {
    std::ifstream file(name, std::ios::binary);
    if (!file) return 0;
    file.seekg(0, std::ios::end);
    std::streamoff length = file.tellg();
    return length > 0 && length <= kMaxCaptureBytes ? length : 0;
}

// The whole file, or the empty text when it cannot be read whole.
std::string readCapture(const std::string& name) {
    std::streamoff length = captureLength(name);
    if (length == 0) return "";
    std::ifstream file(name, std::ios::binary);
    std::string bytes(static_cast<std::string::size_type>(length), '\0');
    if (!file.read(&bytes[0], length) || file.gcount() != length) return "";
    return bytes;
}

// Truncating first keeps dump.txt an exact copy of the last request: an older, longer request
// would otherwise leave its tail behind. Write failures are not the upload's concern.
void writeRequestDump(const std::string& request) {
    std::ofstream dump(kDumpFile, std::ios::binary | std::ios::trunc);
    dump.write(request.data(), static_cast<std::streamsize>(request.size()));
}

int closeAndFail(SocketHandle& socket, std::string& request) {
    closeSocket(socket);
    socket = kNoSocket;
    std::string().swap(request);
    return 0;
}

}  // namespace

UploadConnection& uploadConnection() {
    static UploadConnection connection;
    return connection;
}

void startWinsock() {
    if (!uploadConnection().refuseSocketStart && startSockets()) return;
    printText("Error: WSAStartup failed", true);
    sleepMs(-1);
    std::exit(1);
}

void stopWinsock() {
    stopSockets();
}

std::uint32_t resolveHost(const std::string& host) {
    std::uint32_t address = parseDottedAddress(host.c_str());
    if (address != kNoAddress) return address;
    return lookUpHost(host.c_str());
}

void reportSocketError(const std::string& step) {
    // Taken first, so nothing printed can disturb the code being reported.
    int code = lastSocketError();
    printText(step);
    printText(": error #" + std::to_string(code), true);
}

std::string chooseCaptureFile() {
    std::streamoff jpegLength = captureLength(kCaptureJpeg);
    std::streamoff pngLength = captureLength(kCapturePng);
    return pngLength < jpegLength ? kCapturePng : kCaptureJpeg;
}

std::int64_t exchangeDeadline(std::int64_t startMs, std::size_t requestBytes) {
    const UploadLimits& limits = uploadConnection().limits;
    const std::int64_t blocks = (std::int64_t(requestBytes) + 32767) / 32768;
    return startMs + limits.exchangeMs + blocks * limits.msPer32KiB;
}

int uploadScreenshot(const std::string& url, SocketHandle& socket, std::string& request,
                     std::int64_t& deadlineMs) {
    std::string().swap(request);
    if (socket != kNoSocket) closeSocket(socket);
    socket = kNoSocket;

    std::string rest = url, host, path;
    splitUrl(rest, host, path);
    std::uint32_t address = resolveHost(host);
    if (address == kNoAddress) {
        reportSocketError("resolveHost(): invalid address");
        return 0;
    }
    socket = openSocket();
    if (socket == kNoSocket) {
        reportSocketError("socket()");
        return 0;
    }
    const UploadConnection& connection = uploadConnection();
    const std::int64_t startMs = steadyMs();
    if (!connectSocket(socket, address, connection.port, connection.limits.connectMs)) {
        reportSocketError("connect()");
        return closeAndFail(socket, request);
    }

    std::string fileName = chooseCaptureFile();
    std::string fileBytes = readCapture(fileName);
    // An empty part would post a broken image and still bring back a link to it.
    if (fileBytes.empty()) return closeAndFail(socket, request);

    request = buildUploadRequest(host, path, fileName, fileBytes);
    writeRequestDump(request);
    deadlineMs = exchangeDeadline(startMs, request.size());
    if (!sendBytes(socket, request.data(), static_cast<int>(request.size()),
                   connection.limits.sendBufferBytes,
                   StepLimit{connection.limits.stallMs, deadlineMs})) {
        reportSocketError("send()");
        return closeAndFail(socket, request);
    }
    shutdownSending(socket);
    return 1;
}
