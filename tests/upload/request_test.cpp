#include "upload/request.h"

#include <gtest/gtest.h>

#include <string>

// The request, spelled out from the table of its pieces. The boundary is built from its parts
// so that a slip in the constant cannot pass unseen; the file holds the bytes that a careless
// text copy would lose: a zero byte, CR LF, high bytes.
TEST(UploadRequest, JpegRequestIsExactByteForByte) {
    const std::string boundary =
        "56565" + std::string(6, '-') + "THEBOUNDRY" + std::string(13, '-') + "1231232";
    const std::string file("\x89PNG\0\r\n\x1a\n\xff\xd8", 11);
    const std::string expected =
        "POST /api.php HTTP/1.0\r\nHost: localhost\r\nUser-Agent: Marnivox Glimmerix\r\n"
        "Content-Type: multipart/form-data; boundary=" +
        boundary + "\r\nContent-Length: 239\r\nConnection: close\r\n\r\n--" + boundary +
        "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"screenshot.jpg\"\r\n"
        "Content-Transfer-Encoding: binary\r\nContent-Type: image/jpg\r\n\r\n" +
        file + "\r\n--" + boundary + "--\r\n";
    EXPECT_EQ(expected, buildUploadRequest("localhost", "api.php", "screenshot.jpg", file));
}

// The body is always the file length + 228, and its length is what the header says.
TEST(UploadRequest, ContentLengthIsTheFileLengthPlus228) {
    for (std::string::size_type n : {0u, 9u, 772u, 100000u}) {
        std::string request =
            buildUploadRequest("localhost", "api.php", "screenshot.png", std::string(n, 'x'));
        EXPECT_EQ(n + 228, request.size() - request.find("\r\n\r\n") - 4) << n;
        EXPECT_NE(std::string::npos,
                  request.find("\r\nContent-Length: " + std::to_string(n + 228) + "\r\n"));
        EXPECT_NE(std::string::npos, request.find("\"screenshot.png\"\r\n"
                                                  "Content-Transfer-Encoding: binary\r\n"
                                                  "Content-Type: image/png\r\n\r\n"));
    }
}
