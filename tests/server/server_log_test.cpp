#include "server_log.h"

#include <gtest/gtest.h>

#include <regex>

TEST(ServerLog, FormatsUtcTimeWithMilliseconds) {
    auto when = std::chrono::system_clock::time_point(std::chrono::milliseconds(1700000000123));
    EXPECT_EQ(formatUtcTime(when), "2023-11-14T22:13:20.123Z");
}

TEST(ServerLog, EscapesControlCharactersQuotesAndNonAscii) {
    EXPECT_EQ(sanitizeForLog("/plain-path_1.png"), "/plain-path_1.png");
    EXPECT_EQ(sanitizeForLog("a\r\nFAKE LINE"), "a\\x0D\\x0AFAKE LINE");
    EXPECT_EQ(sanitizeForLog("\x1B[31mred"), "\\x1B[31mred");
    EXPECT_EQ(sanitizeForLog("q\"uote\\"), "q\\x22uote\\x5C");
    EXPECT_EQ(sanitizeForLog("caf\xC3\xA9"), "caf\\xC3\\xA9");
}

TEST(ServerLog, KeepsDeletionTokensOutOfTheLog) {
    EXPECT_EQ(redactTarget("/delete/AbCdEfGhIjKlMnOp-_09.png/U-ZXR5rV8gyfRCJW5SYDgw"),
              "/delete/AbCdEfGhIjKlMnOp-_09.png/...");
    EXPECT_EQ(redactTarget("/delete/whatever"), "/delete/whatever");
    EXPECT_EQ(redactTarget("/AbCdEfGhIjKlMnOp-_09.png"), "/AbCdEfGhIjKlMnOp-_09.png");
}

TEST(ServerLog, OneRequestIsOneLine) {
    RequestLogEntry entry;
    entry.when = std::chrono::system_clock::time_point(std::chrono::milliseconds(1700000000123));
    entry.client = "192.0.2.7";
    entry.method = "POST";
    entry.target = "/api.php";
    entry.version = "HTTP/1.0";
    entry.status = 200;
    entry.bodyBytes = 46;
    entry.duration = std::chrono::microseconds(3300);
    entry.note = "AbCdEfGhIjKlMnOp-_09.png";
    EXPECT_EQ(formatRequestLine(entry),
              "2023-11-14T22:13:20.123Z 192.0.2.7 \"POST /api.php HTTP/1.0\" 200 46 3.3ms "
              "AbCdEfGhIjKlMnOp-_09.png");

    entry.target = "/x\nforged 200";
    entry.note.clear();
    std::string line = formatRequestLine(entry);
    EXPECT_EQ(line.find('\n'), std::string::npos) << line;
}
