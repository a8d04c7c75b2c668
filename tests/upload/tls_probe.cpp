// Drives the TLS module against a server on 127.0.0.1 for tls_test.sh, on either target:
//
//   tls_probe PORT HOST CA_FILE [HANDSHAKES]
//   tls_probe upload URL PORT CA_FILE FILE
//
// Connects, runs the handshake for HOST, sends one GET and prints the answer's status line, or
// prints the error's console line. With HANDSHAKES, that many handshakes on fresh connections
// come first, and their mean cost is printed. "upload" posts FILE to URL through the upload
// transport instead and prints the link, or the console line of a refused TLS connection.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "upload/socket.h"
#include "upload/tls.h"
#include "upload/transport.h"

namespace {

// Long enough for a loaded machine, short enough for the silent server's row.
constexpr int kTimeoutMs = 3000;

std::int64_t deadline() {
    return steadyMs() + kTimeoutMs;
}

// The answer's first line (nothing when `request` is false), or the console line of what went
// wrong; the handshake's duration is added to `handshakeMs`.
std::string exchange(int port, const std::string& host, const std::string& caFile, bool request,
                     std::int64_t& handshakeMs) {
    // A failed connect shows as the handshake's failure.
    SocketHandle socket = openSocket();
    connectSocket(socket, parseDottedAddress("127.0.0.1"), port, kTimeoutMs);
    TlsError error = TlsError::none;
    const std::int64_t startMs = steadyMs();
    TlsSession* session = tlsHandshake(socket, host, caFile, deadline(), error);
    handshakeMs += steadyMs() - startMs;
    std::string answer;
    const std::string get =
        "GET /probe HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n";
    if (session && request && tlsSendSome(session, get.data(), int(get.size()), deadline()) > 0) {
        char buffer[4096];
        int received;
        while ((received = tlsReceiveSome(session, buffer, sizeof buffer, deadline())) > 0)
            answer.append(buffer, std::size_t(received));
    }
    if (session) error = tlsLastError(session);
    tlsClose(session, deadline());
    closeSocket(socket);
    if (error != TlsError::none) return tlsErrorText(error);
    return answer.substr(0, answer.find("\r\n"));
}

// The link, or the console line of a refused TLS connection, or the step that failed.
std::string upload(const std::string& url, int port, const std::string& caFile,
                   const std::string& file) {
    ConnectionSettings settings;
    settings.port = port;
    settings.caFile = caFile;
    UploadResult result = postCapture(url, settings, CaptureFiles{file, file}, nullptr);
    if (result.failedStep == UploadStep::kTls) return tlsErrorText(result.tlsError);
    return result.succeeded() ? result.link
                              : "failed at step " + std::to_string(int(result.failedStep));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::string(argv[1]) == "upload") {
        std::printf("%s\n", upload(argv[2], std::atoi(argv[3]), argv[4], argv[5]).c_str());
        return 0;
    }
    if (argc < 4 || !startSockets()) return 2;
    const int port = std::atoi(argv[1]);
    const int rounds = argc > 4 ? std::atoi(argv[4]) : 0;
    std::int64_t handshakeMs = 0;
    for (int round = 0; round < rounds; ++round)
        exchange(port, argv[2], argv[3], false, handshakeMs);
    if (rounds > 0)
        std::printf("handshake: %.1f ms (mean of %d)\n", double(handshakeMs) / rounds, rounds);
    std::printf("%s\n", exchange(port, argv[2], argv[3], true, handshakeMs).c_str());
    stopSockets();
    return 0;
}
