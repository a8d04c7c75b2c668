// The connection table's choices, on real loopback sockets (rates come from the kernel's byte
// counts) with time passed in.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "connection_table.h"

namespace {

using std::chrono::seconds;

// One TCP connection over loopback: the client's end and the server's.
struct Connection {
    int client = -1, server = -1;
    ~Connection() {
        ::close(client);
        ::close(server);
    }
    // Whether the server's end was shut down: the client sees the end of the stream.
    bool shutDown(int waitMs = 0) const {
        pollfd ready{client, POLLIN, 0};
        char byte;
        return ::poll(&ready, 1, waitMs) == 1 && ::recv(client, &byte, 1, MSG_DONTWAIT) == 0;
    }
};

class ConnectionTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), size);
        ::listen(listener_, 16);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
        address_ = address;
    }
    void TearDown() override { ::close(listener_); }
    void connect(Connection& c) {
        c.client = ::socket(AF_INET, SOCK_STREAM, 0);
        ASSERT_EQ(::connect(c.client, reinterpret_cast<sockaddr*>(&address_), sizeof address_), 0);
        c.server = ::accept(listener_, nullptr, nullptr);
    }
    int listener_ = -1;
    sockaddr_in address_{};
};

}  // namespace

TEST_F(ConnectionTableTest, NearlyFullItShedsOldHeadsThenSlowBodiesAndEndsSlowOnes) {
    ConnectionRules rules;
    rules.shedFrom = 4;
    ConnectionTable table(rules);
    const ConnectionTable::Clock::time_point t0{};
    Connection oldHead, newHead, slowBody, fastBody, slowHead;
    for (Connection* c : {&oldHead, &newHead, &slowBody, &fastBody, &slowHead}) connect(*c);
    table.opened(&oldHead, oldHead.server, "a", t0);
    table.opened(&newHead, newHead.server, "a", t0 + seconds(1));
    table.opened(&slowBody, slowBody.server, "a", t0);
    table.headArrived(&slowBody, t0);
    table.opened(&fastBody, fastBody.server, "a", t0);
    table.headArrived(&fastBody, t0);
    ASSERT_EQ(::send(fastBody.client, std::string(60'000, 'x').data(), 60'000, 0), 60'000);
    table.expire(t0 + seconds(2));  // slowBody: 0 bytes in 2 s; fastBody: 30 KB/s

    int newcomers[3], next = 0;
    for (Connection* shed : {&oldHead, &newHead, &slowBody}) {
        EXPECT_TRUE(table.admit("b"));
        EXPECT_TRUE(shed->shutDown(2000));
        table.closed(shed);  // as the library does once it sees the end
        // The newcomer sends its whole request at once (no socket here: no rate to judge).
        table.opened(&newcomers[next], -1, "b", t0 + seconds(2));
        table.headArrived(&newcomers[next++], t0 + seconds(2));
    }
    EXPECT_TRUE(table.admit("b"));  // a fast body is never shed, even when nothing else is left
    EXPECT_FALSE(fastBody.shutDown());

    // Past the first 5 s, a head or body slower than the minimum rate is ended.
    table.opened(&slowHead, slowHead.server, "a", t0);
    ASSERT_EQ(::send(slowHead.client, "GET / HTTP/1.1\r\n", 16, 0), 16);
    EXPECT_EQ(table.expire(t0 + seconds(4)), 0u);
    EXPECT_EQ(table.expire(t0 + seconds(6)), 1u);
    EXPECT_TRUE(slowHead.shutDown(2000));
    EXPECT_FALSE(fastBody.shutDown());
}
