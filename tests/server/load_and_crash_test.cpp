// Many clients at once, a crash in the middle of a stream of uploads, and a clean stop.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "server_fixture.h"
#include "test_images.h"

namespace {

using namespace std::chrono;

class LoadTest : public ServerTest {};

}  // namespace

TEST_F(LoadTest, TwoHundredConcurrentUploadsGetDistinctLinksToTheirOwnBytes) {
    ASSERT_TRUE(startServer());
    constexpr int kClients = 200;
    std::vector<std::string> images(kClients);
    for (int i = 0; i < kClients; ++i) {
        images[i] = i % 2 ? makePng(40 + i % 17, 30, static_cast<std::uint32_t>(i))
                          : makeJpegShaped(3000 + 37 * static_cast<std::size_t>(i), i);
    }
    std::vector<std::string> links(kClients);
    std::vector<int> statuses(kClients);
    std::atomic<int> ready{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.emplace_back([&, i] {
            std::string request =
                clientRequest("h", i % 2 ? "screenshot.png" : "screenshot.jpg", images[i]);
            // Start together, so the server really has 200 connections at once.
            ++ready;
            while (ready < kClients) std::this_thread::yield();
            std::string raw = roundTrip(port(), request);
            statuses[i] = parseResponse(raw).status;
            links[i] = textAfterLastBlankLine(raw);
        });
    }
    for (auto& client : clients) client.join();

    std::set<std::string> distinct;
    for (int i = 0; i < kClients; ++i) {
        ASSERT_EQ(statuses[i], 200) << "client " << i;
        distinct.insert(links[i]);
    }
    EXPECT_EQ(distinct.size(), static_cast<std::size_t>(kClients));
    for (int i = 0; i < kClients; ++i) {
        HttpResponse image = httpGet(port(), pathOfLink(links[i]));
        EXPECT_EQ(image.status, 200);
        EXPECT_TRUE(image.body == images[i]) << "client " << i << " got other bytes";
        EXPECT_EQ(image.header("content-type"), i % 2 ? "image/png" : "image/jpeg");
    }
    EXPECT_EQ(storedImages().size(), static_cast<std::size_t>(kClients));
    EXPECT_TRUE(incomingFiles().empty());
}

TEST_F(LoadTest, KillNineDuringAStreamOfUploadsLosesNothingThatWasAnswered) {
    ASSERT_TRUE(startServer());
    int firstPort = port();
    std::mutex mutex;
    std::map<std::string, std::string> answered;    // link path -> bytes
    std::map<std::string, std::string> everything;  // bytes -> uploader, for any stored file
    std::atomic<bool> stop{false};
    std::atomic<int> uploads{0};
    std::vector<std::thread> uploaders;
    for (int u = 0; u < 4; ++u) {
        uploaders.emplace_back([&, u] {
            for (std::uint32_t n = 0; !stop; ++n) {
                // Large enough that many uploads are mid-transfer when the kill lands.
                std::string png = makePngOfSize(120'000 + 5'000 * u, u * 100'000 + n);
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    everything[png] = "sent";
                }
                std::string raw = roundTrip(firstPort, clientRequest("h", "screenshot.png", png));
                HttpResponse response = parseResponse(raw);
                // The kill can fall between the answer's headers and its body; only a whole
                // answer gave the client a link.
                bool whole = response.status == 200 && response.header("content-length") ==
                                                           std::to_string(response.body.size());
                if (whole) {
                    std::lock_guard<std::mutex> lock(mutex);
                    answered[pathOfLink(response.body)] = png;
                    ++uploads;
                }
            }
        });
    }
    auto deadline = steady_clock::now() + seconds(10);
    while (uploads < 40 && steady_clock::now() < deadline) {
        std::this_thread::sleep_for(milliseconds(5));
    }
    server_->killHard();
    stop = true;
    for (auto& uploader : uploaders) uploader.join();
    ASSERT_GE(answered.size(), 40u);

    // After the crash incoming/ may hold half-written files; images/ never does.
    for (const auto& name : storedImages()) {
        std::string bytes = readFile(dataDir() + "/images/" + name);
        EXPECT_EQ(everything.count(bytes), 1u) << name << " is not a complete upload";
    }

    ASSERT_TRUE(startServer());
    EXPECT_TRUE(incomingFiles().empty());
    for (const auto& [path, png] : answered) {
        HttpResponse image = httpGet(port(), path);
        EXPECT_EQ(image.status, 200) << path;
        EXPECT_TRUE(image.body == png) << path << " changed";
    }
    EXPECT_GE(storedImages().size(), answered.size());
}

TEST_F(LoadTest, SigtermFinishesTheUploadInProgressThenExits) {
    ASSERT_TRUE(startServer());
    std::string png = makePngOfSize(100'000, 9);
    std::string request = clientRequest("h", "screenshot.png", png);
    int fd = connectToServer(port());
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(sendAll(fd, request.substr(0, request.size() / 2)));
    std::this_thread::sleep_for(milliseconds(200));
    ::kill(server_->pid(), SIGTERM);
    std::this_thread::sleep_for(milliseconds(200));
    ASSERT_TRUE(server_->running());

    // The door is shut for new connections...
    EXPECT_LT(connectToServer(port()), 0);
    // ...but the upload in progress completes and is answered.
    ASSERT_TRUE(sendAll(fd, request.substr(request.size() / 2)));
    ::shutdown(fd, SHUT_WR);
    std::string raw = receiveAll(fd);
    ::close(fd);
    ASSERT_EQ(parseResponse(raw).status, 200) << raw;
    EXPECT_EQ(server_->waitForExit(seconds(10)), 0) << server_->log();
    std::string name = pathOfLink(textAfterLastBlankLine(raw)).substr(1);
    EXPECT_EQ(readFile(dataDir() + "/images/" + name), png);
    EXPECT_NE(server_->log().find("received SIGTERM"), std::string::npos);
}

TEST_F(LoadTest, IdleKeepAliveConnectionsDoNotDelayAStop) {
    ASSERT_TRUE(startServer());
    int fd = connectToServer(port());
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(sendAll(fd, "GET /nothing HTTP/1.1\r\nHost: h\r\n\r\n"));
    std::this_thread::sleep_for(milliseconds(100));
    auto start = steady_clock::now();
    EXPECT_EQ(server_->stop(), 0);
    EXPECT_LT(duration<double>(steady_clock::now() - start).count(), 1.0);
    ::close(fd);
}
