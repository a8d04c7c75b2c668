#include "upload/upload_flow.h"

#include <sys/resource.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "loopback_server.h"
#include "screen/screen_state.h"
#include "upload/request.h"
#include "upload_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::string kLoopbackUrl = "http://127.0.0.1/api.php";
const std::string kLink = "http://localhost/i/Ab3.jpg";
const std::string kOkHead = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";

// With 60 text columns: 30 - n / 2, halves to even.
constexpr int kUploadingColumn = 25;  // " UPLOADING", 10 characters
constexpr int kReceivingColumn = 21;  // " RECEIVING LINK...", 18 characters
constexpr int kDoneColumn = 17;       // "Link is in your CLIPBOARD!", 26 characters

class UploadFlowTest : public UploadTest {
  protected:
    void SetUp() override {
        UploadTest::SetUp();
        writeFile(kCapturePng, "PNG bytes, the longer file");
        writeFile(kCaptureJpeg, "JPG bytes");
    }

    // Runs the upload part of the flow against `server` and measures how long it took.
    // Returns whether the flow asks to quit.
    bool upload(LoopbackServer& server, const std::string& url = kLoopbackUrl) {
        uploadConnection().port = server.port();
        Clock::time_point start = Clock::now();
        bool quit = uploadCapture(program, url);
        elapsed = Clock::now() - start;
        return quit;
    }

    // The screen, title and clipboard of an upload that failed after " UPLOADING", with the
    // client's report line (if any) and "ERROR" under it.
    void expectFailedUpload(const std::string& reportLine) {
        EXPECT_EQ(atColumn(kUploadingColumn, " UPLOADING"), consoleRow(2, kStatusGrey));
        int errorRow = 4;
        if (!reportLine.empty()) {
            std::string line = consoleRow(4, kStatusGrey);
            EXPECT_EQ(reportLine, line.substr(0, reportLine.size())) << line;
            errorRow = 5;
        }
        EXPECT_EQ("ERROR", consoleRow(errorRow, kStatusGrey));
        expectNoLink();
    }

    // The same after " RECEIVING LINK...".
    void expectFailedAnswer(const std::string& reportLine = "") {
        EXPECT_EQ(atColumn(kReceivingColumn, " RECEIVING LINK..."), consoleRow(2, kStatusGrey));
        EXPECT_EQ("", consoleRow(1, kStatusGrey));
        EXPECT_EQ("", consoleRow(3, kStatusGrey));
        int errorRow = 4;
        if (!reportLine.empty()) {
            EXPECT_EQ(reportLine, consoleRow(4, kStatusGrey));
            errorRow = 5;
        }
        EXPECT_EQ("ERROR", consoleRow(errorRow, kStatusGrey));
        EXPECT_TRUE(statusBandIsClean(kStatusGrey));
        expectNoLink();
    }

    void expectNoLink() {
        EXPECT_EQ(kUploadingTitle, windowTitle());
        EXPECT_EQ(kClipboardBefore, headlessClipboard().text);
        for (int row = 1; row <= 6; ++row)
            EXPECT_EQ(std::string::npos, consoleRow(row, kStatusGreen).find("CLIPBOARD")) << row;
    }

    void expectLink(const std::string& link) {
        EXPECT_EQ(link, headlessClipboard().text);
        EXPECT_EQ(kDoneTitle, windowTitle());
        EXPECT_EQ(atColumn(kDoneColumn, "Link is in your CLIPBOARD!"), consoleRow(2, kStatusGreen));
        for (int row : {1, 3, 4})
            for (std::uint32_t colour : {kStatusGrey, kStatusGreen})
                EXPECT_EQ("", consoleRow(row, colour)) << row;
        EXPECT_TRUE(statusBandIsClean(kStatusGreen));
        EXPECT_EQ(kStatusDim, screenState().foreground);
    }

    Clock::duration elapsed{};
};

std::chrono::milliseconds ms(int count) {
    return std::chrono::milliseconds(count);
}

}  // namespace

TEST_F(UploadFlowTest, LinkGoesToTheClipboardUntrimmed) {
    LoopbackServer server(LoopbackServer::answer(kOkHead + kLink + "\r\n"));
    EXPECT_FALSE(upload(server));
    expectLink(kLink + "\r\n");
    std::string expected =
        buildUploadRequest("127.0.0.1", "api.php", "screenshot.jpg", "JPG bytes");
    EXPECT_EQ(expected, server.request());
    EXPECT_EQ(expected, readFile(kDumpFile));
    EXPECT_EQ("", program.lastKey);
    EXPECT_GE(elapsed, ms(1450)) << "the closing pause runs its full length without a key";
}

TEST_F(UploadFlowTest, OnlyTheTextAfterTheLastHeaderEndIsTheLink) {
    LoopbackServer server(LoopbackServer::answer(kOkHead + "note\r\n\r\n" + kLink));
    upload(server);
    expectLink(kLink);
}

TEST_F(UploadFlowTest, KeysPressedDuringTheUploadAreDropped) {
    headlessPressKey('q');
    LoopbackServer server(LoopbackServer::answer(kOkHead + kLink));
    EXPECT_FALSE(upload(server));
    EXPECT_EQ("", program.lastKey);
    EXPECT_GE(elapsed, ms(1450));
}

TEST_F(UploadFlowTest, QDuringThePauseQuitsAtOnceAndLeavesTheFiles) {
    LoopbackServer server([](int connection, const std::atomic<bool>&) {
        LoopbackServer::sendAll(connection, kOkHead + kLink);
        LoopbackServer::endAnswer(connection);
        std::this_thread::sleep_for(ms(400));
        headlessPressKey('Q');
    });
    EXPECT_TRUE(upload(server));
    EXPECT_EQ("Q", program.lastKey);
    EXPECT_LT(elapsed, ms(1200));
    expectLink(kLink);
    EXPECT_TRUE(fileExists(kCapturePng));
    EXPECT_TRUE(fileExists(kCaptureJpeg));
}

TEST_F(UploadFlowTest, OtherKeyDuringThePauseEndsItAndBecomesLastKey) {
    LoopbackServer server([](int connection, const std::atomic<bool>&) {
        LoopbackServer::sendAll(connection, kOkHead + kLink);
        LoopbackServer::endAnswer(connection);
        std::this_thread::sleep_for(ms(400));
        headlessPressKey('z');
    });
    EXPECT_FALSE(upload(server));
    EXPECT_EQ("z", program.lastKey);
    EXPECT_LT(elapsed, ms(1200));
}

TEST_F(UploadFlowTest, RefusedConnectionShowsTheReportAndError) {
    uploadConnection().port = unusedLoopbackPort();
    EXPECT_FALSE(uploadCapture(program, kLoopbackUrl));
    expectFailedUpload("connect(): error #111");
    EXPECT_EQ("connect(): error #111", consoleRow(4, kStatusGrey));
}

TEST_F(UploadFlowTest, UnresolvableHostShowsTheReportAndError) {
    EXPECT_FALSE(uploadCapture(program, "http://no-such-host.invalid/api.php"));
    expectFailedUpload("resolveHost(): invalid address: error #");
}

TEST_F(UploadFlowTest, MissingChosenFileShowsErrorWithoutPosting) {
    std::filesystem::remove(kCaptureJpeg);
    std::filesystem::remove(kCapturePng);
    LoopbackServer server(LoopbackServer::hangUp());
    upload(server);
    expectFailedUpload("");
    EXPECT_EQ("", server.request());
    EXPECT_FALSE(fileExists(kCapturePng));
    EXPECT_FALSE(fileExists(kCaptureJpeg));
}

TEST_F(UploadFlowTest, ResetMidAnswerIsReportedAndGivesNoLink) {
    LoopbackServer server(LoopbackServer::answerThenReset(kOkHead + "http://localh"));
    upload(server);
    expectFailedAnswer("recv(): error #104");
}

TEST_F(UploadFlowTest, SilentServiceTimesOutInsteadOfHanging) {
    uploadConnection().timeoutMs = 300;
    LoopbackServer server(LoopbackServer::silence());
    upload(server);
    expectFailedAnswer("recv(): error #110");
    EXPECT_LT(elapsed, ms(300 + 1500 + 700));
}

TEST_F(UploadFlowTest, ServerErrorGivesNoLink) {
    LoopbackServer server(
        LoopbackServer::answer("HTTP/1.0 500 Internal Server Error\r\n\r\nhttp://not/a/link"));
    upload(server);
    expectFailedAnswer();
}

TEST_F(UploadFlowTest, AnswerWithoutHeaderEndGivesNoLink) {
    LoopbackServer server(LoopbackServer::answer("HTTP/1.0 200 OK\r\n" + kLink));
    upload(server);
    expectFailedAnswer();
}

TEST_F(UploadFlowTest, EmptyBodyGivesNoLink) {
    LoopbackServer server(LoopbackServer::answer(kOkHead));
    upload(server);
    expectFailedAnswer();
}

TEST_F(UploadFlowTest, EmptyAnswerGivesNoLink) {
    LoopbackServer server(LoopbackServer::hangUp());
    upload(server);
    expectFailedAnswer();
}

TEST_F(UploadFlowTest, AnswerOver64KiBIsRefused) {
    std::string answer = kOkHead + kLink;
    answer += std::string(64 * 1024 + 1 - answer.size(), 'x');
    LoopbackServer server(LoopbackServer::answer(answer));
    upload(server);
    expectFailedAnswer();
}

TEST_F(UploadFlowTest, AnswerOfExactly64KiBIsAccepted) {
    std::string answer = kOkHead + kLink;
    answer += std::string(64 * 1024 - answer.size(), 'x');
    LoopbackServer server(LoopbackServer::answer(answer));
    upload(server);
    expectLink(answer.substr(kOkHead.size()));
}

TEST_F(UploadFlowTest, ZeroByteDropsTheRestOfItsChunk) {
    LoopbackServer server(LoopbackServer::answer(kOkHead + kLink + std::string("\0junk", 5)));
    upload(server);
    expectLink(kLink);
}

TEST_F(UploadFlowTest, ZeroByteBeforeTheHeaderEndLeavesNoLink) {
    LoopbackServer server(
        LoopbackServer::answer(std::string("HTTP/1.0 200 OK\0\r\n\r\n", 20) + kLink));
    upload(server);
    expectFailedAnswer();
}

TEST_F(UploadFlowTest, ClipboardThatRefusesTheLinkShowsError) {
    headlessClipboard().refusesText = true;
    LoopbackServer server(LoopbackServer::answer(kOkHead + kLink));
    upload(server);
    expectFailedAnswer();
}

TEST_F(UploadFlowTest, SocketsThatWillNotStartEndTheProgramWithCodeOneAfterAKey) {
    // A fresh process runs the statement, so no thread of this one is caught mid-way.
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    uploadConnection().refuseSocketStart = true;
    LoopbackServer server(LoopbackServer::hangUp());
    uploadConnection().port = server.port();
    EXPECT_EXIT(
        {
            headlessPressKey('k');
            uploadCapture(program, kLoopbackUrl);
            std::_Exit(6);
        },
        ::testing::ExitedWithCode(1), "");
    EXPECT_EQ(0, server.connections());
}

TEST_F(UploadFlowTest, OtherEndingKeySavesBothFilesWithoutUploading) {
    LoopbackServer server(LoopbackServer::hangUp());
    uploadConnection().port = server.port();
    Image* capture = createImage(40, 30, 0xFF0000FF);
    ASSERT_NE(nullptr, capture);
    program.lastKey = "x";
    EXPECT_FALSE(runUploadFlow(program, capture));
    EXPECT_EQ(nullptr, capture);
    EXPECT_EQ("x", program.lastKey);
    EXPECT_EQ("editor", windowTitle());
    for (const char* name : {kCapturePng, kCaptureJpeg}) {
        Image* saved = loadImageFile(name);
        ASSERT_NE(nullptr, saved) << name;
        EXPECT_EQ(40u, saved->width);
        EXPECT_EQ(30u, saved->height);
        destroyImage(saved);
    }
    std::this_thread::sleep_for(ms(100));
    EXPECT_EQ(0, server.connections());
}

TEST_F(UploadFlowTest, CapitalUSavesAndUploadsTheSmallerFileToTheBuildsHost) {
    if (uploadUrl() != "http://localhost/api.php")
        GTEST_SKIP() << "the build's upload host is not this machine: " << uploadUrl();
    LoopbackServer server(LoopbackServer::answer(kOkHead + kLink));
    uploadConnection().port = server.port();
    Image* capture = createImage(64, 48, 0xFF336699);
    program.lastKey = "U";
    EXPECT_FALSE(runUploadFlow(program, capture));
    EXPECT_EQ(nullptr, capture);
    expectLink(kLink);
    std::string png = readFile(kCapturePng), jpeg = readFile(kCaptureJpeg);
    ASSERT_FALSE(png.empty());
    ASSERT_FALSE(jpeg.empty());
    std::string expected = png.size() < jpeg.size()
                               ? buildUploadRequest("localhost", "api.php", "screenshot.png", png)
                               : buildUploadRequest("localhost", "api.php", "screenshot.jpg", jpeg);
    EXPECT_EQ(expected, server.request());
}

// The disk fills up while the edited PNG is written. Before, the capture-time PNG (or a cut-off
// file) stayed under the capture name and was posted, and the user saw DONE.
TEST_F(UploadFlowTest, FailedSaveNamesTheFileAndPostsNothing) {
    LoopbackServer server(LoopbackServer::answer(kOkHead + kLink));
    uploadConnection().port = server.port();
    Image* capture = createImage(100, 100, 0);
    std::uint32_t noise = 12345;  // incompressible for PNG; JPEG still shrinks it
    for (std::uint32_t y = 0; y < 100; ++y)
        for (std::uint32_t x = 0; x < 100; ++x) imageRow(capture, y)[x] = noise *= 2654435761u;
    program.lastKey = "u";
    rlimit normal{};
    getrlimit(RLIMIT_FSIZE, &normal);
    rlimit full = normal;
    full.rlim_cur = 20000;  // between the sizes of the two files
    std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &full);
    bool quit = runUploadFlow(program, capture);
    setrlimit(RLIMIT_FSIZE, &normal);
    std::signal(SIGXFSZ, SIG_DFL);
    EXPECT_FALSE(quit);
    expectFailedUpload("Cannot save screenshot.png");
    EXPECT_EQ(0, server.connections());
    EXPECT_FALSE(fileExists(kCapturePng));
    EXPECT_GT(readFile(kCaptureJpeg).size(), 1000u);
}
