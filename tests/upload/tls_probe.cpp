// Posts a picture through the upload transport for tls_test.sh, on either target:
//
//   tls_probe URL PORT CA_FILE FILE [HANDSHAKES]
//
// Prints the link, or the console line of a refused TLS connection, or the step that failed.
// With HANDSHAKES, that many bare handshakes for "localhost" on fresh connections to PORT come
// first, and their mean cost is printed.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "upload/socket.h"
#include "upload/tls.h"
#include "upload/transport.h"

namespace {

// Long enough for a loaded machine, short enough for the silent server's row.
constexpr int kTimeoutMs = 3000;

double meanHandshakeMs(int port, const std::string& caFile, int rounds) {
    std::int64_t totalMs = 0;
    for (int round = 0; round < rounds; ++round) {
        SocketHandle socket = openSocket();
        connectSocket(socket, parseDottedAddress("127.0.0.1"), port, kTimeoutMs);
        TlsError error = TlsError::none;
        const std::int64_t startMs = steadyMs();
        TlsSession* session =
            tlsHandshake(socket, "localhost", caFile, startMs + kTimeoutMs, error);
        totalMs += steadyMs() - startMs;
        tlsClose(session, steadyMs() + kTimeoutMs);
        closeSocket(socket);
    }
    return double(totalMs) / rounds;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) return 2;
    ConnectionSettings settings;
    settings.port = std::atoi(argv[2]);
    settings.caFile = argv[3];
    settings.limits.connectMs = kTimeoutMs;
    const int rounds = argc > 5 ? std::atoi(argv[5]) : 0;
    if (rounds > 0 && startSockets()) {
        std::printf("handshake: %.1f ms (mean of %d)\n",
                    meanHandshakeMs(settings.port, settings.caFile, rounds), rounds);
        stopSockets();
    }
    UploadResult result = postCapture(argv[1], settings, CaptureFiles{argv[4], argv[4]}, nullptr);
    if (result.failedStep == UploadStep::kTls)
        std::printf("%s\n", tlsErrorText(result.tlsError));
    else if (result.succeeded())
        std::printf("%s\n", result.link.c_str());
    else
        std::printf("failed at step %d: error #%d\n", int(result.failedStep), result.errorCode);
    return 0;
}
