#include "upload/answer.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

const std::string kOk = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";

}  // namespace

TEST(ExtractLink, TakesTheTextAfterTheLastHeaderEndUntrimmed) {
    for (auto [answer, link] : std::initializer_list<std::pair<std::string, std::string>>{
             {kOk + "http://h/Ab3.png\r\n", "http://h/Ab3.png\r\n"},
             {kOk + "first\r\n\r\ntail ", "tail "},
             {"HTTP/1.0 200 OK", "P/1.0 200 OK"},  // without one, from the fourth byte on
             {kOk, ""}})
        EXPECT_EQ(link, extractLink(answer)) << answer;
}

TEST(AcceptedLink, IsTheTrimmedBodyOfASuccessfulAnswer) {
    const std::string longest = "http://h/" + std::string(2048 - 9, 'a');
    for (auto [answer, link] : std::initializer_list<std::pair<std::string, std::string>>{
             {kOk + "HTTPS://H.example:8080/a?b=c#d \t\r\n", "HTTPS://H.example:8080/a?b=c#d"},
             {"HTTP/1.1 201 Created\r\n\r\nhttp://user@h/x", "http://user@h/x"},
             {"HTTP/1.0 200\r\n\r\nhttps://h", "https://h"},
             {kOk + longest, longest}})
        EXPECT_EQ(link, acceptedLink(answer)) << answer;
}

// Whatever the user could paste with effects they never chose (a second line runs in a
// terminal; escape sequences, spaces, non-ASCII, other schemes), or that is no link at all: no
// host, 2049 bytes, nothing left after trimming, no successful status, no header end.
TEST(AcceptedLink, RefusesAnythingButAPlainWebLink) {
    for (const char* body :
         {"http://h/x\r\nrm -rf ~\r\n", "http://h/\x1b]0;pwned\x07", "http://h/a b",
          "http://h/\xc3\xa9", "javascript:alert(1)", "file:///etc/passwd", "ftp://h/x", "http://",
          "http:///x", "https://user@/x", "http://:80/", " \r\n", ""})
        EXPECT_EQ("", acceptedLink(kOk + body)) << body;
    EXPECT_EQ("", acceptedLink(kOk + "http://h/" + std::string(2048 - 8, 'a')));
    for (const char* answer :
         {"HTTP/1.0 500 Internal Server Error\r\n\r\nhttp://h/x",
          "HTTP/1.0 302 Found\r\n\r\nhttp://h/x", "HTTP/1.0 2000 OK\r\n\r\nhttp://h/x",
          "SPAM/1.0 200 OK\r\n\r\nhttp://h/x", "HTTP/1.0 200 OK\r\nhttp://h/x", "http://h/x"})
        EXPECT_EQ("", acceptedLink(answer)) << answer;
}

TEST(AnswerIsCutOff, WhenFewerBodyBytesArrivedThanContentLengthSays) {
    for (auto [answer, cutOff] : std::initializer_list<std::pair<std::string, bool>>{
             {"HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nhttp://h/x", false},
             {"HTTP/1.0 200 OK\r\ncontent-length:  9\r\n\r\nhttp://h/x", false},
             {"HTTP/1.0 200 OK\r\nCONTENT-LENGTH: 11\r\n\r\nhttp://h/x", true},
             {"HTTP/1.0 200 OK\r\nContent-Length: ten\r\n\r\nhttp://h/x", true},
             {"HTTP/1.0 200 OK\r\nX-Content-Length: 99\r\n\r\nhttp://h/x", false},
             {"HTTP/1.0 200 OK\r\n\r\nhttp://h/x", false}})
        EXPECT_EQ(cutOff, answerIsCutOff(answer)) << answer;
}
