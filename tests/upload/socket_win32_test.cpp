// The Winsock layer on its own, against listeners on 127.0.0.1 made here with Winsock itself:
// the codes it records, its time-outs, and a whole exchange. Runs under Wine.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "upload/socket.h"

namespace {

using Clock = std::chrono::steady_clock;

long long msSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A listening socket on a free port of 127.0.0.1, closed by the destructor.
class Listener {
  public:
    Listener() {
        socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof address;
        if (bind(socket_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            listen(socket_, 4) != 0 ||
            getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            ADD_FAILURE() << "cannot listen: " << WSAGetLastError();
        port_ = ntohs(address.sin_port);
    }
    ~Listener() { closesocket(socket_); }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    int port() const { return port_; }
    SOCKET accept() { return ::accept(socket_, nullptr, nullptr); }

  private:
    SOCKET socket_ = INVALID_SOCKET;
    int port_ = 0;
};

class SocketWin32Test : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(startSockets(), 1); }
    void TearDown() override {
        if (socket_ != kNoSocket) closeSocket(socket_);
        stopSockets();
    }

    SocketHandle connectTo(int port, int timeoutMs = 5000) {
        socket_ = openSocket();
        EXPECT_NE(socket_, kNoSocket);
        EXPECT_EQ(connectSocket(socket_, htonl(INADDR_LOOPBACK), port, timeoutMs), 1)
            << lastSocketError();
        return socket_;
    }

    SocketHandle socket_ = kNoSocket;
};

TEST_F(SocketWin32Test, DottedTextIsAnAddressWithoutLookUp) {
    EXPECT_EQ(parseDottedAddress("127.0.0.1"), htonl(0x7F000001));
    EXPECT_EQ(parseDottedAddress("10.1.2.3"), htonl(0x0A010203));
    EXPECT_EQ(parseDottedAddress("localhost"), kNoAddress);
}

TEST_F(SocketWin32Test, LooksUpNames) {
    EXPECT_EQ(lookUpHost("localhost"), htonl(0x7F000001));
    EXPECT_EQ(lookUpHost("no-such-host.invalid"), kNoAddress);
    EXPECT_NE(lastSocketError(), 0);
}

TEST_F(SocketWin32Test, RefusedConnectionRecordsItsCode) {
    int port;
    {
        Listener gone;
        port = gone.port();
    }
    socket_ = openSocket();
    ASSERT_NE(socket_, kNoSocket);
    EXPECT_EQ(connectSocket(socket_, htonl(INADDR_LOOPBACK), port, 5000), 0);
    EXPECT_EQ(lastSocketError(), WSAECONNREFUSED);
}

TEST_F(SocketWin32Test, SendsShutsDownAndReceivesUntilTheServiceCloses) {
    Listener listener;
    connectTo(listener.port());
    SOCKET peer = listener.accept();
    ASSERT_NE(peer, INVALID_SOCKET);
    std::thread service([peer] {
        // Reads the request to its end, then answers and closes.
        std::string request;
        char chunk[256];
        for (int n; (n = recv(peer, chunk, sizeof chunk, 0)) > 0;) request.append(chunk, n);
        std::string answer = "got " + request;
        send(peer, answer.data(), int(answer.size()), 0);
        closesocket(peer);
    });
    const std::string request = "POST /api.php HTTP/1.0\r\n\r\n";
    EXPECT_EQ(sendBytes(socket_, request.data(), int(request.size()), 5000), 1);
    shutdownSending(socket_);
    std::string answer;
    char buffer[8];
    int received;
    while ((received = receiveBytes(socket_, buffer, sizeof buffer, 5000)) > 0)
        answer.append(buffer, received);
    service.join();
    EXPECT_EQ(received, 0);
    EXPECT_EQ(answer, "got " + request);
}

TEST_F(SocketWin32Test, SilentServiceTimesOutTheReceive) {
    Listener listener;
    connectTo(listener.port());
    SOCKET peer = listener.accept();
    char buffer[16];
    Clock::time_point start = Clock::now();
    EXPECT_EQ(receiveBytes(socket_, buffer, sizeof buffer, 300), -1);
    long long waited = msSince(start);
    EXPECT_EQ(lastSocketError(), WSAETIMEDOUT);
    EXPECT_GE(waited, 250);
    EXPECT_LT(waited, 3000);
    closesocket(peer);
}

TEST_F(SocketWin32Test, SendThatCannotGoOutTimesOut) {
    Listener listener;
    connectTo(listener.port());
    SOCKET peer = listener.accept();  // accepted, but never read
    int small = 4096;
    setsockopt(peer, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&small), sizeof small);
    std::string bytes(64 << 20, 'x');
    Clock::time_point start = Clock::now();
    EXPECT_EQ(sendBytes(socket_, bytes.data(), int(bytes.size()), 300), 0);
    long long waited = msSince(start);
    EXPECT_EQ(lastSocketError(), WSAETIMEDOUT);
    EXPECT_LT(waited, 5000);
    closesocket(peer);
}

}  // namespace
