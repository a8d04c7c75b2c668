#include "upload/transport.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <fstream>
#include <memory>

#include "upload/answer.h"
#include "upload/byte_stream.h"
#include "upload/request.h"
#include "upload/tls_stream.h"

namespace {

// Room for the request around the file, so that its length still fits an int.
constexpr std::streamoff kMaxCaptureBytes = INT_MAX - 4096;
constexpr int kReceiveChunk = 1024;
constexpr const char* kTlsScheme = "https://";
constexpr int kHttpPort = 80;
constexpr int kHttpsPort = 443;

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

UploadResult failure(UploadStep step, int code = 0) {
    UploadResult result;
    result.failedStep = step;
    result.errorCode = code;
    return result;
}

// Sends the whole request piece by piece, each piece no larger than the send buffer, so that
// every piece the peer takes is progress. Gives up as TransferLimits says.
bool sendRequest(ByteStream& stream, const std::string& request, const TransferLimits& limits) {
    const std::int64_t startMs = steadyMs();
    std::int64_t progressMs = startMs;
    std::size_t sent = 0;
    while (sent < request.size()) {
        const int piece = int(std::min(request.size() - sent, std::size_t(limits.sendBufferBytes)));
        const std::int64_t endMs = sendGiveUpMs(limits, startMs, progressMs, std::int64_t(sent));
        const int taken = stream.sendSome(request.data() + sent, piece, endMs);
        if (taken < 0) return false;
        sent += std::size_t(taken);
        progressMs = steadyMs();
    }
    stream.finishSending();
    return true;
}

struct Answer {
    std::string bytes;   // as they came
    std::string text;    // what the link is cut from: a zero byte ends its chunk's text
    bool ended = false;  // the service closed its side
    int errorCode = 0;   // when it did not end
};

// Reads the answer until the service ends it, `endMs` comes, an error occurs or it grows beyond
// any link's answer.
Answer receiveAnswer(ByteStream& stream, std::int64_t endMs) {
    Answer answer;
    std::array<char, kReceiveChunk + 1> buffer{};
    while (answer.bytes.size() <= kMaxAnswerBytes) {
        int received = stream.receiveSome(buffer.data(), kReceiveChunk, endMs);
        if (received == 0) {
            answer.ended = true;
            break;
        }
        if (received < 0) {
            answer.errorCode = stream.lastError();
            break;
        }
        answer.bytes.append(buffer.data(), std::size_t(received));
        buffer[std::size_t(received)] = '\0';
        answer.text.append(buffer.data(), std::strlen(buffer.data()));
    }
    return answer;
}

// What the service said when the request did not get out whole: a service that refuses early
// (a missing token, a file too large) answers and closes before reading everything, and its
// answer, already here, tells the user more than the failed send.
UploadResult sendFailure(ByteStream& stream) {
    UploadResult result = failure(UploadStep::kSend, stream.lastError());
    result.refusal = refusalLine(receiveAnswer(stream, steadyMs()).bytes);
    return result;
}

UploadResult linkFrom(const Answer& answer) {
    if (answer.bytes.size() > kMaxAnswerBytes) return failure(UploadStep::kAnswer);
    // A reset after the whole answer (head and exactly its Content-Length) loses nothing.
    if (!answer.ended && !answerIsWhole(answer.bytes)) {
        UploadResult result = failure(UploadStep::kReceive, answer.errorCode);
        result.refusal = refusalLine(answer.bytes);
        return result;
    }
    UploadResult result;
    result.refusal = refusalLine(answer.bytes);
    if (!answerIsCutOff(answer.bytes)) result.link = acceptedLink(answer.text);
    if (result.link.empty()) result.failedStep = UploadStep::kAnswer;
    result.headers = answerHeaders(answer.bytes);
    return result;
}

UploadResult post(const std::string& url, const ConnectionSettings& settings,
                  const CaptureFiles& files, const std::function<void()>& sent) {
    const bool https = url.compare(0, std::strlen(kTlsScheme), kTlsScheme) == 0;
    std::string rest = https ? url.substr(std::strlen(kTlsScheme)) : url;
    std::string host, path;
    splitUrl(rest, host, path);
    std::uint32_t address = parseDottedAddress(host.c_str());
    if (address == kNoAddress) address = lookUpHost(host.c_str());
    if (address == kNoAddress) return failure(UploadStep::kResolve, lastSocketError());
    SocketHandle socket = openSocket();
    if (socket == kNoSocket) return failure(UploadStep::kSocket, lastSocketError());
    // The plain socket carries the request; for https, a TLS session wraps it once connected.
    std::unique_ptr<ByteStream> stream = std::make_unique<SocketStream>(socket);
    const TransferLimits& limits = settings.limits;
    const int port = settings.port != 0 ? settings.port : https ? kHttpsPort : kHttpPort;
    if (!connectSocket(socket, address, port, limits.connectMs) ||
        !setSendBuffer(socket, limits.sendBufferBytes))
        return failure(UploadStep::kConnect, lastSocketError());
    if (https) {
        // The handshake is part of getting connected, and has as long.
        UploadResult refused = failure(UploadStep::kTls);
        TlsSession* session = tlsHandshake(socket, host, settings.caFile,
                                           steadyMs() + limits.connectMs, refused.tlsError);
        if (!session) return refused;
        stream = std::make_unique<TlsStream>(std::move(stream), session);
    }

    std::string fileName = chooseCaptureFile(files);
    std::string fileBytes = readCapture(fileName);
    // An empty part would post a broken image and still bring back a link to it.
    if (fileBytes.empty()) return failure(UploadStep::kFile);
    const std::string hostHeader =
        settings.portInHost ? host + ":" + std::to_string(settings.port) : host;
    std::string request = buildUploadRequest(hostHeader, path, fileName, fileBytes, settings.token);
    std::string().swap(fileBytes);
    writeRequestDump(requestForDump(request, settings.token));
    if (!sendRequest(*stream, request, limits)) return sendFailure(*stream);
    std::string().swap(request);
    const std::int64_t answerEndMs = steadyMs() + limits.answerMs;
    if (sent) sent();
    return linkFrom(receiveAnswer(*stream, answerEndMs));
}

}  // namespace

std::string UploadResult::header(const std::string& name) const {
    for (const auto& [key, value] : headers)
        if (sameHeaderName(key, name)) return value;
    return "";
}

std::string chooseCaptureFile(const CaptureFiles& files) {
    std::streamoff jpegLength = captureLength(files.jpeg);
    std::streamoff pngLength = captureLength(files.png);
    return pngLength < jpegLength ? files.png : files.jpeg;
}

UploadResult postCapture(const std::string& url, const ConnectionSettings& settings,
                         const CaptureFiles& files, const std::function<void()>& sent) {
    if (settings.refuseSocketStart || !startSockets())
        return failure(UploadStep::kSocketsStart, lastSocketError());
    UploadResult result = post(url, settings, files, sent);
    stopSockets();
    return result;
}
