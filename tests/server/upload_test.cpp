// The real server on loopback, driven with the Glimmerix client's exact request and with curl.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <regex>

#include "server_fixture.h"
#include "test_images.h"

namespace {

const std::regex kPngLink(R"(http://glimmerix\.test/[A-Za-z0-9_-]{20}\.png)");
const std::regex kJpegLink(R"(http://glimmerix\.test/[A-Za-z0-9_-]{20}\.jpg)");

class UploadTest : public ServerTest {
  protected:
    void SetUp() override { ASSERT_TRUE(startServer()); }
};

}  // namespace

TEST_F(UploadTest, TheClientsExactRequestGetsTheLinkAlone) {
    std::string png = makePng(64, 48, 1);
    std::string request = clientRequest("glimmerix.test", "screenshot.png", png);
    // The body the client announces is the file plus 228 bytes of framing.
    std::size_t headEnd = request.find("\r\n\r\n") + 4;
    ASSERT_EQ(request.size() - headEnd, png.size() + 228);
    ASSERT_NE(request.find("Content-Length: " + std::to_string(png.size() + 228) + "\r\n"),
              std::string::npos);

    std::string raw = roundTrip(port(), request, /*halfClose=*/true);
    HttpResponse response = parseResponse(raw);
    ASSERT_EQ(response.status, 200) << raw;
    EXPECT_EQ(response.header("content-type"), "text/plain");
    std::string link = textAfterLastBlankLine(raw);
    EXPECT_TRUE(std::regex_match(link, kPngLink)) << '"' << link << '"';
    EXPECT_EQ(response.body, link);
    EXPECT_EQ(response.header("content-length"), std::to_string(link.size()));

    HttpResponse image = httpGet(port(), pathOfLink(link));
    ASSERT_EQ(image.status, 200);
    EXPECT_EQ(image.body, png);
    EXPECT_EQ(image.header("content-type"), "image/png");
    EXPECT_EQ(image.header("content-length"), std::to_string(png.size()));
    EXPECT_EQ(image.header("x-content-type-options"), "nosniff");
    EXPECT_EQ(image.header("cache-control"), "public, max-age=31536000, immutable");
    EXPECT_EQ(image.header("etag"), "\"" + pathOfLink(link).substr(1) + "\"");
}

TEST_F(UploadTest, TheClientsJpegRequestIsStoredAsJpeg) {
    std::string jpeg = makeJpegShaped(30'000, 2);
    std::string raw = roundTrip(port(), clientRequest("glimmerix.test", "screenshot.jpg", jpeg));
    ASSERT_EQ(parseResponse(raw).status, 200) << raw;
    std::string link = textAfterLastBlankLine(raw);
    EXPECT_TRUE(std::regex_match(link, kJpegLink)) << link;
    HttpResponse image = httpGet(port(), pathOfLink(link));
    EXPECT_EQ(image.body, jpeg);
    EXPECT_EQ(image.header("content-type"), "image/jpeg");
}

TEST_F(UploadTest, TheKindComesFromTheBytesNotTheNameOrDeclaredType) {
    std::string png = makePng(10, 10, 3);
    std::string raw = roundTrip(port(), clientRequest("glimmerix.test", "screenshot.jpg", png));
    std::string link = textAfterLastBlankLine(raw);
    EXPECT_TRUE(std::regex_match(link, kPngLink)) << raw;
    EXPECT_EQ(httpGet(port(), pathOfLink(link)).header("content-type"), "image/png");
}

TEST_F(UploadTest, LinksUseTheConfiguredUrlWhateverTheHostHeaderSays) {
    std::string raw =
        roundTrip(port(), clientRequest("evil.example", "screenshot.png", makePng(4, 4, 4)));
    std::string link = textAfterLastBlankLine(raw);
    EXPECT_TRUE(std::regex_match(link, kPngLink)) << raw;
}

TEST_F(UploadTest, CurlUploadsOverHttp11AndGetsADeletionUrl) {
    std::string png = makePng(100, 80, 5);
    std::string file = temp_.path() + "/shot.png";
    writeFile(file, png);
    CommandResult upload = runCommand({curlBinary(), "-sS", "-D", "-", "-F", "file=@" + file,
                                       "http://127.0.0.1:" + std::to_string(port()) + "/api.php"});
    ASSERT_EQ(upload.exitCode, 0);
    HttpResponse response = parseResponse(upload.output);
    ASSERT_EQ(response.status, 200) << upload.output;
    EXPECT_TRUE(std::regex_match(response.body, kPngLink)) << response.body;
    EXPECT_EQ(response.header("cache-control"), "no-store");
    std::string name = pathOfLink(response.body).substr(1);
    EXPECT_TRUE(std::regex_match(
        response.header("x-delete-url"),
        std::regex("http://glimmerix\\.test/delete/" + name + "/[A-Za-z0-9_-]{22}")))
        << response.header("x-delete-url");

    CommandResult fetched = runCommand(
        {curlBinary(), "-sS", "--fail", "http://127.0.0.1:" + std::to_string(port()) + "/" + name});
    EXPECT_EQ(fetched.exitCode, 0);
    EXPECT_EQ(fetched.output, png);
}

TEST_F(UploadTest, HeadConditionalAndRangeRequests) {
    std::string png = makePng(30, 30, 6);
    std::string link =
        textAfterLastBlankLine(roundTrip(port(), clientRequest("h", "screenshot.png", png)));
    std::string path = pathOfLink(link);

    std::string head = roundTrip(port(),
                                 "HEAD " + path +
                                     " HTTP/1.1\r\nHost: h\r\n"
                                     "Connection: close\r\n\r\n",
                                 false);
    HttpResponse headResponse = parseResponse(head);
    EXPECT_EQ(headResponse.status, 200);
    EXPECT_EQ(headResponse.header("content-length"), std::to_string(png.size()));
    EXPECT_EQ(headResponse.body, "");

    std::string etag = "\"" + path.substr(1) + "\"";
    HttpResponse cached = httpGet(port(), path, {"If-None-Match: W/\"other\", " + etag});
    EXPECT_EQ(cached.status, 304);
    EXPECT_EQ(cached.body, "");
    EXPECT_EQ(cached.header("etag"), etag);
    EXPECT_EQ(httpGet(port(), path, {"If-None-Match: \"other\""}).status, 200);

    HttpResponse part = httpGet(port(), path, {"Range: bytes=0-7"});
    EXPECT_EQ(part.status, 206);
    EXPECT_EQ(part.body, png.substr(0, 8));
    EXPECT_EQ(part.header("content-range"), "bytes 0-7/" + std::to_string(png.size()));
    HttpResponse tail = httpGet(port(), path, {"Range: bytes=-12"});
    EXPECT_EQ(tail.status, 206);
    EXPECT_EQ(tail.body, png.substr(png.size() - 12));
    HttpResponse several = httpGet(port(), path, {"Range: bytes=0-1,4-5"});
    EXPECT_EQ(several.status, 200);
    EXPECT_EQ(several.header("content-type"), "image/png");
    EXPECT_EQ(several.body, png);
    HttpResponse beyond = httpGet(port(), path, {"Range: bytes=999999-"});
    EXPECT_EQ(beyond.status, 416);
    EXPECT_EQ(beyond.header("content-range"), "bytes */" + std::to_string(png.size()));
    // Error messages are never cut by a Range.
    HttpResponse missing =
        httpGet(port(), "/" + std::string(20, 'A') + ".png", {"Range: bytes=0-2"});
    EXPECT_EQ(missing.status, 404);
    EXPECT_EQ(missing.body, "not found");
    EXPECT_FALSE(missing.hasHeader("content-range"));
}

TEST_F(UploadTest, DeletionAsksFirstThenDeletes) {
    std::string raw = roundTrip(port(), clientRequest("h", "screenshot.png", makePng(9, 9, 7)));
    HttpResponse uploaded = parseResponse(raw);
    std::string path = pathOfLink(uploaded.body);
    std::string deletePath = pathOfLink(uploaded.header("x-delete-url"));

    // Fetching the deletion URL, as a link preview would, only shows the question.
    HttpResponse page = httpGet(port(), deletePath);
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.header("content-type"), "text/html; charset=utf-8");
    EXPECT_NE(page.body.find("<form method=\"post\">"), std::string::npos) << page.body;
    EXPECT_EQ(httpGet(port(), path).status, 200);

    // A wrong token changes nothing.
    std::string forged =
        deletePath.substr(0, deletePath.size() - 1) + (deletePath.back() == 'A' ? "B" : "A");
    std::string refused = roundTrip(
        port(), "POST " + forged + " HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n", false);
    EXPECT_EQ(parseResponse(refused).status, 404);
    EXPECT_EQ(httpGet(port(), path).status, 200);

    // What the page's button sends: a form POST without a body.
    std::string deleted = roundTrip(port(),
                                    "POST " + deletePath +
                                        " HTTP/1.1\r\nHost: h\r\nContent-Length: 0\r\n"
                                        "Connection: close\r\n\r\n",
                                    false);
    EXPECT_EQ(parseResponse(deleted).status, 200) << deleted;
    EXPECT_EQ(httpGet(port(), path).status, 404);
    EXPECT_TRUE(storedImages().empty());
    EXPECT_EQ(httpGet(port(), deletePath).status, 404);

    // curl -X DELETE sends neither a body nor a length: still answered at once.
    std::string again = roundTrip(
        port(), "DELETE " + deletePath + " HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n",
        false);
    EXPECT_EQ(parseResponse(again).status, 404);
}

TEST_F(UploadTest, EveryRequestIsOneLogLineAndTokensStayOut) {
    std::string raw = roundTrip(port(), clientRequest("h", "screenshot.png", makePng(5, 5, 8)));
    HttpResponse uploaded = parseResponse(raw);
    std::string name = pathOfLink(uploaded.body).substr(1);
    std::string deletePath = pathOfLink(uploaded.header("x-delete-url"));
    httpGet(port(), "/" + name);
    httpGet(port(), deletePath);
    httpGet(port(), "/nothing-here");
    ASSERT_EQ(server_->stop(), 0);

    std::string log = server_->log();
    std::string token = deletePath.substr(deletePath.rfind('/') + 1);
    EXPECT_EQ(log.find(token), std::string::npos) << log;
    EXPECT_NE(log.find("\"POST /api.php HTTP/1.0\" 200 "), std::string::npos) << log;
    EXPECT_NE(log.find(" " + name + "\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\"GET /" + name + " HTTP/1.1\" 200 "), std::string::npos) << log;
    EXPECT_NE(log.find("\"GET /delete/" + name + "/... HTTP/1.1\" 200 "), std::string::npos);
    EXPECT_NE(log.find("\"GET /nothing-here HTTP/1.1\" 404 "), std::string::npos) << log;
    std::regex requestLine(R"(\d{4}-\d\d-\d\dT[\d:.]+Z 127\.0\.0\.1 ".*" \d{3} \d+ [\d.]+ms.*)");
    int requestLines = 0;
    std::size_t start = 0;
    while (start < log.size()) {
        std::size_t end = log.find('\n', start);
        std::string line = log.substr(start, end - start);
        if (line.find(" 127.0.0.1 \"") != std::string::npos) {
            EXPECT_TRUE(std::regex_match(line, requestLine)) << line;
            ++requestLines;
        }
        start = end + 1;
    }
    EXPECT_EQ(requestLines, 4);
}

TEST_F(UploadTest, KeepAliveConnectionsServeSeveralRequests) {
    std::string png = makePng(6, 6, 9);
    std::string link =
        textAfterLastBlankLine(roundTrip(port(), clientRequest("h", "screenshot.png", png)));
    std::string get = "GET " + pathOfLink(link) + " HTTP/1.1\r\nHost: h\r\n\r\n";
    int fd = connectToServer(port());
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(sendAll(fd, get + get + get));  // pipelined
    ::shutdown(fd, SHUT_WR);
    std::string raw = receiveAll(fd);
    ::close(fd);
    std::size_t answers = 0;
    for (std::size_t at = raw.find("HTTP/1.1 200 OK"); at != std::string::npos;
         at = raw.find("HTTP/1.1 200 OK", at + 1)) {
        ++answers;
    }
    EXPECT_EQ(answers, 3u);
    EXPECT_EQ(raw.size() - raw.rfind("\r\n\r\n") - 4, png.size());
}
