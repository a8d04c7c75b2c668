// Winsock on its own and the transport over it, against peers on 127.0.0.1 made here with Winsock
// itself: the codes it records, its time-outs, and whole uploads. Runs under Wine.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "upload/socket.h"
#include "upload/transport.h"

namespace {

constexpr int kStallMs = 500;

// A listener on a free port of 127.0.0.1, at `address`; a small receive buffer shows slow reading.
SOCKET loopbackListener(sockaddr_in& address) {
    SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    address = sockaddr_in{AF_INET, 0, {}, {}};
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address, small = 16384;
    bind(listener, reinterpret_cast<sockaddr*>(&address), size);
    setsockopt(listener, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&small), sizeof small);
    listen(listener, 1);
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
    return listener;
}

class SocketWin32Test : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(startSockets());
        sockaddr_in address;
        SOCKET listener = loopbackListener(address);
        socket_ = openSocket();
        ASSERT_TRUE(connectSocket(socket_, address.sin_addr.s_addr, ntohs(address.sin_port), 5000));
        peer_ = accept(listener, nullptr, nullptr);
        closesocket(listener);
        // Nothing listens there now: a second connection is refused.
        SocketHandle refused = openSocket();
        EXPECT_FALSE(
            connectSocket(refused, address.sin_addr.s_addr, ntohs(address.sin_port), 5000));
        EXPECT_EQ(lastSocketError(), WSAECONNREFUSED);
        closeSocket(refused);
    }
    void TearDown() override {
        closeSocket(socket_);
        closesocket(peer_);
        stopSockets();
    }

    SocketHandle socket_ = kNoSocket;
    SOCKET peer_ = INVALID_SOCKET;
};

TEST_F(SocketWin32Test, DottedAddressesAndLookUps) {
    EXPECT_EQ(parseDottedAddress("10.1.2.3"), htonl(0x0A010203));
    EXPECT_EQ(parseDottedAddress("localhost"), kNoAddress);
    EXPECT_EQ(lookUpHost("localhost"), htonl(0x7F000001));
    EXPECT_EQ(lookUpHost("no-such-host.invalid"), kNoAddress);
    EXPECT_NE(lastSocketError(), 0);
}

// Silence fails at the time given, sending and receiving; a trickle fails at the deadline.
TEST_F(SocketWin32Test, StalledStepsAndTrickleTimeOut) {
    std::string bytes(64 * 1024, 'x');
    ASSERT_TRUE(setSendBuffer(socket_, 64 * 1024));
    while (sendSome(socket_, bytes.data(), int(bytes.size()), steadyMs() + kStallMs) > 0) continue;
    EXPECT_EQ(lastSocketError(), WSAETIMEDOUT);
    EXPECT_EQ(sendSome(socket_, bytes.data(), 1, steadyMs()), -1);  // no time left: no try
    char buffer[16];
    std::int64_t start = steadyMs();
    EXPECT_EQ(receiveSome(socket_, buffer, sizeof buffer, start + kStallMs), -1);
    EXPECT_EQ(lastSocketError(), WSAETIMEDOUT);
    EXPECT_GE(steadyMs() - start, kStallMs - 20);
    std::thread trickle([this] {
        for (int i = 0; i < 20 && send(peer_, "x", 1, 0) == 1; ++i) Sleep(100);
    });
    start = steadyMs();
    while (receiveSome(socket_, buffer, sizeof buffer, start + 700) > 0) continue;
    EXPECT_EQ(lastSocketError(), WSAETIMEDOUT);
    EXPECT_LT(steadyMs() - start, 700 + 400);
    trickle.join();
}

// A peer for one upload: reads at most `readLimit` bytes of the request, `chunk` bytes per 100 ms,
// then sends `answer` and resets the connection (SO_LINGER at 0, or a close with unread bytes).
UploadResult uploadToPeer(int chunk, std::size_t readLimit, const std::string& answer) {
    sockaddr_in address;
    SOCKET listener = loopbackListener(address);
    std::thread peer([&] {
        SOCKET connection = accept(listener, nullptr, nullptr);
        std::vector<char> buffer(static_cast<std::size_t>(chunk));
        for (std::size_t read = 0; read < readLimit; Sleep(100)) {
            int n = recv(connection, buffer.data(), chunk, 0);
            if (n <= 0) break;
            read += std::size_t(n);
        }
        send(connection, answer.data(), int(answer.size()), 0);
        Sleep(200);  // the answer leaves before the reset overtakes it
        linger abort{1, 0};
        setsockopt(connection, SOL_SOCKET, SO_LINGER, reinterpret_cast<char*>(&abort),
                   sizeof abort);
        closesocket(connection);
    });
    ConnectionSettings settings;
    settings.port = ntohs(address.sin_port);
    settings.limits = TransferLimits{30000, 1500, 20 * 1024, 3000, 1500, 64 * 1024};
    UploadResult result =
        postCapture("http://127.0.0.1/api.php", settings, {"shot.png", "shot.jpg"}, nullptr);
    peer.join();
    closesocket(listener);
    return result;
}

// Scaled down twenty times: a 6 KiB/s reader of 400 KB gets it all, and the whole answer with
// its reset after it is a link; a refusal before the request was read shows its status line.
TEST(TransportWin32, SteadyReaderResetAfterTheAnswerAndEarlyRefusal) {
    std::ofstream("shot.png", std::ios::binary) << std::string(400 * 1000, 'P');
    std::ofstream("shot.jpg", std::ios::binary) << std::string(400 * 1000 + 1, 'J');
    const std::string link = "http://localhost/i/Ab3.png";
    ASSERT_TRUE(startSockets());  // for the peer; the transport starts its own
    UploadResult result = uploadToPeer(12 * 1024, std::string::npos,
                                       "HTTP/1.0 200 OK\r\nContent-Length: 26\r\n\r\n" + link);
    EXPECT_TRUE(result.succeeded()) << int(result.failedStep) << " #" << result.errorCode;
    EXPECT_EQ(link, result.link);
    result = uploadToPeer(100, 100, "HTTP/1.1 413 Payload Too Large\r\n\r\n");
    EXPECT_EQ(UploadStep::kSend, result.failedStep);
    EXPECT_EQ("HTTP 413 Payload Too Large", result.refusal);
    stopSockets();
    for (const char* file : {"shot.png", "shot.jpg"}) std::remove(file);
}

}  // namespace
