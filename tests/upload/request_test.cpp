#include "upload/request.h"

#include <gtest/gtest.h>

#include <string>

// The boundary is built from its parts so that a slip in the constant shows; the file holds what a
// careless text copy would lose (a zero byte, CR LF, high bytes). The body is the file + 228 bytes.
TEST(UploadRequest, IsExactByteForByte) {
    const std::string boundary =
        "56565" + std::string(6, '-') + "THEBOUNDRY" + std::string(13, '-') + "1231232";
    struct Case {
        std::string name, type, file, length;
    };
    for (const Case& c :
         {Case{"screenshot.jpg", "jpg", std::string("\x89PNG\0\r\n\x1a\n\xff\xd8", 11), "239"},
          Case{"screenshot.png", "png", "", "228"},
          Case{"screenshot.png", "png", std::string(100000, 'x'), "100228"}}) {
        const std::string expected =
            "POST /api.php HTTP/1.0\r\nHost: localhost\r\nUser-Agent: Marnivox Glimmerix\r\n"
            "Content-Type: multipart/form-data; boundary=" +
            boundary + "\r\nContent-Length: " + c.length + "\r\nConnection: close\r\n\r\n--" +
            boundary + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" + c.name +
            "\"\r\nContent-Transfer-Encoding: binary\r\nContent-Type: image/" + c.type +
            "\r\n\r\n" + c.file + "\r\n--" + boundary + "--\r\n";
        EXPECT_EQ(expected, buildUploadRequest("localhost", "api.php", c.name, c.file)) << c.name;
    }
}
