// The upload flow against loopback services, with a headless window and clipboard.
#include "app/upload_flow.h"

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <functional>

#include "../editor/editor_fixture.h"
#include "../upload/loopback_server.h"
#include "desktop/clipboard_headless.h"
#include "upload/request.h"

namespace {

constexpr int kWidth = 480;  // 60 text columns
constexpr int kHeight = 200;
const std::string kClipboardBefore = "what the user copied before";
const std::string kLoopbackUrl = "http://127.0.0.1/api.php";
const std::string kLink = "http://localhost/i/Ab3.jpg";
const std::string kOkHead = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";
const std::string kRefusal = "HTTP/1.1 401 Unauthorized\r\nContent-Length: 99\r\n\r\nno";

std::string readFile(const std::string& name) {
    std::ifstream file(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

void withLimit(int resource, rlim_t limit, const std::function<void()>& work) {
    rlimit normal{};
    getrlimit(resource, &normal);
    rlimit lowered{limit, normal.rlim_max};
    setrlimit(resource, &lowered);
    work();
    setrlimit(resource, &normal);
}

// Types `key` every 100 ms while it lives (0: none): a wait that drops earlier keys still gets one.
struct Typist {
    explicit Typist(int key)
        : thread([this, key] {
              for (; key && !done; std::this_thread::sleep_for(milliseconds(100)))
                  headlessPressKey(key);
          }) {}
    ~Typist() {
        done = true;
        thread.join();
    }
    std::atomic<bool> done{false};
    std::thread thread;
};

// Console row `row` (from 1) in `colour`, read back glyph by glyph ('?' for none), right-trimmed.
std::string consoleRow(int row, std::uint32_t colour) {
    std::string text(kWidth / 8, '?');
    for (int column = 0; column < kWidth / 8; ++column)
        for (int code = 32; code < 127 && text[std::size_t(column)] == '?'; ++code) {
            bool same = true;
            for (int i = 0; i < 64 && same; ++i)
                same = ((glyphRow(code, i / 8) << i % 8 & 0x80) != 0) ==
                       (screenPixel(column * 8 + i % 8, (row - 1) * 8 + i / 8) == colour);
            if (same) text[std::size_t(column)] = char(code);
        }
    return text.substr(0, text.find_last_not_of(' ') + 1);
}

// True when every pixel of the top 25 rows is black or `textColour`: the band wiped them.
bool statusBandIsClean(std::uint32_t textColour) {
    ScreenState& s = screenState();
    std::lock_guard<std::mutex> guard(s.lock);
    return std::all_of(s.pixels.begin(), s.pixels.begin() + 25 * s.width,
                       [&](std::uint32_t p) { return p == kBlack || p == textColour; });
}

class UploadFlowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(0, setScreenMode(kWidth, kHeight, 32, 0, kBorderless, 0));
        drainKeys();
        TransferLimits& limits = program.upload.limits;
        limits.connectMs = limits.stallMs = limits.answerMs = 3000;
        headlessClipboard() = HeadlessClipboard{};
        headlessClipboard().text = kClipboardBefore;
        program.work = WorkArea{kWidth, kHeight};
        std::ofstream(kCapturePng, std::ios::binary) << "PNG bytes, the longer file";
        std::ofstream(kCaptureJpeg, std::ios::binary) << "JPG bytes";
    }
    // The screen as the editor left it, so that the band's wiping shows, and its title.
    void freshEditorScreen() {
        drawLine(nullptr, 0, 0, kWidth, kHeight, 0xFF203040, kFilledBox, kSolid, kAbsolute);
        setTextColour(0xFFFFFFFF, 0xFF000000);
        setWindowTitle("editor");
    }

    // The upload part of the flow on a fresh editor screen, timed; whether it asks to quit.
    bool upload(LoopbackServer* server = nullptr, const std::string& url = kLoopbackUrl) {
        if (server) program.upload.port = server->port();
        freshEditorScreen();
        bool quit = false;
        elapsed = timed([&] { quit = uploadCapture(program, url, program.upload); });
        return quit;
    }

    // `message` centred on row 2, the report line (if any) and "ERROR" below; the clipboard kept.
    void expectFailure(const std::string& message, const std::string& reportLine) {
        EXPECT_EQ(std::string(29 - message.size() / 2, ' ') + message, consoleRow(2, kStatusGrey));
        std::string line = consoleRow(4, kStatusGrey);
        EXPECT_EQ(reportLine, line.substr(0, reportLine.size())) << line;
        EXPECT_EQ("ERROR", consoleRow(reportLine.empty() ? 4 : 5, kStatusGrey));
        EXPECT_EQ(kUploadingTitle, windowTitle());
        EXPECT_EQ(kClipboardBefore, headlessClipboard().text);
        EXPECT_TRUE(statusBandIsClean(kStatusGrey));
    }

    void expectLink() {
        EXPECT_EQ(kLink, headlessClipboard().text);
        EXPECT_EQ(kDoneTitle, windowTitle());
        EXPECT_EQ(std::string(16, ' ') + "Link is in your CLIPBOARD!", consoleRow(2, kStatusGreen));
        EXPECT_TRUE(statusBandIsClean(kStatusGreen));
        EXPECT_EQ(kStatusDim, screenState().foreground);
    }

    Program program;
    Clock::duration elapsed{};
    ScopedWorkingDirectory directory_;
};

}  // namespace

// A key in the closing pause ends it as lastKey ("Q" quits, keeping both files); keys during the
// upload are dropped. The exact request replaces a longer dump; a zero byte ends the answer's text.
TEST_F(UploadFlowTest, LinkGoesToTheClipboardAndAKeyEndsThePause) {
    std::ofstream(kDumpFile, std::ios::binary) << std::string(5000, 'Z');
    const std::string expected =
        buildUploadRequest("127.0.0.1", "api.php", kCaptureJpeg, "JPG bytes");
    struct Row {
        int key;  // typed again and again from before the upload; 0: none
        std::string answer;
    };
    for (const Row& row : {Row{0, kOkHead + kLink + "\r\n"}, Row{'Q', kOkHead + kLink},
                           Row{'z', "HTTP/1.0 200 OK\r\nContent-Length: 31\r\n\r\n" + kLink +
                                        std::string("\0junk", 5)}}) {
        LoopbackServer server(LoopbackServer::answer(row.answer));
        headlessPressKey('q');
        {
            Typist typist(row.key);
            EXPECT_EQ(row.key == 'Q', upload(&server));
        }
        expectLink();
        EXPECT_EQ(expected, server.request());
        EXPECT_EQ(expected, readFile(kDumpFile));
        EXPECT_EQ(row.key ? std::string(1, char(row.key)) : "", program.lastKey);
        EXPECT_TRUE(row.key ? elapsed < milliseconds(1200) : elapsed >= milliseconds(1450));
        EXPECT_TRUE(fs::exists(kCapturePng) && fs::exists(kCaptureJpeg));
    }
}

// Scaled down twenty times: 400 KB to a 6 KiB/s reader outlast the stall time, its answer whole
// before a reset; readers of 1 byte (a stall) and 1 KiB (under the minimum rate) per 2 s time out.
TEST_F(UploadFlowTest, SlowButSteadyLinkWorksAndTooSlowOneEndsInTime) {
    std::ofstream(kCapturePng, std::ios::binary) << std::string(400 * 1000, 'P');
    std::ofstream(kCaptureJpeg, std::ios::binary) << readFile(kCapturePng) + "J";
    TransferLimits& limits = program.upload.limits = {1500, 1500, 20 * 1024, 3000, 1500, 64 * 1024};
    const std::string answer = "HTTP/1.0 200 OK\r\nContent-Length: 26\r\n\r\n" + kLink;
    LoopbackServer steady(LoopbackServer::answerAndReset(answer), 100, 12 * 1024);
    upload(&steady);
    expectLink();
    EXPECT_TRUE(readFile(kDumpFile) == steady.request()) << steady.request().size();
    EXPECT_GT(elapsed, milliseconds(2 * 1500));
    struct Reader {
        int chunk, stallMs;
    };
    for (Reader r : {Reader{1, 1500}, Reader{1024, 20000}}) {
        limits = TransferLimits{1500, r.stallMs, 20 * 1024, 3000, 1500, 4096};
        headlessClipboard().text = kClipboardBefore;
        LoopbackServer slow(LoopbackServer::answer(answer), 100, r.chunk);
        upload(&slow);
        expectFailure(" UPLOADING", "send(): error #110");
        EXPECT_LT(elapsed, milliseconds(7000 + 1500)) << r.chunk;
    }
}

// Each step that fails prints its line (a missing file none), then "ERROR"; nothing is posted.
TEST_F(UploadFlowTest, FailedStepsReportTheirLineAndError) {
    std::ofstream(kCapturePng, std::ios::binary) << std::string(4 << 20, 'P');
    std::ofstream(kCaptureJpeg, std::ios::binary) << std::string(4 << 20, 'J');
    program.upload.limits.stallMs = 500;
    int freeDescriptor = dup(0);
    close(freeDescriptor);
    withLimit(RLIMIT_NOFILE, rlim_t(freeDescriptor), [&] { upload(); });
    expectFailure(" UPLOADING", "socket(): error #24");
    upload(nullptr, "http://no-such-host.invalid/api.php");
    expectFailure(" UPLOADING", "resolveHost(): invalid address: error #");
    program.upload.port = unusedLoopbackPort();
    upload();
    expectFailure(" UPLOADING", "connect(): error #111");
    LoopbackServer server(LoopbackServer::silence(), 60000);  // never reads
    upload(&server);
    expectFailure(" UPLOADING", "send(): error #110");
    EXPECT_EQ(buildUploadRequest("127.0.0.1", "api.php", kCaptureJpeg, readFile(kCaptureJpeg)),
              readFile(kDumpFile));
    // A service that refuses before reading it all, and closes: its status, not the reset.
    LoopbackServer early(LoopbackServer::answer(kRefusal), 0, 1 << 16, 100);
    upload(&early);
    expectFailure(" UPLOADING", "HTTP 401 Unauthorized");
    fs::remove(kCapturePng);  // the chosen file
    LoopbackServer empty(LoopbackServer::answer(kOkHead + kLink));
    upload(&empty);
    expectFailure(" UPLOADING", "");
    EXPECT_EQ("", empty.request());
    EXPECT_FALSE(fs::exists(kCapturePng));
}

// Answers without a whole, plain link (which ones: the answer tests), or a clipboard refusing it:
// "ERROR" within the answer's bound however it trickles. A refusal cut by a reset shows its status.
TEST_F(UploadFlowTest, AnswerWithoutAnAcceptableLinkIsAnError) {
    program.upload.limits.answerMs = 600;
    struct Row {
        LoopbackServer::Behaviour behaviour;
        std::string reportLine = "";
        bool clipboardRefuses = false;
    };
    for (const Row& row : std::initializer_list<Row>{
             {LoopbackServer::silence(), "recv(): error #110"},
             {LoopbackServer::trickle(kOkHead + kLink, 100), "recv(): error #110"},
             {LoopbackServer::answer(std::string("HTTP/1.0 200 OK\0\r\n\r\n", 20) + kLink)},
             {LoopbackServer::answer(kOkHead + kLink + std::string(64 * 1024, ' '))},
             {LoopbackServer::answer(kOkHead + kLink), "", true},
             {LoopbackServer::answerAndReset(kRefusal), "HTTP 401 Unauthorized"}}) {
        headlessClipboard().refusesText = row.clipboardRefuses;
        LoopbackServer server(row.behaviour);
        upload(&server);
        expectFailure(" RECEIVING LINK...", row.reportLine);
        EXPECT_LT(elapsed, milliseconds(600 + 1500 + 1000)) << row.reportLine;
    }
}

TEST_F(UploadFlowTest, SocketsThatWillNotStartEndTheProgramWithCodeOneAfterAKey) {
    program.upload.refuseSocketStart = true;
    Typist typist('k');
    EXPECT_TRUE(upload());
    EXPECT_EQ("Error: WSAStartup failed", consoleRow(4, kStatusGrey));
    EXPECT_EQ(1, program.exitCode);
}

// Any ending key saves both files; only "u" uploads, in either case (the upload scenario types
// "U", the deploy scenario "u"); a title other than "editor" would show an upload begun.
TEST_F(UploadFlowTest, EveryEndingKeySavesBothFilesAndOnlyUUploads) {
    Capture capture(createImage(40, 30, 0xFF0000FF));
    program.lastKey = "x";
    freshEditorScreen();
    EXPECT_FALSE(runUploadFlow(program, capture));
    EXPECT_EQ("\x89PNG\xff\xd8",
              readFile(kCapturePng).substr(0, 4) + readFile(kCaptureJpeg).substr(0, 2));
    EXPECT_EQ("editor", windowTitle());
}

// A bad setting (good ones: the deploy scenario), or a disk full under the edited PNG, where once
// the capture-time PNG (or a cut-off file) was posted and the title said DONE: named, none posted.
TEST_F(UploadFlowTest, WhatStopsTheUploadIsNamedAndNothingIsPosted) {
    LoopbackServer server(LoopbackServer::answer(kOkHead + kLink));
    program.upload.port = server.port();
    program.settingsSources.environment = [](const char* name, std::string& value) {
        return std::string(name) == "GLIMMERIX_UPLOAD_URL" && (value = "ftp://127.0.0.1/", true);
    };
    program.lastKey = "u";
    Capture plain(createImage(40, 30, 0xFF0000FF));
    freshEditorScreen();
    EXPECT_FALSE(runUploadFlow(program, plain));
    expectFailure(" UPLOADING", "upload_url: unknown scheme \"ftp\"");
    Capture capture(createImage(100, 100, 0));
    std::uint32_t noise = 12345;  // incompressible for PNG; JPEG still shrinks it
    for (std::uint32_t y = 0; y < 100; ++y)
        for (std::uint32_t x = 0; x < 100; ++x)
            imageRow(capture.picture(), y)[x] = noise *= 2654435761u;
    program.lastKey = "u";
    std::signal(SIGXFSZ, SIG_IGN);
    // The limit lies between the sizes of the two files.
    withLimit(RLIMIT_FSIZE, 20000, [&] { EXPECT_FALSE(runUploadFlow(program, capture)); });
    std::signal(SIGXFSZ, SIG_DFL);
    expectFailure(" UPLOADING", "Cannot save screenshot.png");
    EXPECT_EQ("", server.request());
    EXPECT_FALSE(fs::exists(kCapturePng));
    EXPECT_GT(readFile(kCaptureJpeg).size(), 1000u);
}
