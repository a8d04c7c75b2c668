#include "upload/request.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

// The request, spelled out from the table of its pieces. The boundary is built from its parts
// so that a slip in the constant cannot pass unseen; the file holds the bytes that a careless
// text copy would lose: a zero byte, CR LF, high bytes. The body is the file length + 228.
TEST(UploadRequest, IsExactByteForByte) {
    const std::string boundary =
        "56565" + std::string(6, '-') + "THEBOUNDRY" + std::string(13, '-') + "1231232";
    for (auto [name, type, file, length] :
         {std::tuple<std::string, std::string, std::string, std::string>{
              "screenshot.jpg", "jpg", std::string("\x89PNG\0\r\n\x1a\n\xff\xd8", 11), "239"},
          {"screenshot.png", "png", "", "228"},
          {"screenshot.png", "png", std::string(100000, 'x'), "100228"}}) {
        const std::string expected =
            "POST /api.php HTTP/1.0\r\nHost: localhost\r\nUser-Agent: Marnivox Glimmerix\r\n"
            "Content-Type: multipart/form-data; boundary=" +
            boundary + "\r\nContent-Length: " + length + "\r\nConnection: close\r\n\r\n--" +
            boundary + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" + name +
            "\"\r\nContent-Transfer-Encoding: binary\r\nContent-Type: image/" + type + "\r\n\r\n" +
            file + "\r\n--" + boundary + "--\r\n";
        EXPECT_EQ(expected, buildUploadRequest("localhost", "api.php", name, file)) << name;
    }
}
