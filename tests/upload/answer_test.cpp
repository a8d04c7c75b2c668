#include "upload/answer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kOk = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";

// An answer and what is read from it.
template <typename T>
struct Read {
    std::string answer;
    T expected;
};

}  // namespace

TEST(ExtractLink, TakesTheTextAfterTheLastHeaderEndUntrimmed) {
    for (const Read<std::string>& read : std::initializer_list<Read<std::string>>{
             {kOk + "http://h/Ab3.png\r\n", "http://h/Ab3.png\r\n"},
             {kOk + "first\r\n\r\ntail ", "tail "},
             {"HTTP/1.0 200 OK", "P/1.0 200 OK"},  // without one, from the fourth byte on
             {kOk, ""}})
        EXPECT_EQ(read.expected, extractLink(read.answer)) << read.answer;
}

TEST(AcceptedLink, IsTheTrimmedBodyOfASuccessfulAnswer) {
    const std::string longest = "http://h/" + std::string(2048 - 9, 'a');
    for (const Read<std::string>& read : std::initializer_list<Read<std::string>>{
             {kOk + "HTTPS://H.example:8080/a?b=c#d \t\r\n", "HTTPS://H.example:8080/a?b=c#d"},
             {"HTTP/1.1 201 Created\r\n\r\nhttp://h/x@y", "http://h/x@y"},
             {"HTTP/1.0 200\r\n\r\nhttps://h", "https://h"},
             {kOk + longest, longest}})
        EXPECT_EQ(read.expected, acceptedLink(read.answer)) << read.answer;
}

TEST(AcceptedLink, NeedsASuccessfulStatusAndAHeaderEnd) {
    for (const char* answer :
         {"HTTP/1.0 500 Internal Server Error\r\n\r\nhttp://h/x",
          "HTTP/1.0 302 Found\r\n\r\nhttp://h/x", "HTTP/1.0 2000 OK\r\n\r\nhttp://h/x",
          "SPAM/1.0 200 OK\r\n\r\nhttp://h/x", "HTTP/1.0 200 OK\r\nhttp://h/x", "http://h/x"})
        EXPECT_EQ("", acceptedLink(answer)) << answer;
}

// Links in the plainest URL syntax, as our service and common ones give, pass. Refused, alone or as
// an answer's body: what could run in a terminal (a second line, escapes), inject markup, hide the
// real host, break a parser, or is no link (no host, too long, nothing after trimming).
TEST(IsStrictLink, AcceptsPlainWebLinksOnly) {
    for (const char* link :
         {"http://localhost/i/Ab3.png", "HTTPS://i.imgur.com/AbC12.png?x=1&y=a%2Fb#top",
          "https://files.example-host.net:8443/u/a_b~c-d.jpg", "http://127.0.0.1:8080/api.php",
          "http://[::1]/a.png", "http://[2001:db8::7:1.2.3.4]:443/", "https://h", "http://h:65535",
          "http://a.b/c,d+e=f:g@h"})
        EXPECT_TRUE(isStrictLink(link)) << link;
    const std::string longLabel = "http://" + std::string(64, 'a') + ".b/",
                      longest = "http://h/" + std::string(2048 - 8, 'a');  // 2049 bytes
                                                                           // clang-format off
    for (const std::string link : {
             "http://localhost/$(touch${IFS}pwned)`id`;|&<>{}^.png", "http://[/a.png",
             "http://localhost/\"><img/src=x/onerror=alert(1)>", "http://user@h/x", "http://h:0/",
             "http://evil.example\\@localhost/a.png", "http://h:65536/", "http://h:/", "http://-h/",
             "http://h-/", "http://a..b/", "http://h/%4", "http://h/%zz", "http://999.1.1.1/",
             "http://[1:2:3]/", "http://[::1::2]/", "ftp://h/", "http//h/", "http://h/a b",
             "http://h\t/", "http://h/x\r\nrm -rf ~\r\n", "http://h/\x1b]0;pwned\x07", "http://",
             "http://h/\xc3\xa9", "javascript:alert(1)", "file:///etc/passwd", "http:///x",
             "https://user@/x", "http://:80/", " \r\n", "", longLabel.c_str(), longest.c_str()}) {
        // clang-format on
        EXPECT_FALSE(isStrictLink(link)) << link;
        EXPECT_EQ("", acceptedLink(kOk + link)) << link;
    }
}

TEST(AnswerHead, RefusalLineAndHeaders) {
    for (const Read<std::string>& read : std::initializer_list<Read<std::string>>{
             {"HTTP/1.1 401 Unauthorized\r\n\r\n", "HTTP 401 Unauthorized"},
             {"HTTP/1.0 413 Payload \x01Too Large\r\n", "HTTP 413 Payload Too Large"},
             {"HTTP/1.0 200 OK\r\n\r\n", ""},
             {"HTTP/1.0 403 Forbidden", ""}})  // the line has not ended
        EXPECT_EQ(read.expected, refusalLine(read.answer)) << read.answer;
    const auto headers = answerHeaders("HTTP/1.0 200 OK\r\nX-Delete-Url: \thttp://h/d \r\n\r\n");
    EXPECT_EQ(1u, headers.size());
    EXPECT_TRUE(sameHeaderName("x-delete-url", headers[0].first) &&
                headers[0].second == "http://h/d");
}

TEST(AnswerIsCutOff, WhenFewerBodyBytesArrivedThanContentLengthSays) {
    for (const Read<bool>& read : std::initializer_list<Read<bool>>{
             {"HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nhttp://h/x", false},
             {"HTTP/1.0 200 OK\r\ncontent-length:  9\r\n\r\nhttp://h/x", false},
             {"HTTP/1.0 200 OK\r\nCONTENT-LENGTH: 11\r\n\r\nhttp://h/x", true},
             {"HTTP/1.0 200 OK\r\nContent-Length: ten\r\n\r\nhttp://h/x", true},
             {"HTTP/1.0 200 OK\r\nX-Content-Length: 99\r\n\r\nhttp://h/x", false},
             {"HTTP/1.0 200 OK\r\n\r\nhttp://h/x", false}})
        EXPECT_EQ(read.expected, answerIsCutOff(read.answer)) << read.answer;
}
