// "u" to link for a 1920 x 1080 screenshot-like picture against glimmerix-server on loopback, split
// into the PNG save, the JPEG save, the request assembly and the network; and curl posting the same
// file to the same service, for comparison.
//
//   glimmerix_bench_upload SERVER
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "desktop/clipboard.h"
#include "desktop/clipboard_headless.h"
#include "desktop_picture.h"
#include "figure.h"
#include "image/capture.h"
#include "image/image.h"
#include "screen/screen.h"
#include "upload/request.h"
#include "upload/transport.h"

namespace {

using bench::Clock;
using bench::since;
constexpr int kPort = 18480;
constexpr int kRuns = 10;

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::string server = std::filesystem::absolute(argv[1]).string();
    namespace fs = std::filesystem;
    fs::path dir =
        fs::temp_directory_path() / ("glimmerix-upload-bench-" + std::to_string(getpid()));
    fs::create_directories(dir / "data");
    fs::current_path(dir);
    pid_t child = fork();
    if (child == 0) {
        std::freopen("/dev/null", "w", stderr);  // the service's request log
        std::string port = std::to_string(kPort);
        execl(server.c_str(), server.c_str(), "--port", port.c_str(), "--data-dir", "data",
              "--public-url", "http://localhost", static_cast<char*>(nullptr));
        _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ConnectionSettings settings;
    settings.port = kPort;
    const CaptureFiles files{kCapturePng, kCaptureJpeg};
    setScreenMode(1888, 1016, 32, 0, kWindowless, 0);

    double png = 0, jpeg = 0, assembly = 0, network = 0, curl = 0;
    const std::string url = "http://127.0.0.1/api.php";
    for (int run = 0; run < kRuns; ++run) {
        Image* capture = bench::desktopPicture(1920, 1080, unsigned(run + 1));
        Clock::time_point start = Clock::now();
        saveImageFile(capture, kCapturePng, kFormatPng);
        png += since(start);
        start = Clock::now();
        saveImageFile(capture, kCaptureJpeg, kFormatJpeg);
        jpeg += since(start);
        destroyImage(capture);

        start = Clock::now();
        std::string chosen = chooseCaptureFile(files);
        std::ifstream in(chosen, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::string request = buildUploadRequest("127.0.0.1", "api.php", chosen, bytes);
        assembly += since(start);

        // The transport as the flow runs it: connect, send, read the answer, and the link onto
        // the clipboard.
        start = Clock::now();
        UploadResult result = postCapture(url, settings, files, nullptr);
        if (result.succeeded()) setClipboardText(result.link);
        network += since(start);

        std::string file = chooseCaptureFile(files);
        std::string command = "curl -s -o /dev/null -F 'file=@" + file +
                              "' http://127.0.0.1:" + std::to_string(kPort) + "/api.php";
        start = Clock::now();
        if (std::system(command.c_str()) != 0) std::fprintf(stderr, "curl failed\n");
        curl += since(start);
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    std::printf("upload of a 1920x1080 capture (%s, %ju bytes), mean of %d:\n",
                chooseCaptureFile(files).c_str(),
                std::uintmax_t(fs::file_size(chooseCaptureFile(files))), kRuns);
    std::printf("  PNG save          %8.1f ms\n", png / kRuns);
    std::printf("  JPEG save         %8.1f ms\n", jpeg / kRuns);
    std::printf("  request assembly  %8.1f ms\n", assembly / kRuns);
    std::printf("  network and link  %8.1f ms  (curl, process start included: %.1f ms)\n",
                network / kRuns, curl / kRuns);
    std::printf("  last link: %s\n", headlessClipboard().text.c_str());
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(dir);
    return 0;
}
