// tls_probe URL PORT CA_FILE FILE: posts a picture through the upload transport for tls_test.sh
// and prints the link, the console line of a refused TLS connection, or the step that failed.
#include <cstdio>
#include <cstdlib>

#include "upload/tls.h"
#include "upload/transport.h"

int main(int argc, char** argv) {
    if (argc != 5) return 2;
    ConnectionSettings settings;
    settings.port = std::atoi(argv[2]);
    settings.caFile = argv[3];
    settings.limits.connectMs = 3000;  // long enough for a loaded machine, short for the silent row
    UploadResult result = postCapture(argv[1], settings, CaptureFiles{argv[4], argv[4]}, nullptr);
    if (result.failedStep == UploadStep::kTls)
        std::printf("%s\n", tlsErrorText(result.tlsError));
    else if (result.succeeded())
        std::printf("%s\n", result.link.c_str());
    else
        std::printf("failed at step %d: error #%d\n", int(result.failedStep), result.errorCode);
    return 0;
}
