// The command line, failing storage, and the default port 80.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "server_fixture.h"
#include "test_images.h"

namespace {

class OperationsTest : public ServerTest {};

}  // namespace

TEST_F(OperationsTest, HelpListsTheSettings) {
    CommandResult help = runCommand({serverBinary(), "--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* flag :
         {"--listen", "--port", "--data-dir", "--public-url", "--max-size", "--threads",
          "--read-timeout", "--write-timeout", "--request-timeout"}) {
        EXPECT_NE(help.output.find(flag), std::string::npos) << flag;
    }
}

TEST_F(OperationsTest, BadFlagsEndWithStatus2) {
    EXPECT_EQ(runCommand({serverBinary(), "--port", "http"}).exitCode, 2);
    EXPECT_EQ(runCommand({serverBinary(), "--no-such-flag", "1"}).exitCode, 2);
}

TEST_F(OperationsTest, AnUnusableDataDirectoryEndsWithStatus1) {
    writeFile(temp_.path() + "/file", "x");
    CommandResult run = runCommand({serverBinary(), "--listen", "127.0.0.1", "--port", "0",
                                    "--data-dir", temp_.path() + "/file/data"},
                                   std::chrono::seconds(5));
    EXPECT_EQ(run.exitCode, 1);
}

TEST_F(OperationsTest, ASecondServerOnTheSameDataDirectoryRefusesToStart) {
    ASSERT_TRUE(startServer());
    CommandResult second = runCommand(
        {serverBinary(), "--listen", "127.0.0.1", "--port", "0", "--data-dir", dataDir()},
        std::chrono::seconds(5));
    EXPECT_EQ(second.exitCode, 1);
}

TEST_F(OperationsTest, AFullDiskGets507AndLeavesNothing) {
    ServerLaunch launch;
    launch.fileSizeLimit = 64 * 1024;  // every file the server writes stops at 64 KiB
    ASSERT_TRUE(startServer(launch));
    std::string raw =
        roundTrip(port(), clientRequest("h", "screenshot.png", makePngOfSize(200'000, 1)));
    HttpResponse response = parseResponse(raw);
    EXPECT_EQ(response.status, 507) << raw;
    EXPECT_EQ(response.body, "the server's storage is full or failing");
    EXPECT_TRUE(storedImages().empty());
    EXPECT_TRUE(incomingFiles().empty());
    // Small uploads still fit.
    EXPECT_EQ(
        parseResponse(roundTrip(port(), clientRequest("h", "screenshot.png", makePng(10, 10, 2))))
            .status,
        200);
}

TEST_F(OperationsTest, UploadsPersistAcrossARestart) {
    ASSERT_TRUE(startServer());
    std::string png = makePng(12, 12, 3);
    std::string raw = roundTrip(port(), clientRequest("h", "screenshot.png", png));
    HttpResponse uploaded = parseResponse(raw);
    ASSERT_EQ(uploaded.status, 200);
    ASSERT_EQ(server_->stop(), 0);
    ASSERT_TRUE(startServer());
    EXPECT_EQ(httpGet(port(), pathOfLink(uploaded.body)).body, png);
    // The deletion key survived too.
    std::string deleted = roundTrip(port(),
                                    "DELETE " + pathOfLink(uploaded.header("x-delete-url")) +
                                        " HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n",
                                    false);
    EXPECT_EQ(parseResponse(deleted).status, 200);
}

// Run by CTest inside a private network namespace (in_private_network.sh), where the default
// port 80 is free; skipped elsewhere.
TEST_F(OperationsTest, ServesTheClientOnPort80ByDefault) {
    if (!std::getenv("GLIMMERIX_PRIVATE_NETWORK")) GTEST_SKIP() << "needs a private network";
    ServerLaunch launch;
    launch.port = -1;
    ASSERT_TRUE(startServer(launch));
    ASSERT_EQ(port(), 80);
    std::string png = makePng(50, 40, 4);
    std::string raw = roundTrip(80, clientRequest("127.0.0.1", "screenshot.png", png));
    std::string link = textAfterLastBlankLine(raw);
    EXPECT_TRUE(std::regex_match(link, std::regex(R"(http://glimmerix\.test/[\w-]{20}\.png)")))
        << raw;
    EXPECT_EQ(httpGet(80, pathOfLink(link)).body, png);
}
