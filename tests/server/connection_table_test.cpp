// The connection table's choices on real loopback sockets (rates come from the kernel's byte
// counts), with time passed in.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "connection_table.h"
#include "http_client.h"
#include "listen_socket.h"

namespace {

// Whether the server's end was shut down: the client reads the end of the stream.
bool shutDown(int client, int waitMs = 0) {
    pollfd ready{client, POLLIN, 0};
    char byte;
    return ::poll(&ready, 1, waitMs) == 1 && ::recv(client, &byte, 1, MSG_DONTWAIT) == 0;
}

}  // namespace

TEST(ConnectionTable, NearlyFullItShedsOldHeadsThenSlowBodiesAndEndsSlowOnes) {
    int port = 0;
    std::string error;
    UniqueFd listener = openListeningSocket("127.0.0.1", 0, &port, &error);
    ASSERT_TRUE(listener.valid()) << error;
    enum { kOldHead, kNewHead, kSlowBody, kFastBody, kSlowHead, kCount };
    int client[kCount], server[kCount];
    for (int i = 0; i < kCount; ++i) {
        ASSERT_GE(client[i] = connectToServer(port), 0);
        server[i] = ::accept(listener.get(), nullptr, nullptr);
    }
    ConnectionRules rules;
    rules.shedFrom = 4;
    ConnectionTable table(rules);
    const ConnectionTable::Clock::time_point t0{};
    using std::chrono::seconds;
    for (int i : {kOldHead, kSlowBody, kFastBody}) table.opened(&server[i], server[i], "a", t0);
    table.opened(&server[kNewHead], server[kNewHead], "a", t0 + seconds(1));
    for (int i : {kSlowBody, kFastBody}) table.headArrived(&server[i], t0);
    ASSERT_EQ(::send(client[kFastBody], std::string(60'000, 'x').data(), 60'000, 0), 60'000);
    table.expire(t0 + seconds(2));  // the slow body: nothing in 2 s; the fast one: 30 KB/s

    int newcomers[3];
    for (int i : {kOldHead, kNewHead, kSlowBody}) {
        EXPECT_TRUE(table.admit("b", t0 + seconds(2)));
        EXPECT_TRUE(shutDown(client[i], 2000)) << i;
        table.closed(&server[i]);  // as the library does once it sees the end
        // A newcomer that sent its whole request at once (no socket: no rate to judge).
        table.opened(&newcomers[i], -1, "b", t0 + seconds(2));
        table.headArrived(&newcomers[i], t0 + seconds(2));
    }
    // A fast body is never shed, nor a head younger than 0.1 s, even when nothing else is left.
    table.opened(&server[kSlowHead], server[kSlowHead], "a", t0 + seconds(2));
    EXPECT_TRUE(table.admit("b", t0 + seconds(2) + std::chrono::milliseconds(50)));
    EXPECT_FALSE(shutDown(client[kFastBody]));
    EXPECT_FALSE(shutDown(client[kSlowHead]));

    // Past the first 5 s, a head or body slower than the minimum rate is ended.
    for (int& newcomer : newcomers) table.closed(&newcomer);
    ASSERT_EQ(::send(client[kSlowHead], "GET / HTTP/1.1\r\n", 16, 0), 16);
    EXPECT_EQ(table.expire(t0 + seconds(6)), 0u);
    EXPECT_EQ(table.expire(t0 + seconds(8)), 1u);
    EXPECT_TRUE(shutDown(client[kSlowHead], 2000));
    EXPECT_FALSE(shutDown(client[kFastBody]));
    for (int i = 0; i < kCount; ++i) ::close(client[i]), ::close(server[i]);
}
