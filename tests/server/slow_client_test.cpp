// Clients that send too slowly must lose their worker within the configured time-outs, get a
// 408 when they had started a request, and leave nothing behind.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "server_fixture.h"
#include "test_images.h"

namespace {

using namespace std::chrono;
using Clock = steady_clock;

class SlowClientTest : public ServerTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(startServerWithFlags(
            {"--read-timeout", "1", "--request-timeout", "3", "--threads", "2"}));
    }
    void expectNothingStored() {
        EXPECT_TRUE(storedImages().empty());
        EXPECT_TRUE(incomingFiles().empty());
    }
};

double secondsSince(Clock::time_point start) {
    return duration<double>(Clock::now() - start).count();
}

// Sends `request` one byte every 200 ms, each well within the read time-out, until the server
// hangs up or the request is used up.
class Trickler {
  public:
    Trickler(int port, std::string request) : fd_(connectToServer(port)) {
        thread_ = std::thread([this, request] {
            for (char c : request) {
                if (stop_ || ::send(fd_, &c, 1, MSG_NOSIGNAL) != 1) return;
                std::this_thread::sleep_for(milliseconds(200));
            }
        });
    }
    ~Trickler() {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }
    int fd() const { return fd_; }

  private:
    int fd_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace

TEST_F(SlowClientTest, AClientThatStallsMidUploadGets408) {
    std::string request = clientRequest("h", "screenshot.png", makePngOfSize(50'000, 1));
    int fd = connectToServer(port());
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(sendAll(fd, request.substr(0, request.size() / 2)));
    auto start = Clock::now();
    HttpResponse response = parseResponse(receiveAll(fd, seconds(10)));
    double waited = secondsSince(start);
    ::close(fd);
    EXPECT_EQ(response.status, 408);
    EXPECT_GT(waited, 0.8);
    EXPECT_LT(waited, 2.5);
    expectNothingStored();
}

TEST_F(SlowClientTest, AClientThatStallsInItsHeadersGets408) {
    int fd = connectToServer(port());
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(sendAll(fd, "POST /api.php HTTP/1.1\r\nHost: h\r\nContent-Ty"));
    auto start = Clock::now();
    HttpResponse response = parseResponse(receiveAll(fd, seconds(10)));
    double waited = secondsSince(start);
    ::close(fd);
    EXPECT_EQ(response.status, 408);
    EXPECT_LT(waited, 2.5);
}

TEST_F(SlowClientTest, AConnectionThatNeverSpeaksIsClosedQuietly) {
    int fd = connectToServer(port());
    ASSERT_GE(fd, 0);
    auto start = Clock::now();
    std::string answer = receiveAll(fd, seconds(10));
    double waited = secondsSince(start);
    ::close(fd);
    EXPECT_EQ(answer, "");
    EXPECT_LT(waited, 2.5);
}

TEST_F(SlowClientTest, ATricklingClientIsCutOffAtTheRequestTimeout) {
    Trickler trickler(port(), clientRequest("h", "screenshot.png", makePng(20, 20, 2)));
    auto start = Clock::now();
    HttpResponse response = parseResponse(receiveAll(trickler.fd(), seconds(10)));
    double waited = secondsSince(start);
    EXPECT_EQ(response.status, 408);
    EXPECT_GT(waited, 2.5);
    EXPECT_LT(waited, 4.5);
    expectNothingStored();
}

TEST_F(SlowClientTest, SlowClientsHoldWorkersOnlyForABoundedTime) {
    // Both workers taken by tricklers; a normal upload still gets through once they are cut.
    Trickler first(port(), clientRequest("h", "screenshot.png", makePng(20, 20, 3)));
    Trickler second(port(), clientRequest("h", "screenshot.png", makePng(20, 20, 4)));
    std::this_thread::sleep_for(milliseconds(300));
    std::string png = makePng(30, 30, 5);
    auto start = Clock::now();
    std::string raw = roundTrip(port(), clientRequest("h", "screenshot.png", png));
    double waited = secondsSince(start);
    ASSERT_EQ(parseResponse(raw).status, 200) << raw;
    EXPECT_LT(waited, 4.5);
    EXPECT_EQ(httpGet(port(), pathOfLink(textAfterLastBlankLine(raw))).body, png);
    EXPECT_EQ(storedImages().size(), 1u);
}
