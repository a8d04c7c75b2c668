// Winsock on its own, against peers on 127.0.0.1 made here with Winsock itself: the codes it
// records, its time-outs, and whole exchanges. Runs under Wine.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "upload/socket.h"

namespace {

constexpr int kStallMs = 500;

// A client socket connected to a peer accepted here, on a free port of 127.0.0.1.
class SocketWin32Test : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(startSockets(), 1);
        SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{AF_INET, 0, {}, {}};
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof address;
        bind(listener, reinterpret_cast<sockaddr*>(&address), size);
        int small = 16384;  // the peer's receive buffer: its slow reading must show
        setsockopt(listener, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&small), sizeof small);
        listen(listener, 1);
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
        socket_ = openSocket();
        ASSERT_EQ(connectSocket(socket_, address.sin_addr.s_addr, ntohs(address.sin_port), 5000),
                  1);
        peer_ = accept(listener, nullptr, nullptr);
        closesocket(listener);
        // Nothing listens there now: a second connection is refused.
        SocketHandle refused = openSocket();
        EXPECT_EQ(connectSocket(refused, address.sin_addr.s_addr, ntohs(address.sin_port), 5000),
                  0);
        EXPECT_EQ(lastSocketError(), WSAECONNREFUSED);
        closeSocket(refused);
    }
    void TearDown() override {
        closeSocket(socket_);
        closesocket(peer_);
        stopSockets();
    }
    int receive(char* buffer, int size, std::int64_t deadlineMs) {
        return receiveBytes(socket_, buffer, size, StepLimit{kStallMs, deadlineMs});
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

// A peer that reads a request 32 times the send buffer slowly but steadily, taking many stall
// times in all, gets all of it; then its answer arrives until it closes.
TEST_F(SocketWin32Test, SlowButSteadyPeerGetsTheWholeRequestAndAnswers) {
    std::string request(2 << 20, 'r'), received;
    std::thread peer([&] {
        char chunk[8192];
        for (int n; (n = recv(peer_, chunk, sizeof chunk, 0)) > 0; Sleep(10))
            received.append(chunk, n);
        send(peer_, "answer", 6, 0);
        shutdown(peer_, SD_SEND);
    });
    std::int64_t start = steadyMs(), deadline = start + 60000;
    EXPECT_EQ(sendBytes(socket_, request.data(), int(request.size()), 64 * 1024,
                        StepLimit{kStallMs, deadline}),
              1);
    shutdownSending(socket_);
    char answer[16];
    EXPECT_EQ(receive(answer, sizeof answer, deadline), 6);
    EXPECT_EQ(receive(answer, sizeof answer, deadline), 0);
    peer.join();
    EXPECT_TRUE(received == request) << received.size();
    EXPECT_GT(steadyMs() - start, 3 * kStallMs);
}

// Silence fails after the stall time, sending and receiving; a trickle fails at the deadline.
TEST_F(SocketWin32Test, StalledStepsAndTrickleTimeOut) {
    std::string bytes(16 << 20, 'x');
    EXPECT_EQ(sendBytes(socket_, bytes.data(), int(bytes.size()), 64 * 1024,
                        StepLimit{kStallMs, steadyMs() + 60000}),
              0);
    EXPECT_EQ(lastSocketError(), WSAETIMEDOUT);
    char buffer[16];
    std::int64_t start = steadyMs();
    EXPECT_EQ(receive(buffer, sizeof buffer, start + 60000), -1);
    EXPECT_EQ(lastSocketError(), WSAETIMEDOUT);
    EXPECT_GE(steadyMs() - start, kStallMs - 20);
    std::thread trickle([this] {
        for (int i = 0; i < 20 && send(peer_, "x", 1, 0) == 1; ++i) Sleep(100);
    });
    start = steadyMs();
    while (receive(buffer, sizeof buffer, start + 700) > 0) {
    }
    EXPECT_EQ(lastSocketError(), WSAETIMEDOUT);
    EXPECT_LT(steadyMs() - start, 700 + 400);
    trickle.join();
}

}  // namespace
