// The transport against loopback services, with its limits scaled down twenty times (a second
// stands for twenty), so that minutes of a slow link pass in seconds.
#include "upload/transport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "../editor/editor_fixture.h"
#include "loopback_server.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const std::string kLink = "http://localhost/i/Ab3.png";
const std::string kAnswer =
    "HTTP/1.0 200 OK\r\nContent-Length: 26\r\nX-Delete-Url: " + kLink + "?delete=k\r\n\r\n" + kLink;
const CaptureFiles kFiles{"shot.png", "shot.jpg"};

class TransportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::ofstream(kFiles.png, std::ios::binary) << std::string(400 * 1000, 'P');
        std::ofstream(kFiles.jpeg, std::ios::binary) << std::string(400 * 1000 + 1, 'J');
        settings.limits.connectMs = 1500;
        settings.limits.stallMs = 1500;
        settings.limits.minBytesPerSecond = 20 * 1024;
        settings.limits.rateGraceMs = 3000;
        settings.limits.answerMs = 1500;
    }

    UploadResult post(LoopbackServer& server) {
        settings.port = server.port();
        Clock::time_point start = Clock::now();
        UploadResult result = postCapture("http://127.0.0.1/api.php", settings, kFiles, nullptr);
        elapsed = Clock::now() - start;
        return result;
    }

    ConnectionSettings settings;
    Clock::duration elapsed{};
    ScopedWorkingDirectory directory_{"transport"};
};

}  // namespace

// 400 KB through a link of 6 KiB/s takes longer than the stall time many times over, and a
// whole answer that a reset follows is still whole; the headers come back with the link.
TEST_F(TransportTest, SteadyReaderGetsTheWholeRequestAndAResetAfterTheAnswerLosesNothing) {
    LoopbackServer server(LoopbackServer::answerAndReset(kAnswer), 100, 12 * 1024);
    UploadResult result = post(server);
    EXPECT_TRUE(result.succeeded()) << int(result.failedStep) << " #" << result.errorCode;
    EXPECT_EQ(kLink, result.link);
    EXPECT_EQ(kLink + "?delete=k", result.header("x-delete-url"));
    EXPECT_EQ(std::filesystem::file_size(kDumpFile), server.request().size());
    EXPECT_GT(elapsed, milliseconds(2 * 1500));
}

// A reader of 1 byte per 2 s stalls the send; one of 1 KiB per 2 s keeps it moving but below
// the minimum rate, which ends it after the grace time.
TEST_F(TransportTest, ReaderTooSlowEndsTheSendWithinItsBound) {
    for (auto [chunk, stallMs] : {std::make_pair(1, 1500), std::make_pair(1024, 20000)}) {
        settings.limits.stallMs = stallMs;
        settings.limits.sendBufferBytes = 4096;
        LoopbackServer server(LoopbackServer::answer(kAnswer), 100, chunk);
        UploadResult result = post(server);
        EXPECT_EQ(UploadStep::kSend, result.failedStep);
        EXPECT_EQ(ETIMEDOUT, result.errorCode);
        EXPECT_LT(elapsed, milliseconds(7000)) << chunk;
    }
}
