// What the service knows about each open connection, apart from the HTTP library: the client's
// address, for the per-address limit, and the deadlines the library cannot enforce itself. Its
// own time-out is reset by every byte, so a client trickling a header line every few seconds
// would hold a connection for ever; here the whole request head has one deadline, and the whole
// request another.
//
// An overdue connection is shut down (not closed) through a duplicate of its descriptor: the
// library then sees the end of the stream and closes the connection in its own time, while the
// duplicate guarantees that the descriptor shut down is still that connection's.
#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <unordered_map>

#include "server_defaults.h"
#include "trusted_addresses.h"
#include "unique_fd.h"

struct ConnectionRules {
    std::size_t perAddressLimit = defaults::kMaxConnectionsPerIp;
    TrustedAddresses trusted;
    std::chrono::milliseconds headTimeout = defaults::kHeaderTimeout;
    std::chrono::milliseconds requestTimeout = defaults::kRequestTimeout;
    std::uint64_t minRate = defaults::kMinRate;  // bytes per second
};

class ConnectionTable {
  public:
    using Clock = std::chrono::steady_clock;

    explicit ConnectionTable(const ConnectionRules& rules) : rules_(rules) {}

    // Whether a new connection from `address` stays within the per-address limit.
    bool admits(const std::string& address) const;

    // `key` identifies the connection; `fd` is its socket, which is duplicated, not taken.
    void opened(const void* key, int fd, const std::string& address, Clock::time_point now);
    // The head of a request has fully arrived: from now on the request deadline applies.
    void headArrived(const void* key, Clock::time_point now);
    // A request is answered; on a kept-alive connection the next head's deadline starts now.
    void requestDone(const void* key, Clock::time_point now);
    void closed(const void* key);

    // Shuts down every connection past its deadline; returns how many.
    std::size_t expire(Clock::time_point now);

    std::size_t requestsInProgress() const;
    std::size_t connections() const;

  private:
    struct Entry {
        UniqueFd socket;
        std::string address;
        Clock::time_point deadline;
        bool inRequest = false;
        bool shutDown = false;
    };

    ConnectionRules rules_;
    mutable std::mutex mutex_;
    std::unordered_map<const void*, Entry> entries_;
    std::unordered_map<std::string, std::size_t> perAddress_;
};
