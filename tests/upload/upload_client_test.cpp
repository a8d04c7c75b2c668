#include "upload/upload_client.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netdb.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "loopback_server.h"
#include "upload/request.h"
#include "upload_fixture.h"

// Every name look-up of the process passes through here and is counted, so a test can tell a
// dotted address taken as it is from one that was looked up.
namespace {
std::atomic<int> lookUps{0};
}

extern "C" int getaddrinfo(const char* name, const char* service, const addrinfo* hints,
                           addrinfo** result) {
    using Real = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "getaddrinfo"));
    ++lookUps;
    return real(name, service, hints, result);
}

namespace {

constexpr std::uint32_t kWhite = 0xFFFFFFFF;  // the console colour the fixture sets

class UploadClientTest : public UploadTest {
  protected:
    // Runs the client against `server` at the dotted loopback address.
    int upload(LoopbackServer& server) {
        uploadConnection().port = server.port();
        return uploadScreenshot("http://127.0.0.1/api.php", socket, request);
    }
    void TearDown() override {
        if (socket != kNoSocket) closeSocket(socket);
        UploadTest::TearDown();
    }

    SocketHandle socket = kNoSocket;
    std::string request;
};

}  // namespace

TEST_F(UploadClientTest, EqualLengthsPostTheJpeg) {
    writeFile(kCapturePng, "PNG-12345");
    writeFile(kCaptureJpeg, "JPG-abcde");
    LoopbackServer server(LoopbackServer::hangUp());
    ASSERT_EQ(1, upload(server));
    std::string expected =
        buildUploadRequest("127.0.0.1", "api.php", "screenshot.jpg", "JPG-abcde");
    EXPECT_EQ(expected, server.request());
    EXPECT_EQ(expected, request);
    EXPECT_EQ(expected, readFile(kDumpFile));
    EXPECT_NE(std::string::npos, expected.find("Content-Type: image/jpg\r\n"));
}

TEST_F(UploadClientTest, PngOneByteShorterIsPosted) {
    writeFile(kCapturePng, "PNG-1234");
    writeFile(kCaptureJpeg, "JPG-abcde");
    LoopbackServer server(LoopbackServer::hangUp());
    ASSERT_EQ(1, upload(server));
    EXPECT_EQ(buildUploadRequest("127.0.0.1", "api.php", "screenshot.png", "PNG-1234"),
              server.request());
}

TEST_F(UploadClientTest, PngOneByteLongerLeavesTheJpeg) {
    writeFile(kCapturePng, "PNG-123456");
    writeFile(kCaptureJpeg, "JPG-abcde");
    EXPECT_EQ("screenshot.jpg", chooseCaptureFile());
}

TEST_F(UploadClientTest, SuccessLeavesAConnectedSocketShutForSending) {
    writeFile(kCapturePng, "PNG");
    writeFile(kCaptureJpeg, "JPEG");
    LoopbackServer server(LoopbackServer::answer("HTTP/1.0 200 OK\r\n\r\nlink"));
    ASSERT_EQ(1, upload(server));
    ASSERT_NE(kNoSocket, socket);
    // The server saw the end of the request (it reads up to the half-close) and answers.
    std::string answer;
    char chunk[64];
    int n;
    while ((n = receiveBytes(socket, chunk, sizeof chunk, 3000)) > 0) answer.append(chunk, n);
    EXPECT_EQ(0, n);
    EXPECT_EQ("HTTP/1.0 200 OK\r\n\r\nlink", answer);
}

TEST_F(UploadClientTest, DumpIsTruncatedToExactlyTheLastRequest) {
    writeFile(kDumpFile, std::string(5000, 'Z'));
    writeFile(kCapturePng, "PNG");
    writeFile(kCaptureJpeg, "JPEG");
    LoopbackServer server(LoopbackServer::hangUp());
    ASSERT_EQ(1, upload(server));
    EXPECT_EQ(server.request(), readFile(kDumpFile));
}

TEST_F(UploadClientTest, ASocketLeftInTheSlotIsClosedFirst) {
    writeFile(kCapturePng, "PNG");
    writeFile(kCaptureJpeg, "JPEG");
    LoopbackServer earlier(LoopbackServer::silence());
    socket = openSocket();
    ASSERT_EQ(1, connectSocket(socket, htonl(INADDR_LOOPBACK), earlier.port(), 3000));
    LoopbackServer server(LoopbackServer::hangUp());
    ASSERT_EQ(1, upload(server));
    // The earlier connection ended without a byte: its request is empty, not pending.
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ("", earlier.request());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST_F(UploadClientTest, MissingChosenFileFailsWithoutPostingOrCreatingIt) {
    writeFile(kCaptureJpeg, "JPEG");  // the missing PNG counts as 0 bytes, so it is chosen
    LoopbackServer server(LoopbackServer::hangUp());
    EXPECT_EQ(0, upload(server));
    EXPECT_EQ(kNoSocket, socket);
    EXPECT_EQ("", request);
    EXPECT_EQ("", server.request());
    EXPECT_FALSE(fileExists(kCapturePng));
    EXPECT_FALSE(fileExists(kDumpFile));
}

TEST_F(UploadClientTest, NoCaptureFilesCreateNoneAndPostNothing) {
    LoopbackServer server(LoopbackServer::hangUp());
    EXPECT_EQ(0, upload(server));
    EXPECT_EQ("", server.request());
    EXPECT_FALSE(fileExists(kCapturePng));
    EXPECT_FALSE(fileExists(kCaptureJpeg));
}

TEST_F(UploadClientTest, EmptyChosenFileFails) {
    writeFile(kCapturePng, "");
    writeFile(kCaptureJpeg, "JPEG");
    LoopbackServer server(LoopbackServer::hangUp());
    EXPECT_EQ(0, upload(server));
    EXPECT_EQ("", server.request());
}

TEST_F(UploadClientTest, UnreadableChosenFileFails) {
    writeFile(kCapturePng, "PNG");
    std::filesystem::create_directory(kCaptureJpeg);
    LoopbackServer server(LoopbackServer::hangUp());
    EXPECT_EQ(0, upload(server));
    EXPECT_EQ("", server.request());
}

TEST_F(UploadClientTest, RefusedConnectionIsReportedAndLeavesNothingOpen) {
    writeFile(kCapturePng, "PNG");
    writeFile(kCaptureJpeg, "JPEG");
    uploadConnection().port = unusedLoopbackPort();
    locateText(4, 1);
    EXPECT_EQ(0, uploadScreenshot("http://127.0.0.1/api.php", socket, request));
    EXPECT_EQ(kNoSocket, socket);
    EXPECT_EQ("", request);
    EXPECT_EQ("connect(): error #111", consoleRow(4, kWhite));
    EXPECT_FALSE(fileExists(kDumpFile));
}

TEST_F(UploadClientTest, UnresolvableHostIsReportedBeforeAnySocket) {
    writeFile(kCapturePng, "PNG");
    writeFile(kCaptureJpeg, "JPEG");
    locateText(4, 1);
    EXPECT_EQ(0, uploadScreenshot("http://no-such-host.invalid/api.php", socket, request));
    EXPECT_EQ(kNoSocket, socket);
    std::string line = consoleRow(4, kWhite);
    EXPECT_EQ("resolveHost(): invalid address: error #", line.substr(0, 39)) << line;
}

TEST_F(UploadClientTest, CapitalSchemeFailsToResolve) {
    writeFile(kCaptureJpeg, "JPEG");
    locateText(4, 1);
    EXPECT_EQ(0, uploadScreenshot("HTTP://127.0.0.1/api.php", socket, request));
    EXPECT_EQ("resolveHost(): invalid address: error #", consoleRow(4, kWhite).substr(0, 39));
}

TEST_F(UploadClientTest, SendThatCannotFinishTimesOutAndKeepsTheDump) {
    // Far more than loopback buffers hold while nobody reads.
    std::string big(16 * 1024 * 1024, 'J');
    writeFile(kCapturePng, big + "P");
    writeFile(kCaptureJpeg, big);
    std::unique_ptr<LoopbackServer> server(LoopbackServer::neverAccepting());
    uploadConnection().port = server->port();
    uploadConnection().timeoutMs = 300;
    locateText(4, 1);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(0, uploadScreenshot("http://127.0.0.1/api.php", socket, request));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(kNoSocket, socket);
    EXPECT_EQ("", request);
    EXPECT_EQ("send(): error #110", consoleRow(4, kWhite));
    EXPECT_EQ(buildUploadRequest("127.0.0.1", "api.php", "screenshot.jpg", big),
              readFile(kDumpFile));
}

TEST_F(UploadClientTest, DottedHostIsTakenWithoutALookUp) {
    int before = lookUps;
    EXPECT_EQ(htonl(INADDR_LOOPBACK), resolveHost("127.0.0.1"));
    EXPECT_EQ(htonl(0x0A000007), resolveHost("10.0.0.7"));
    EXPECT_EQ(before, lookUps);
    EXPECT_EQ(htonl(INADDR_LOOPBACK), resolveHost("localhost"));
    EXPECT_EQ(before + 1, lookUps);
    EXPECT_EQ(kNoAddress, resolveHost("no-such-host.invalid"));
}

TEST_F(UploadClientTest, ReportLineCarriesTheStepAndTheCode) {
    locateText(2, 3);
    uploadConnection().port = unusedLoopbackPort();
    SocketHandle s = openSocket();
    ASSERT_EQ(0, connectSocket(s, htonl(INADDR_LOOPBACK), uploadConnection().port, 3000));
    closeSocket(s);
    reportSocketError("step()");
    EXPECT_EQ(atColumn(3, "step(): error #111"), consoleRow(2, kWhite));
    int row = 0, column = 0;
    textCursor(&row, &column);
    EXPECT_EQ(3, row);
    EXPECT_EQ(1, column);
}

// The failure ends the process, so these run in a child process; "threadsafe" starts it afresh
// instead of forking a process whose other threads might hold the screen lock.
TEST_F(UploadClientTest, FailedSocketStartSaysSoAndEndsWithCodeOneAfterAKey) {
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    uploadConnection().refuseSocketStart = true;
    EXPECT_EXIT(
        {
            std::thread([] {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                if (consoleRow(4, kWhite) != "Error: WSAStartup failed") std::_Exit(5);
                headlessPressKey('k');
            }).detach();
            locateText(4, 1);
            startWinsock();
            std::_Exit(6);
        },
        ::testing::ExitedWithCode(1), "");
}

TEST_F(UploadClientTest, FailedSocketStartWaitsForAKey) {
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    uploadConnection().refuseSocketStart = true;
    EXPECT_EXIT(
        {
            std::thread([] {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                std::_Exit(4);  // still waiting: the outcome this test wants
            }).detach();
            startWinsock();
            std::_Exit(6);
        },
        ::testing::ExitedWithCode(4), "");
}

TEST_F(UploadClientTest, SocketsStartOnThisPlatform) {
    startWinsock();
    stopWinsock();
    EXPECT_EQ("", consoleRow(4, kWhite));
}
