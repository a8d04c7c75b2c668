#include "upload/request.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Spelled out from its pieces so that a slip in the constant cannot pass unseen.
const std::string kExpectedBoundary =
    "56565" + std::string(6, '-') + "THEBOUNDRY" + std::string(13, '-') + "1231232";

// A file with the bytes a careless text copy would lose: a zero byte, CR LF, high bytes.
const std::string kFileBytes("\x89PNG\0\r\n\x1a\n\xff\xd8", 11);

std::vector<std::string> requestLines(const std::string& head) {
    std::vector<std::string> lines;
    std::string::size_type start = 0, end;
    while ((end = head.find("\r\n", start)) != std::string::npos) {
        lines.push_back(head.substr(start, end - start + 2));
        start = end + 2;
    }
    return lines;
}

std::string firstLines(const std::string& request, int count) {
    std::string::size_type end = 0;
    for (int i = 0; i < count; ++i) end = request.find("\r\n", end) + 2;
    return request.substr(0, end);
}

}  // namespace

TEST(UploadRequest, BoundaryIsTheFortyOneCharacterText) {
    EXPECT_EQ(kExpectedBoundary, kBoundary);
    EXPECT_EQ(41u, std::string(kBoundary).size());
}

TEST(UploadRequest, JpegRequestIsExactByteForByte) {
    const std::string expected =
        "POST /api.php HTTP/1.0\r\n"
        "Host: localhost\r\n"
        "User-Agent: Marnivox Glimmerix\r\n"
        "Content-Type: multipart/form-data; boundary=" +
        kExpectedBoundary +
        "\r\n"
        "Content-Length: 239\r\n"
        "Connection: close\r\n"
        "\r\n"
        "--" +
        kExpectedBoundary +
        "\r\n"
        "Content-Disposition: form-data; name=\"file\"; filename=\"screenshot.jpg\"\r\n"
        "Content-Transfer-Encoding: binary\r\n"
        "Content-Type: image/jpg\r\n"
        "\r\n" +
        kFileBytes + "\r\n--" + kExpectedBoundary + "--\r\n";
    EXPECT_EQ(expected, buildUploadRequest("localhost", "api.php", "screenshot.jpg", kFileBytes));
}

TEST(UploadRequest, PngPartIsLabelledWithTheLastThreeLettersOfItsName) {
    std::string request = buildUploadRequest("localhost", "api.php", "screenshot.png", kFileBytes);
    EXPECT_NE(std::string::npos, request.find("; filename=\"screenshot.png\"\r\n"
                                              "Content-Transfer-Encoding: binary\r\n"
                                              "Content-Type: image/png\r\n\r\n"));
    EXPECT_EQ(std::string::npos, request.find("jpg"));
}

TEST(UploadRequest, EveryLineHasItsDocumentedLength) {
    std::string request =
        buildUploadRequest("example.org", "api.php", "screenshot.jpg", kFileBytes);
    std::string::size_type bodyStart = request.find("\r\n\r\n") + 4;
    std::vector<std::string> head = requestLines(request.substr(0, bodyStart));
    ASSERT_EQ(7u, head.size());
    EXPECT_EQ(24u, head[0].size());
    EXPECT_EQ(8u + 11u, head[1].size());
    EXPECT_EQ(32u, head[2].size());
    EXPECT_EQ(87u, head[3].size());
    EXPECT_EQ(18u + 3u, head[4].size());
    EXPECT_EQ(19u, head[5].size());
    EXPECT_EQ(2u, head[6].size());
    std::string::size_type fileStart = request.find("\r\n\r\n", bodyStart) + 4;
    std::vector<std::string> part = requestLines(request.substr(bodyStart, fileStart - bodyStart));
    ASSERT_EQ(5u, part.size());
    EXPECT_EQ(45u, part[0].size());
    EXPECT_EQ(72u, part[1].size());
    EXPECT_EQ(35u, part[2].size());
    EXPECT_EQ(25u, part[3].size());
    EXPECT_EQ(2u, part[4].size());
    EXPECT_EQ(kFileBytes, request.substr(fileStart, kFileBytes.size()));
    EXPECT_EQ(49u, request.size() - fileStart - kFileBytes.size());
}

TEST(UploadRequest, ContentLengthIsTheFileLengthPlus228AndCountsTheBody) {
    for (std::string::size_type n : {0u, 1u, 9u, 772u, 100000u}) {
        std::string file(n, 'x');
        std::string request = buildUploadRequest("localhost", "api.php", "screenshot.png", file);
        std::string::size_type body = request.find("\r\n\r\n") + 4;
        EXPECT_EQ(n + 228, request.size() - body) << n;
        EXPECT_NE(std::string::npos,
                  request.find("\r\nContent-Length: " + std::to_string(n + 228) + "\r\n"))
            << n;
    }
}

TEST(SplitUrl, UploadUrlGivesHostAndPathAndLosesItsScheme) {
    std::string url = "http://uploads.example/api.php", host, path;
    splitUrl(url, host, path);
    EXPECT_EQ("uploads.example/api.php", url);
    EXPECT_EQ("uploads.example", host);
    EXPECT_EQ("api.php", path);
    EXPECT_EQ("POST /api.php HTTP/1.0\r\nHost: uploads.example\r\n",
              firstLines(buildUploadRequest(host, path, "screenshot.jpg", "x"), 2));
}

TEST(SplitUrl, UrlWithoutSchemeSplitsTheSameWay) {
    std::string url = "uploads.example/api.php", host, path;
    splitUrl(url, host, path);
    EXPECT_EQ("uploads.example/api.php", url);
    EXPECT_EQ("uploads.example", host);
    EXPECT_EQ("api.php", path);
}

TEST(SplitUrl, CapitalSchemeStaysAndBecomesTheHost) {
    std::string url = "HTTP://uploads.example/api.php", host, path;
    splitUrl(url, host, path);
    EXPECT_EQ("HTTP://uploads.example/api.php", url);
    EXPECT_EQ("HTTP:", host);
    EXPECT_EQ("/uploads.example/api.php", path);
}

TEST(SplitUrl, NoPathGivesTheBareRequestLine) {
    std::string url = "http://uploads.example", host, path;
    splitUrl(url, host, path);
    EXPECT_EQ("uploads.example", host);
    EXPECT_EQ("", path);
    EXPECT_EQ("POST / HTTP/1.0\r\nHost: uploads.example\r\n",
              firstLines(buildUploadRequest(host, path, "screenshot.jpg", "x"), 2));
}

TEST(SplitUrl, SlashAtTheEndStaysInTheHost) {
    std::string url = "http://uploads.example/", host, path;
    splitUrl(url, host, path);
    EXPECT_EQ("uploads.example/", host);
    EXPECT_EQ("", path);
}

TEST(SplitUrl, TrimsSpacesOnlyAroundHostAndPath) {
    std::string url = "http://  10.0.0.7 / api.php  ", host, path;
    splitUrl(url, host, path);
    EXPECT_EQ("10.0.0.7", host);
    EXPECT_EQ("api.php", path);
    url = "http://\thost/api.php";
    splitUrl(url, host, path);
    EXPECT_EQ("\thost", host);
}
