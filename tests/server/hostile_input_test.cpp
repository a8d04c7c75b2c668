// Requests that must be refused with the right status and leave nothing behind.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include "server_fixture.h"
#include "test_images.h"

namespace {

constexpr std::size_t kLimit = 64 * 1024;

class HostileInputTest : public ServerTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(startServerWithFlags({"--max-size", std::to_string(kLimit)}));
    }

    void expectNothingStored() {
        EXPECT_TRUE(storedImages().empty());
        EXPECT_TRUE(incomingFiles().empty());
    }

    // Status of the answer to `request`, after checking that the body is one line of text.
    int statusOf(const std::string& request, bool halfClose = true) {
        std::string raw = roundTrip(port(), request, halfClose);
        HttpResponse response = parseResponse(raw);
        EXPECT_EQ(response.header("content-type"), "text/plain") << raw;
        EXPECT_FALSE(response.body.empty()) << raw;
        EXPECT_EQ(response.body.find('\n'), std::string::npos) << raw;
        return response.status;
    }

    std::string filePart(const std::string& data, const std::string& name = "file") {
        return multipartBody("XyZ", {{name, "screenshot.png", "image/png", data}});
    }
};

}  // namespace

TEST_F(HostileInputTest, AFileThatIsNoImageGets415) {
    std::string script = "#!/bin/sh\nrm -rf /\n" + std::string(3000, '#');
    EXPECT_EQ(statusOf(clientRequest("h", "screenshot.png", script)), 415);
    EXPECT_EQ(statusOf(clientRequest("h", "screenshot.png", "GIF89a" + std::string(100, 'x'))),
              415);
    EXPECT_EQ(statusOf(clientRequest("h", "screenshot.jpg", "")), 415);
    expectNothingStored();
}

TEST_F(HostileInputTest, AnOversizeImageGets413) {
    std::string big = makePngOfSize(200'000, 1);
    // Announced by Content-Length, beyond what any form around the limit could need.
    EXPECT_EQ(statusOf(clientRequest("h", "screenshot.png", big)), 413);
    // Within the announced slack, but the image itself is over the limit.
    std::string over = makePngOfSize(kLimit + 20'000, 2);
    ASSERT_GT(over.size(), kLimit);
    EXPECT_EQ(statusOf(uploadRequest("XyZ", filePart(over))), 413);
    expectNothingStored();
}

TEST_F(HostileInputTest, AnOversizeChunkedUploadGets413) {
    std::string body = filePart(makePngOfSize(300'000, 3));
    std::string request =
        "POST /api.php HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n"
        "Content-Type: multipart/form-data; boundary=XyZ\r\nConnection: close\r\n\r\n";
    for (std::size_t at = 0; at < body.size(); at += 8192) {
        std::string chunk = body.substr(at, 8192);
        char size[16];
        std::snprintf(size, sizeof size, "%zx\r\n", chunk.size());
        request += size + chunk + "\r\n";
    }
    request += "0\r\n\r\n";
    EXPECT_EQ(statusOf(request), 413);
    expectNothingStored();
}

TEST_F(HostileInputTest, CurlAskingFirstIsToldOffBeforeSending) {
    std::string file = temp_.path() + "/big.png";
    writeFile(file, makePngOfSize(300'000, 4));
    CommandResult result = runCommand({curlBinary(), "-sS", "-o", "/dev/null", "-w", "%{http_code}",
                                       "-H", "Expect: 100-continue", "-F", "file=@" + file,
                                       "http://127.0.0.1:" + std::to_string(port()) + "/api.php"});
    EXPECT_EQ(result.output, "413");
    expectNothingStored();
}

TEST_F(HostileInputTest, ATruncatedUploadGets400) {
    std::string request = clientRequest("h", "screenshot.png", makePngOfSize(30'000, 5));
    // The client stops half-way and closes its side.
    EXPECT_EQ(statusOf(request.substr(0, request.size() / 2)), 400);
    expectNothingStored();
}

TEST_F(HostileInputTest, AMissingClosingDelimiterGets400) {
    std::string body = filePart(makePng(10, 10, 6));
    body.erase(body.rfind("--XyZ--"));
    EXPECT_EQ(statusOf(uploadRequest("XyZ", body)), 400);
    expectNothingStored();
}

TEST_F(HostileInputTest, AWrongBoundaryGets400) {
    std::string body = filePart(makePng(10, 10, 7));
    EXPECT_EQ(statusOf(uploadRequest("SomethingElse", body)), 400);
    std::string noBoundary =
        "POST /api.php HTTP/1.1\r\nHost: h\r\nContent-Type: multipart/form-data\r\n"
        "Content-Length: " +
        std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    EXPECT_EQ(statusOf(noBoundary), 400);
    expectNothingStored();
}

TEST_F(HostileInputTest, AFormWithoutTheFilePartGets400) {
    EXPECT_EQ(statusOf(uploadRequest("XyZ", filePart(makePng(10, 10, 8), "image"))), 400);
    EXPECT_EQ(statusOf(uploadRequest("XyZ", multipartBody("XyZ", {}))), 400);
    std::string twice = multipartBody("XyZ", {{"file", "a.png", "image/png", makePng(4, 4, 1)},
                                              {"file", "b.png", "image/png", makePng(4, 4, 2)}});
    EXPECT_EQ(statusOf(uploadRequest("XyZ", twice)), 400);
    expectNothingStored();
}

TEST_F(HostileInputTest, ABodyThatIsNoFormGets400) {
    std::string png = makePng(10, 10, 9);
    std::string raw =
        "POST /api.php HTTP/1.1\r\nHost: h\r\nContent-Type: image/png\r\n"
        "Content-Length: " +
        std::to_string(png.size()) + "\r\nConnection: close\r\n\r\n" + png;
    EXPECT_EQ(statusOf(raw), 400);
    expectNothingStored();
}

TEST_F(HostileInputTest, PathTraversalAndOddNamesAre404) {
    std::string link = textAfterLastBlankLine(
        roundTrip(port(), clientRequest("h", "screenshot.png", makePng(3, 3, 10))));
    std::string name = pathOfLink(link).substr(1);
    std::string id = name.substr(0, 20);
    ASSERT_EQ(httpGet(port(), "/" + name).status, 200);

    const std::vector<std::string> targets = {
        "/",
        "/api.php",
        "/delete.key",
        "/../delete.key",
        "/..%2Fdelete.key",
        "/%2e%2e/%2e%2e/%2e%2e/etc/passwd",
        "/../../../../etc/passwd",
        "//etc/passwd",
        "/images/",
        "/images/" + name,
        "/incoming/",
        "/images/../delete.key",
        "/" + name + "/",
        "/" + name + "%00.png",
        "/" + name + "/..",
        "/" + id + ".PNG",
        "/" + id + ".jpg",
        "/" + id + ".gif",
        "/" + id + ".png.png",
        "/" + id.substr(1) + ".png",
        "/" + id + "A.png",
        "/" + id.substr(0, 19) + "%2F.png",
        "/" + id.substr(0, 19) + "..png",
        "/delete/" + name,
        "/delete/" + name + "/",
        "/delete/../delete.key/x",
    };
    for (const auto& target : targets) {
        std::string raw = roundTrip(
            port(), "GET " + target + " HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n", false);
        HttpResponse response = parseResponse(raw);
        EXPECT_EQ(response.status, 404) << target << "\n" << raw;
        EXPECT_EQ(response.body, "not found") << target;
    }
    EXPECT_EQ(storedImages(), std::vector<std::string>{name});
}

TEST_F(HostileInputTest, MalformedRequestsGetTheirStatus) {
    EXPECT_EQ(statusOf("GARBAGE\r\n\r\n"), 400);
    EXPECT_EQ(statusOf("BREW /api.php HTTP/1.1\r\nHost: h\r\n\r\n"), 400);
    EXPECT_EQ(statusOf("GET /x HTTP/9.9\r\nHost: h\r\n\r\n"), 400);
    EXPECT_EQ(statusOf("GET /" + std::string(9000, 'a') + " HTTP/1.1\r\nHost: h\r\n\r\n"), 414);
    std::string manyHeaders = "GET /x HTTP/1.1\r\nHost: h\r\n";
    for (int i = 0; i < 2000; ++i)
        manyHeaders +=
            "X-Filler-" + std::to_string(i) + ": 0123456789012345678901234567890123456789\r\n";
    EXPECT_EQ(statusOf(manyHeaders + "\r\n"), 431);
    expectNothingStored();
}
