// The real server on loopback, driven with the Glimmerix client's exact request and with raw,
// hostile and slow clients.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <thread>

#include "server_fixture.h"
#include "test_images.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kLimit = 64 * 1024;
const std::regex kLink(R"(http://glimmerix\.test/[A-Za-z0-9_-]{20}\.(png|jpg))");

class ServiceTest : public ServerTest {
  protected:
    void SetUp() override { ASSERT_TRUE(startServerWithFlags({"--max-size", "64K"})); }

    std::string upload(const std::string& name, const std::string& bytes) {
        std::string raw = roundTrip(port(), clientRequest("evil.example", name, bytes));
        EXPECT_EQ(parseResponse(raw).status, 200) << raw;
        return textAfterLastBlankLine(raw);
    }
    int getStatus(const std::string& target, const std::string& headers = "") {
        return parseResponse(roundTrip(port(),
                                       "GET " + target + " HTTP/1.1\r\nHost: h\r\n" + headers +
                                           "Connection: close\r\n\r\n",
                                       false))
            .status;
    }
};

}  // namespace

// HTTP/1.0, a half-closed socket, the answer read until close: the link is the body alone.
TEST_F(ServiceTest, TheClientsExactRequestGetsALinkToItsBytes) {
    const std::string png = makePng(64, 48, 1), jpeg = makeJpegShaped(30'000, 2);
    // The kind comes from the bytes, never the name; the host from the flags, never the request.
    for (const auto& [name, bytes, type] : {std::tuple{"screenshot.jpg", png, "image/png"},
                                            std::tuple{"screenshot.jpg", jpeg, "image/jpeg"}}) {
        std::string link = upload(name, bytes);
        ASSERT_TRUE(std::regex_match(link, kLink)) << link;
        EXPECT_EQ(link.substr(link.size() - 3), type == std::string("image/png") ? "png" : "jpg");
        HttpResponse image = httpGet(port(), pathOfLink(link));
        EXPECT_EQ(image.status, 200);
        EXPECT_TRUE(image.body == bytes);
        EXPECT_EQ(image.header("content-type"), type);
        EXPECT_EQ(image.header("x-content-type-options"), "nosniff");
        EXPECT_EQ(image.header("cache-control"), "public, max-age=31536000, immutable");
        EXPECT_EQ(image.header("etag"), "\"" + pathOfLink(link).substr(1) + "\"");
        EXPECT_EQ(getStatus(pathOfLink(link), "If-None-Match: " + image.header("etag") + "\r\n"),
                  304);
    }
    EXPECT_TRUE(incomingFiles().empty());
}

TEST_F(ServiceTest, RefusedUploadsGetTheirStatusAndLeaveNothing) {
    auto form = [](const std::vector<FormPart>& parts) {
        return uploadRequest("XyZ", multipartBody("XyZ", parts));
    };
    const std::string png = makePng(8, 8, 3);
    const std::pair<std::string, int> cases[] = {
        {clientRequest("h", "screenshot.png", "#!/bin/sh\nrm -rf /\n"), 415},
        {clientRequest("h", "screenshot.jpg", ""), 415},
        {clientRequest("h", "screenshot.png", makePngOfSize(200'000, 1)), 413},  // declared
        {form({{"file", "a.png", "image/png", makePngOfSize(kLimit + 20'000, 2)}}), 413},
        {form({{"note", "", "", "hello"}}), 400},
        {form({{"file", "a.png", "", png}, {"file", "b.png", "", png}}), 400},
        {uploadRequest("Other", multipartBody("XyZ", {{"file", "a.png", "", png}})), 400},
        {"POST /api.php HTTP/1.1\r\nHost: h\r\nContent-Type: text/plain\r\n"
         "Content-Length: 2\r\nConnection: close\r\n\r\nhi",
         400},
    };
    for (const auto& [request, status] : cases) {
        HttpResponse response = parseResponse(roundTrip(port(), request));
        EXPECT_EQ(response.status, status) << request.substr(0, 200);
        EXPECT_EQ(response.header("content-type"), "text/plain");
    }
    EXPECT_TRUE(storedImages().empty());
    EXPECT_TRUE(incomingFiles().empty());
}

TEST_F(ServiceTest, OnlyStoredNamesAreServed) {
    std::string name = pathOfLink(upload("screenshot.png", makePng(3, 3, 10))).substr(1);
    std::string id = name.substr(0, 20);
    for (const std::string& target : std::vector<std::string>{
             "/", "/api.php", "/delete.key", "/../delete.key", "/..%2Fdelete.key",
             "/%2e%2e/%2e%2e/etc/passwd", "//etc/passwd", "/images/" + name, "/incoming/",
             "/" + name + "/", "/" + name + "%00.png", "/" + name + "/..", "/" + id + ".PNG",
             "/" + id + ".jpg", "/%" + name.substr(1), "/delete/" + name + "/",
             "/delete/../delete.key/x"}) {
        EXPECT_EQ(getStatus(target), 404) << target;
    }
}

TEST_F(ServiceTest, DeletionAsksFirstThenDeletesOnce) {
    std::string raw = roundTrip(port(), clientRequest("h", "screenshot.png", makePng(5, 5, 4)));
    std::string deleteUrl = parseResponse(raw).header("x-delete-url");
    std::string path = pathOfLink(deleteUrl), image = pathOfLink(parseResponse(raw).body);
    ASSERT_EQ(path.rfind("/delete/", 0), 0u) << raw;
    auto post = [&](const std::string& target) {
        return parseResponse(
                   roundTrip(port(), "POST " + target +
                                         " HTTP/1.1\r\nHost: h\r\n"
                                         "Content-Length: 0\r\nConnection: close\r\n\r\n"))
            .status;
    };
    EXPECT_EQ(getStatus(path), 200);
    EXPECT_EQ(httpGet(port(), image).status, 200);
    std::string forged = path;
    forged[path.rfind('/') + 1] ^= 1;  // a wrong token
    EXPECT_EQ(post(forged), 404);
    EXPECT_EQ(post(path), 200);
    EXPECT_EQ(post(path), 404);
    EXPECT_EQ(httpGet(port(), image).status, 404);
}

// Each case: a request and the status of its answer; a request smuggled behind an ambiguous
// one must never get an answer of its own.
TEST_F(ServiceTest, HttpHygiene) {
    std::string image = pathOfLink(upload("screenshot.png", makePng(20, 20, 7)));
    const std::string get1 = "GET " + image + " HTTP/1.1\r\nHost: h\r\nConnection: close\r\n";
    const std::string smuggled = "GET " + image + " HTTP/1.1\r\nHost: h\r\n\r\n";
    struct Case {
        std::string request;
        int status;
    };
    const Case cases[] = {
        {"GET " + image +
             " HTTP/1.1\r\nHost: h\r\nContent-Length: 0\r\nContent-Length: 40\r\n\r\n" + smuggled,
         400},
        {"GET " + image +
             " HTTP/1.1\r\nHost: h\r\nContent-Length: 5\r\n"
             "Transfer-Encoding: chunked\r\n\r\n0\r\n\r\n" +
             smuggled,
         400},
        {"POST /api.php HTTP/1.1\r\nHost: h\r\nContent-Length: -1\r\n\r\n", 400},
        {get1 + "Range: bytes=9-2\r\n\r\n", 200},
        {get1 + "Range: pages=1\r\n\r\n", 200},
        {get1 + "Range: bytes=5000-\r\n\r\n", 416},
        {get1 + "Range: bytes=0-9\r\n\r\n", 206},
        {get1 + "X-Long: " + std::string(8 * 1024, 'a') + "\r\n\r\n", 200},
        {get1 + "X-Long: " + std::string(80 * 1024, 'a') + "\r\n\r\n", 431},
    };
    for (const Case& c : cases) {
        std::string raw = roundTrip(port(), c.request, false);
        EXPECT_EQ(parseResponse(raw).status, c.status) << c.request.substr(0, 120);
        if (c.request.find(smuggled) == std::string::npos) continue;
        EXPECT_EQ(raw.find("HTTP/1.1 ", 1), std::string::npos) << "smuggled request answered";
    }
}

// One address gets no more than its share of connections; another one is still served. (Slow
// and silent clients are the availability test's.)
TEST_F(ServiceTest, OneAddressCannotTakeAllConnections) {
    server_->stop();
    ASSERT_TRUE(
        startServerWithFlags({"--header-timeout", "1", "--read-timeout", "1", "--trusted-proxies",
                              "none", "--max-connections-per-ip", "2"}));
    int held[2] = {connectToServer(port()), connectToServer(port())};
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    int third = connectToServer(port());
    auto start = Clock::now();
    receiveAll(third, std::chrono::seconds(5));  // turned away: closed at once
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 0.5);
    int other = connectToServer(port(), "127.0.0.2");
    ASSERT_GE(other, 0);
    sendAll(other, "GET /x HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(parseResponse(receiveAll(other)).status, 404);
    for (int fd : {held[0], held[1], third, other}) ::close(fd);
}

TEST_F(ServiceTest, AFullDiskGets507AndLeavesNothing) {
    server_->stop();
    ServerLaunch launch;
    launch.fileSizeLimit = 10'000;
    ASSERT_TRUE(startServer(launch));
    std::string raw = roundTrip(port(), clientRequest("h", "screenshot.png", makePng(80, 80, 9)));
    EXPECT_EQ(parseResponse(raw).status, 507) << raw;
    EXPECT_TRUE(storedImages().empty());
    EXPECT_TRUE(incomingFiles().empty());
}
