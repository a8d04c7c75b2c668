// Drives the TLS module against a server on 127.0.0.1 for tls_test.sh, on either target:
//
//   tls_probe PORT HOST CA_FILE [HANDSHAKES]
//
// Connects, runs the handshake for HOST, sends one GET and prints the answer's status line, or
// prints the error's console line. With HANDSHAKES, it first times that many handshakes on
// fresh connections and prints their mean cost.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "upload/socket.h"
#include "upload/tls.h"

namespace {

// Long enough for a loaded machine, short enough for the silent server's row.
constexpr int kTimeoutMs = 3000;

std::int64_t deadline() {
    return steadyMs() + kTimeoutMs;
}

SocketHandle connectTo(int port) {
    SocketHandle socket = openSocket();
    if (socket == kNoSocket) return kNoSocket;
    if (connectSocket(socket, parseDottedAddress("127.0.0.1"), port, kTimeoutMs)) return socket;
    closeSocket(socket);
    return kNoSocket;
}

// The answer's first line, or the console line of what went wrong.
std::string exchange(int port, const std::string& host, const std::string& caFile) {
    SocketHandle socket = connectTo(port);
    if (socket == kNoSocket) return "connect failed";
    TlsError error = TlsError::none;
    TlsSession* session = tlsHandshake(socket, host, caFile, deadline(), error);
    std::string answer;
    if (session) {
        const std::string request =
            "GET /probe HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n";
        if (tlsSendSome(session, request.data(), int(request.size()), deadline()) ==
            int(request.size())) {
            char buffer[4096];
            int received;
            while ((received = tlsReceiveSome(session, buffer, sizeof buffer, deadline())) > 0)
                answer.append(buffer, std::size_t(received));
            if (received < 0) answer = "";
        }
        error = tlsLastError(session);
        tlsClose(session, deadline());
    }
    closeSocket(socket);
    if (error != TlsError::none) return tlsErrorText(error);
    return answer.substr(0, answer.find("\r\n"));
}

// Mean milliseconds of a handshake on a fresh loopback connection, connect excluded.
double handshakeMs(int port, const std::string& host, const std::string& caFile, int count) {
    std::int64_t totalMs = 0;
    for (int round = 0; round < count; ++round) {
        SocketHandle socket = connectTo(port);
        TlsError error = TlsError::none;
        std::int64_t startMs = steadyMs();
        TlsSession* session = tlsHandshake(socket, host, caFile, deadline(), error);
        totalMs += steadyMs() - startMs;
        tlsClose(session, deadline());
        closeSocket(socket);
        if (!session) return -1;
    }
    return double(totalMs) / count;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: tls_probe PORT HOST CA_FILE [HANDSHAKES]\n");
        return 2;
    }
    if (!startSockets()) return 1;
    const int port = std::atoi(argv[1]);
    if (argc > 4) {
        int count = std::atoi(argv[4]);
        std::printf("handshake: %.1f ms (mean of %d)\n", handshakeMs(port, argv[2], argv[3], count),
                    count);
    }
    std::printf("%s\n", exchange(port, argv[2], argv[3]).c_str());
    std::fflush(stdout);
    stopSockets();
    return 0;
}
