// The real server on loopback, driven with the Glimmerix client's exact request and with raw,
// hostile and slow clients.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <numeric>
#include <regex>
#include <thread>

#include "server_fixture.h"
#include "upload/request.h"

namespace {

const std::regex kLink(R"(http://glimmerix\.test/[A-Za-z0-9_-]{20}\.(png|jpg))");

struct Exchange {
    std::string request;
    int status;
};

// The Glimmerix client's own request for `bytes` posted as `name`, to a host it does not own.
std::string clientRequest(const std::string& name, const std::string& bytes) {
    return buildUploadRequest("evil.example", "api.php", name, bytes);
}

class ServiceTest : public ServerTest {
  protected:
    void SetUp() override { ASSERT_TRUE(startServer({"--max-size", "64K"})); }

    // What the client keeps of the answer: the text after its last blank line.
    std::string upload(const std::string& name, const std::string& bytes) {
        std::string raw = roundTrip(port(), clientRequest(name, bytes));
        EXPECT_EQ(parseResponse(raw).status, 200) << raw;
        return raw.substr(raw.rfind("\r\n\r\n") + 4);
    }
    int status(const std::string& target, const std::string& headers = "",
               const std::string& method = "GET") {
        return httpRequest(port(), method, target, headers).status;
    }
};

}  // namespace

// HTTP/1.0, a half-closed socket, the answer read until close: the link is the body alone.
TEST_F(ServiceTest, TheClientsExactRequestGetsALinkToItsBytes) {
    const std::string png = makePng(9'232, 1), jpeg = makeJpeg(30'000, 2);
    // The kind comes from the bytes, never the name; the host from the flags, never the request.
    struct Upload {
        std::string bytes, type, extension;
    };
    for (const Upload& sent :
         {Upload{png, "image/png", "png"}, Upload{jpeg, "image/jpeg", "jpg"}}) {
        std::string link = upload("screenshot.jpg", sent.bytes);
        ASSERT_TRUE(std::regex_match(link, kLink)) << link;
        EXPECT_EQ(link.substr(link.size() - 3), sent.extension);
        HttpResponse image = httpRequest(port(), "GET", pathOfLink(link));
        EXPECT_EQ(image.status, 200);
        EXPECT_TRUE(image.body == sent.bytes);
        EXPECT_EQ(image.headers["content-type"], sent.type);
        EXPECT_EQ(image.headers["x-content-type-options"], "nosniff");
        EXPECT_EQ(image.headers["cache-control"], "public, max-age=31536000, immutable");
        EXPECT_EQ(image.headers["etag"], "\"" + pathOfLink(link).substr(1) + "\"");
        EXPECT_EQ(status(pathOfLink(link), "If-None-Match: " + image.headers["etag"] + "\r\n"),
                  304);
    }
    EXPECT_EQ(incoming(), 0u);
}

TEST_F(ServiceTest, RefusedUploadsGetTheirStatusAndLeaveNothing) {
    const std::string png = makePng(208, 3);
    const Exchange cases[] = {
        {clientRequest("screenshot.png", "#!/bin/sh\nrm -rf /\n"), 415},
        {clientRequest("screenshot.jpg", ""), 415},
        {clientRequest("screenshot.png", png.substr(0, 16) + "<html>hi</html>"), 415},
        {clientRequest("screenshot.png", makePng(200'000, 1)), 413},         // declared too long
        {formRequest("XyZ", {{"file", "a.png", makePng(84'000, 2)}}), 413},  // sent too long
        {formRequest("XyZ", {{"note", "", "hello"}}), 400},
        {formRequest("XyZ", {{"file", "a.png", png}, {"file", "b.png", png}}), 400},
        {formRequest("Other", {{"file", "a.png", png}}), 400},
        {"POST /api.php HTTP/1.1\r\nHost: h\r\nContent-Type: text/plain\r\n"
         "Content-Length: 2\r\nConnection: close\r\n\r\nhi",
         400},
    };
    for (const Exchange& c : cases) {
        HttpResponse response = parseResponse(roundTrip(port(), c.request));
        EXPECT_EQ(response.status, c.status) << c.request.substr(0, 200);
        EXPECT_EQ(response.headers["content-type"], "text/plain");
    }
    EXPECT_EQ(storedImages(), 0u);
    EXPECT_EQ(incoming(), 0u);
}

TEST_F(ServiceTest, OnlyStoredNamesAreServed) {
    std::string name = pathOfLink(upload("screenshot.png", makePng(143, 10))).substr(1);
    std::string id = name.substr(0, 20);
    for (const std::string& target : std::vector<std::string>{
             "/", "/api.php", "/delete.key", "/../delete.key", "/..%2Fdelete.key",
             "/%2e%2e/%2e%2e/etc/passwd", "//etc/passwd", "/images/" + name, "/incoming/",
             "/" + name + "/", "/" + name + "%00.png", "/" + name + "/..", "/" + id + ".PNG",
             "/" + id + ".jpg", "/%" + name.substr(1), "/delete/" + name + "/",
             "/delete/../delete.key/x"}) {
        EXPECT_EQ(status(target), 404) << target;
    }
}

TEST_F(ServiceTest, DeletionAsksFirstThenDeletesOnce) {
    HttpResponse answer = parseResponse(roundTrip(port(), clientRequest("s.png", makePng(91, 4))));
    std::string path = pathOfLink(answer.headers["x-delete-url"]), image = pathOfLink(answer.body);
    ASSERT_EQ(path.rfind("/delete/", 0), 0u) << answer.body;
    std::string forged = path;
    forged[path.rfind('/') + 1] ^= 1;  // a wrong token
    EXPECT_EQ(status(path), 200);
    EXPECT_EQ(status(image), 200);
    EXPECT_EQ(status(forged, "", "POST"), 404);
    EXPECT_EQ(status(path, "", "POST"), 200);
    EXPECT_EQ(status(path, "", "POST"), 404);
    EXPECT_EQ(status(image), 404);
}

// A request smuggled behind an ambiguous or malformed one never gets an answer of its own, and
// such a connection closes at once.
TEST_F(ServiceTest, HttpHygiene) {
    std::string image = pathOfLink(upload("screenshot.png", makePng(1'216, 7)));
    const std::string get = "GET " + image + " HTTP/1.1\r\nHost: h\r\n";
    const std::string get1 = get + "Connection: close\r\n";
    const std::string smuggled = "GET " + image + " HTTP/1.1\r\nHost: h\r\n\r\n";
    const Exchange cases[] = {
        {get + "Content-Length: 0\r\nContent-Length: 40\r\n\r\n" + smuggled, 400},
        {get + "Content-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n" + smuggled, 400},
        {get + "Content-Length: 0\r\n 40\r\n\r\n" + smuggled, 400},  // folded
        {get + "Content Length: 5\r\n\r\nhello" + smuggled, 400},
        {"G\x01T " + image + " HTTP/1.1\r\nHost: h\r\n\r\n" + smuggled, 400},
        {get + "X-A: a\x01b\r\n\r\n" + smuggled, 400},
        {get + "Transfer-Encoding: xchunked\r\n\r\n0\r\n\r\n" + smuggled, 501},
        {get + "Transfer-Encoding: chunked\r\n\r\n5\nhello\n0\n\n" + smuggled, 400},
        {"GET " + image + " HTTP/1.1\r\n\r\n" + smuggled, 400},
        {"POST /api.php HTTP/1.1\r\nHost: h\r\nContent-Length: -1\r\n\r\n", 400},
        {get1 + "Range: bytes=5000-\r\n\r\n", 416},
        {get1 + "Range: bytes=0-9\r\n\r\n", 206},
        {get1 + "X-Long: " + std::string(8 * 1024, 'a') + "\r\n\r\n", 200},
        {get1 + "X-Long: " + std::string(80 * 1024, 'a') + "\r\n\r\n", 431},
    };
    for (const Exchange& c : cases) {
        auto start = std::chrono::steady_clock::now();
        std::string raw = roundTrip(port(), c.request, false, nullptr, std::chrono::seconds(3));
        EXPECT_EQ(parseResponse(raw).status, c.status) << c.request.substr(0, 120);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << "kept open";
        if (c.request.find(smuggled) == std::string::npos) continue;
        EXPECT_EQ(raw.find("HTTP/1.1 ", 1), std::string::npos) << "smuggled request answered";
    }
}

// One address gets no more than its share of connections; another one is still served.
TEST_F(ServiceTest, OneAddressCannotTakeAllConnections) {
    stopServer();
    ASSERT_TRUE(startServer({"--header-timeout", "10", "--read-timeout", "10", "--trusted-proxies",
                             "none", "--max-connections-per-ip", "2"}));
    int held[2] = {connectToServer(port()), connectToServer(port())};
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    int third = connectToServer(port());
    auto start = std::chrono::steady_clock::now();
    receiveAll(third, std::chrono::seconds(15));  // turned away: closed at once, not at 10 s
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    const std::string get = "GET /x HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n";
    EXPECT_EQ(parseResponse(roundTrip(port(), get, false, "127.0.0.2")).status, 404);
    for (int fd : {held[0], held[1], third}) ::close(fd);
}

// On SIGTERM the service refuses newcomers, answers a request that ends within --stop-timeout and
// cuts off one that trickles on, exiting 0 long before its time-out. Past --log-rate a second,
// request lines are only counted.
TEST_F(ServiceTest, StopEndsTricklingRequestsInBoundedTimeAndTheLogIsCapped) {
    stopServer();
    ASSERT_TRUE(startServer({"--stop-timeout", "4", "--log-rate", "2", "--min-rate", "1"}));
    for (int i = 0; i < 40; ++i) status("/missing");
    const std::string request = clientRequest("screenshot.png", makePng(5'000, 5));
    int trickler = connectToServer(port()), finisher = connectToServer(port());
    for (int fd : {trickler, finisher}) sendAll(fd, request.substr(0, 400));
    std::thread trickle([&] {  // 1 byte each 200 ms: 8 s unless the stop cuts it off
        for (std::size_t i = 400; i < 440 && sendAll(trickler, request.substr(i, 1)); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    });
    auto start = std::chrono::steady_clock::now();
    signalServer(SIGTERM);
    auto refused = [&] {
        int newcomer = connectToServer(port());
        return newcomer < 0 || (::close(newcomer), false);
    };
    EXPECT_TRUE(within(3, refused)) << "still accepting";
    sendAll(finisher, request.substr(400));
    const std::string answer = receiveAll(finisher);
    EXPECT_EQ(parseResponse(answer).status, 200) << answer;
    EXPECT_EQ(stopServer(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    trickle.join();
    for (int fd : {trickler, finisher}) ::close(fd);

    const std::string text = log();
    static const std::regex kLine(" HTTP/1\\."), kHeldBack("([0-9]+) request lines not logged");
    const std::sregex_iterator end;
    long written = std::distance(std::sregex_iterator(text.begin(), text.end(), kLine), end);
    long heldBack = std::accumulate(std::sregex_iterator(text.begin(), text.end(), kHeldBack), end,
                                    0L, [](long sum, auto& m) { return sum + std::stol(m[1]); });
    EXPECT_LT(written, 20) << text;
    EXPECT_EQ(written + heldBack, 41) << text;  // the 404s and the upload
}

// Uploads come from --upload-from addresses or with a token; behind a trusted proxy the client is
// the hop it appended. Tokens are read again on SIGHUP; a bad file keeps those in use.
TEST_F(ServiceTest, OnlyListedAddressesAndTokenHoldersUpload) {
    stopServer();
    const std::string tokens = workDir() + "/tokens";
    auto writeTokens = [&](const char* text) { std::ofstream(tokens) << text; };
    writeTokens("# upload tokens\nfirst-token\n  second-token  # ShareX\n");
    ASSERT_TRUE(startServer({"--upload-tokens", tokens, "--upload-from", "127.0.0.1/32",
                             "--trusted-proxies", "127.0.0.1"}));
    const std::string request = clientRequest("s.png", makePng(200, 1));
    auto post = [&](const char* from, const std::string& headers) {
        std::string withHeaders = request;
        withHeaders.insert(withHeaders.find("\r\n") + 2, headers);
        HttpResponse answer = parseResponse(roundTrip(port(), withHeaders, true, from));
        EXPECT_TRUE(answer.status != 401 || answer.headers["www-authenticate"] == "Bearer");
        return answer.status;
    };
    const std::string second = "Authorization: Bearer second-token\r\n";
    EXPECT_EQ(post("127.0.0.1", ""), 200);
    EXPECT_EQ(post("127.0.0.2", ""), 401);
    EXPECT_EQ(post("127.0.0.2", "Authorization: Bearer first-token2\r\n"), 401);
    EXPECT_EQ(post("127.0.0.2", second), 200);
    EXPECT_EQ(post("127.0.0.1", "X-Forwarded-For: 127.0.0.1, 192.0.2.9\r\n"), 401);
    EXPECT_EQ(post("127.0.0.2", "X-Forwarded-For: 127.0.0.1\r\n"), 401);  // not a proxy
    EXPECT_TRUE(logShows("192.0.2.9 \"POST /api.php"));
    writeTokens("third-token\n");
    signalServer(SIGHUP);
    ASSERT_TRUE(logShows("1 upload token(s) read"));
    EXPECT_EQ(post("127.0.0.2", second), 401);
    EXPECT_EQ(post("127.0.0.2", "Authorization: bearer third-token\r\n"), 200);
    writeTokens("fourth token\n");
    signalServer(SIGHUP);
    ASSERT_TRUE(logShows("kept the upload tokens in use"));
    EXPECT_EQ(post("127.0.0.2", "Authorization: Bearer third-token\r\n"), 200);
    EXPECT_EQ(log().find("-token"), std::string::npos) << "a token in the log";

    stopServer();  // without tokens, other addresses are refused outright
    ASSERT_TRUE(startServer({"--upload-from", "127.0.0.1"}));
    EXPECT_EQ(post("127.0.0.2", second), 403);
}

TEST_F(ServiceTest, AFullDiskGets507AndLeavesNothing) {
    stopServer();
    ASSERT_TRUE(startServer({}, 10'000));
    std::string raw = roundTrip(port(), clientRequest("screenshot.png", makePng(19'216, 9)));
    EXPECT_EQ(parseResponse(raw).status, 507) << raw;
    EXPECT_EQ(storedImages(), 0u);
    EXPECT_EQ(incoming(), 0u);
}
