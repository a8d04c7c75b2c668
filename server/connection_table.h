// What the service knows about each open connection, apart from the HTTP library: the client's
// address, for the per-address limit; the deadlines the library cannot enforce itself; and how
// fast each head and body arrives. The library's own time-out is reset by every byte, so a
// client trickling a header line every few seconds would hold a connection for ever; here the
// whole request head has one deadline, the whole request another, and a head or body that
// averages below the minimum rate once past its first seconds is ended too.
//
// When the table is nearly full, every new connection makes room by shedding the least useful
// one: first a connection that has not finished its head (idle keep-alive ones included),
// oldest first; failing that, a request arriving below the minimum rate, slowest first. Heads
// younger than a tenth of a second, requests arriving at a fair rate and answers being sent are
// never shed. So a crowd of silent or slow clients, from however many addresses, cannot keep
// out a client that sends a whole request promptly: its head is in at once, and then it is a
// fast request.
//
// An ended connection is shut down (not closed) through a duplicate of its descriptor: the
// library then sees the end of the stream and closes the connection in its own time, while the
// duplicate guarantees that the descriptor shut down is still that connection's. A request's
// rate is counted from the start of its head, in the kernel's count of bytes received on the
// socket (TCP_INFO): the library hands over a head only once it is whole, often with the body
// already behind it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "server_defaults.h"
#include "trusted_addresses.h"
#include "unique_fd.h"

struct ConnectionRules {
    std::size_t perAddressLimit = defaults::kMaxConnectionsPerIp;
    TrustedAddresses trusted;
    std::chrono::milliseconds headTimeout = defaults::kHeaderTimeout;
    std::chrono::milliseconds requestTimeout = defaults::kRequestTimeout;
    std::uint64_t minRate = defaults::kMinRate;  // bytes per second
    std::chrono::milliseconds minRateGrace = defaults::kMinRateGrace;
    // From this many open connections on, each new one sheds another.
    std::size_t shedFrom = std::numeric_limits<std::size_t>::max();
};

class ConnectionTable {
  public:
    using Clock = std::chrono::steady_clock;

    explicit ConnectionTable(const ConnectionRules& rules) : rules_(rules) {}

    // Whether a new connection from `address` stays within the per-address limit. When the
    // table is nearly full, makes room for it by shedding one connection, if one may be shed.
    bool admit(const std::string& address, Clock::time_point now);

    // `key` identifies the connection; `fd` is its socket, which is duplicated, not taken.
    void opened(const void* key, int fd, const std::string& address, Clock::time_point now);
    // The head of a request has fully arrived: from now on the request deadline applies.
    void headArrived(const void* key, Clock::time_point now);
    // The whole request is in, or an answer is queued early: from now on the work is the
    // service's, then the client's reading, which the rate rules leave alone.
    void answering(const void* key);
    // A request is answered; on a kept-alive connection the next head's deadline starts now.
    void requestDone(const void* key, Clock::time_point now);
    void closed(const void* key);

    // Shuts down every connection past its deadline or below the minimum rate, takes note of the
    // slow requests that room may be made from, and sheds down to the threshold what the last
    // newcomers could not; returns how many were shut down for their deadline or rate.
    std::size_t expire(Clock::time_point now);

    std::size_t requestsInProgress() const;
    std::size_t connections() const;
    // Connections shed to make room, since the start.
    std::uint64_t shedCount() const;

  private:
    enum class Phase { Head, Body, Answer };
    struct Entry {
        UniqueFd socket;
        std::string address;
        Clock::time_point deadline;
        Phase phase = Phase::Head;
        Clock::time_point phaseStart;
        Clock::time_point requestStart;  // when its head began: the rate counts from here
        std::uint64_t bytesAtRequestStart = 0;
        bool shutDown = false;
    };
    using HeadOrder = std::set<std::pair<Clock::time_point, const void*>>;

    void startPhase(Entry& entry, const void* key, Phase phase, Clock::time_point now);
    void shutDown(Entry& entry, const void* key);
    bool shedOne(Clock::time_point now);
    // Average bytes a second since the request began, counting at least a second.
    double rate(const Entry& entry, Clock::time_point now) const;

    ConnectionRules rules_;
    mutable std::mutex mutex_;
    std::unordered_map<const void*, Entry> entries_;
    std::unordered_map<std::string, std::size_t> perAddress_;
    HeadOrder heads_;  // connections in their head phase, oldest first
    // Requests past their head and below the minimum rate at the last sweep, slowest last, with
    // their phase's start.
    std::vector<std::pair<const void*, Clock::time_point>> slowBodies_;
    std::size_t shutDownCount_ = 0;  // entries shut down but not yet closed
    std::uint64_t shed_ = 0;
};
