#include "upload/answer.h"

#include <gtest/gtest.h>

#include <string>

TEST(ExtractLink, BodyAfterTheHeadersIsTheLinkWithItsLineBreak) {
    std::string answer =
        "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nhttp://localhost/i/Ab3.png\r\n";
    EXPECT_EQ("http://localhost/i/Ab3.png\r\n", extractLink(answer));
}

TEST(ExtractLink, OnlyTheTextAfterTheLastHeaderEndCounts) {
    EXPECT_EQ("tail ", extractLink("HTTP/1.0 200 OK\r\n\r\nfirst\r\n\r\ntail "));
}

TEST(ExtractLink, WithoutHeaderEndTheFirstThreeBytesAreDropped) {
    EXPECT_EQ("P/1.0 200 OK", extractLink("HTTP/1.0 200 OK"));
    EXPECT_EQ("", extractLink("abc"));
    EXPECT_EQ("", extractLink(""));
    EXPECT_EQ("d", extractLink("abcd"));
}

TEST(ExtractLink, HeaderEndAtTheVeryEndGivesTheEmptyLink) {
    EXPECT_EQ("", extractLink("HTTP/1.0 200 OK\r\n\r\n"));
    EXPECT_EQ("", extractLink("\r\n\r\n"));
}

TEST(AnswerHasLink, TwoHundredsWithABodyHaveALink) {
    EXPECT_TRUE(answerHasLink("HTTP/1.0 200 OK\r\n\r\nhttp://h/x"));
    EXPECT_TRUE(answerHasLink("HTTP/1.1 201 Created\r\nServer: s\r\n\r\nhttp://h/x\n"));
    EXPECT_TRUE(answerHasLink("HTTP/1.0 200\r\n\r\nhttp://h/x"));
}

TEST(AnswerHasLink, OtherStatusesHaveNone) {
    EXPECT_FALSE(answerHasLink("HTTP/1.0 500 Internal Server Error\r\n\r\noops"));
    EXPECT_FALSE(answerHasLink("HTTP/1.0 302 Found\r\n\r\nhttp://h/x"));
    EXPECT_FALSE(answerHasLink("HTTP/1.0 404 Not Found\r\n\r\n200 OK"));
    EXPECT_FALSE(answerHasLink("HTTP/1.0 2000 OK\r\n\r\nhttp://h/x"));
    EXPECT_FALSE(answerHasLink("HTTP/1.0 2x0 OK\r\n\r\nhttp://h/x"));
    EXPECT_FALSE(answerHasLink("http://h/x"));
    EXPECT_FALSE(answerHasLink("SPAM/1.0 200 OK\r\n\r\nhttp://h/x"));
}

TEST(AnswerHasLink, MissingHeaderEndOrEmptyBodyHasNone) {
    EXPECT_FALSE(answerHasLink("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n"));
    EXPECT_FALSE(answerHasLink("HTTP/1.0 200 OK\r\n\r\n"));
    EXPECT_FALSE(answerHasLink(""));
}
