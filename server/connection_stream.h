// httplib::Stream over one accepted TCP connection, with the limits that keep a worker from
// being held by a slow or hostile client:
//   - every wait for the client to send more ends after the read time-out, every wait for it to
//     take more after the write time-out;
//   - one request, answer included, must be over within the request time-out of its start, so
//     a client trickling a byte now and then cannot hold a worker either;
//   - the request line and headers together may not exceed kHeaderBytesLimit.
// httplib reads the request line and headers a byte at a time, so reads are served from a
// buffer filled by large recv() calls. The socket is non-blocking: every wait happens in poll(),
// where the limits apply, never inside a send() that a client which stopped reading could hold
// for as long as it likes.
#pragma once

#include <httplib.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

constexpr std::size_t kHeaderBytesLimit = 64 * 1024;

struct ConnectionLimits {
    std::chrono::milliseconds read{10'000};
    std::chrono::milliseconds write{10'000};
    std::chrono::milliseconds request{120'000};
};

class ConnectionStream final : public httplib::Stream {
  public:
    ConnectionStream(int fd, const ConnectionLimits& limits);

    // Starts the request clock and the header budget for the next request.
    void beginRequest();
    // The request's headers have been parsed; what follows is its body.
    void endHeaders() { inHeaders_ = false; }

    // A wait for the client to send more ran out of time during this request.
    bool timedOut() const { return timedOut_; }
    bool headersTooLarge() const { return headersTooLarge_; }
    std::uint64_t bytesReadThisRequest() const { return bytesRead_; }
    std::uint64_t bytesWrittenThisRequest() const { return bytesWritten_; }
    // Bytes of the next request that arrived with the previous one.
    bool hasBufferedData() const { return bufferStart_ < bufferEnd_; }

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* ptr, size_t size) override;
    ssize_t write(const char* ptr, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override { return fd_; }

    // Sends `length` bytes of `file` from `offset` with sendfile(), straight from the page cache,
    // under the same limits as write(). false when the client stopped taking them.
    bool sendFile(int file, off_t offset, std::uint64_t length);

  private:
    bool waitFor(short events, std::chrono::milliseconds limit) const;
    bool pastDeadline() const;
    void markTimedOut() const;

    int fd_;
    ConnectionLimits limits_;
    mutable std::chrono::steady_clock::time_point deadline_;
    char buffer_[16 * 1024];
    std::size_t bufferStart_ = 0;
    std::size_t bufferEnd_ = 0;
    bool inHeaders_ = true;
    mutable bool timedOut_ = false;
    bool headersTooLarge_ = false;
    std::uint64_t bytesRead_ = 0;
    std::uint64_t bytesWritten_ = 0;
};
