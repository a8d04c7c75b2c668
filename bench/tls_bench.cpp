// What TLS costs the upload, on loopback against glimmerix-server's own TLS: the mean of bare
// handshakes through the client's TLS module, and the post of a 1920 x 1080 screenshot-like
// capture over https beside the same post over plain http, medians of 7 with min and max.
//
//   tls_bench HTTP_PORT HTTPS_PORT CA_FILE   (run by tls_bench.sh, which starts both services)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "desktop_picture.h"
#include "figure.h"
#include "image/image.h"
#include "upload/socket.h"
#include "upload/tls.h"
#include "upload/transfer_limits.h"
#include "upload/transport.h"

namespace {

constexpr int kRuns = 7;
constexpr int kHandshakes = 50;
constexpr int kTimeoutMs = 5000;

double meanHandshakeMs(int port, const std::string& caFile) {
    std::int64_t totalMs = 0;
    for (int round = 0; round < kHandshakes; ++round) {
        SocketHandle socket = openSocket();
        connectSocket(socket, parseDottedAddress("127.0.0.1"), port, kTimeoutMs);
        TlsError error = TlsError::none;
        const std::int64_t startMs = steadyMs();
        TlsSession* session =
            tlsHandshake(socket, "localhost", caFile, startMs + kTimeoutMs, error);
        totalMs += steadyMs() - startMs;
        if (error != TlsError::none) std::fprintf(stderr, "%s\n", tlsErrorText(error));
        tlsClose(session, steadyMs() + kTimeoutMs);
        closeSocket(socket);
    }
    return double(totalMs) / kHandshakes;
}

double postMs(const std::string& url, int port, const std::string& caFile) {
    ConnectionSettings settings;
    settings.port = port;
    settings.portInHost = true;
    settings.caFile = caFile;
    const std::int64_t startMs = steadyMs();
    UploadResult result =
        postCapture(url, settings, CaptureFiles{"tls-bench.png", "tls-bench.jpg"}, nullptr);
    const std::int64_t ms = steadyMs() - startMs;
    if (!result.succeeded()) std::fprintf(stderr, "a post to %s failed\n", url.c_str());
    return double(ms);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    const int httpPort = std::atoi(argv[1]), httpsPort = std::atoi(argv[2]);
    const std::string caFile = argv[3];
    setModeDepth(32);
    Image* picture = bench::desktopPicture(1920, 1080);
    saveImageFile(picture, "tls-bench.png", kFormatPng);
    saveImageFile(picture, "tls-bench.jpg", kFormatJpeg);
    destroyImage(picture);
    if (!startSockets()) return 1;
    std::printf("TLS on loopback (glimmerix-server --tls-cert, an EC P-256 certificate):\n");
    std::printf("  handshake                    mean   %7.2f ms  (%d handshakes)\n",
                meanHandshakeMs(httpsPort, caFile), kHandshakes);
    bench::Figure http, https;
    for (int run = 0; run < kRuns; ++run) {
        http.runs.push_back(postMs("http://127.0.0.1/api.php", httpPort, ""));
        https.runs.push_back(postMs("https://localhost/api.php", httpsPort, caFile));
    }
    http.print("1080p capture over http", 28);
    https.print("1080p capture over https", 28);
    stopSockets();
    std::remove("tls-bench.png");
    std::remove("tls-bench.jpg");
    return 0;
}
