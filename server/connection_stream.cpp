#include "connection_stream.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/sendfile.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

void describeAddress(const sockaddr_storage& address, std::string& ip, int& port) {
    char text[INET6_ADDRSTRLEN] = "";
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        ::inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
        port = ntohs(v4.sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        if (IN6_IS_ADDR_V4MAPPED(&v6.sin6_addr)) {
            ::inet_ntop(AF_INET, &v6.sin6_addr.s6_addr[12], text, sizeof text);
        } else {
            ::inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
        }
        port = ntohs(v6.sin6_port);
    }
    ip = text;
}

}  // namespace

ConnectionStream::ConnectionStream(int fd, const ConnectionLimits& limits)
    : fd_(fd), limits_(limits) {
    beginRequest();
}

void ConnectionStream::beginRequest() {
    deadline_ = std::chrono::steady_clock::now() + limits_.request;
    inHeaders_ = true;
    timedOut_ = false;
    headersTooLarge_ = false;
    bytesRead_ = 0;
    bytesWritten_ = 0;
}

bool ConnectionStream::waitFor(short events, std::chrono::milliseconds limit) const {
    using namespace std::chrono;
    for (;;) {
        auto left = duration_cast<milliseconds>(deadline_ - steady_clock::now());
        auto wait = std::min(limit, left);
        if (wait.count() <= 0) return false;
        pollfd entry{fd_, events, 0};
        int ready = ::poll(&entry, 1, static_cast<int>(wait.count()));
        if (ready > 0) return true;  // POLLHUP and POLLERR too: the next call reports them
        if (ready == 0) return false;
        if (errno != EINTR) return false;
    }
}

bool ConnectionStream::pastDeadline() const {
    return std::chrono::steady_clock::now() >= deadline_;
}

void ConnectionStream::markTimedOut() const {
    timedOut_ = true;
    // The request is over, but its 408 answer still deserves one write time-out to go out.
    deadline_ = std::max(deadline_, std::chrono::steady_clock::now() + limits_.write);
}

bool ConnectionStream::is_readable() const {
    if (hasBufferedData()) return true;
    if (timedOut_) return false;
    if (waitFor(POLLIN, limits_.read)) return true;
    markTimedOut();
    return false;
}

bool ConnectionStream::is_writable() const {
    return waitFor(POLLOUT, limits_.write);
}

// Each call tries the socket first and waits in poll() only when it would block: most of the
// time data is there or room is free, and the wait would be a wasted system call.

ssize_t ConnectionStream::read(char* ptr, size_t size) {
    if (inHeaders_) {
        if (bytesRead_ >= kHeaderBytesLimit) {
            headersTooLarge_ = true;
            return -1;
        }
        size = std::min<std::size_t>(size, kHeaderBytesLimit - bytesRead_);
    }
    while (!hasBufferedData()) {
        if (timedOut_) return -1;
        if (pastDeadline()) {
            markTimedOut();
            return -1;
        }
        ssize_t got = ::recv(fd_, buffer_, sizeof buffer_, 0);
        if (got > 0) {
            bufferStart_ = 0;
            bufferEnd_ = static_cast<std::size_t>(got);
        } else if (got == 0) {
            return 0;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!is_readable()) return -1;
        } else if (errno != EINTR) {
            return -1;
        }
    }
    std::size_t take = std::min(size, bufferEnd_ - bufferStart_);
    std::memcpy(ptr, buffer_ + bufferStart_, take);
    bufferStart_ += take;
    bytesRead_ += take;
    return static_cast<ssize_t>(take);
}

ssize_t ConnectionStream::write(const char* ptr, size_t size) {
    for (;;) {
        if (pastDeadline()) return -1;
        // MSG_NOSIGNAL: a client that went away must cost us an error code, not the process.
        ssize_t sent = ::send(fd_, ptr, size, MSG_NOSIGNAL);
        if (sent >= 0) {
            bytesWritten_ += static_cast<std::uint64_t>(sent);
            return sent;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!is_writable()) return -1;
        } else if (errno != EINTR) {
            return -1;
        }
    }
}

bool ConnectionStream::sendFile(int file, off_t offset, std::uint64_t length) {
    while (length > 0) {
        if (pastDeadline()) return false;
        ssize_t sent = ::sendfile(fd_, file, &offset, static_cast<std::size_t>(length));
        if (sent > 0) {
            bytesWritten_ += static_cast<std::uint64_t>(sent);
            length -= static_cast<std::uint64_t>(sent);
        } else if (sent == 0) {
            return false;  // the file is shorter than it was a moment ago
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!is_writable()) return false;
        } else if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

void ConnectionStream::get_remote_ip_and_port(std::string& ip, int& port) const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    ip.clear();
    port = -1;
    if (::getpeername(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        describeAddress(address, ip, port);
    }
}

void ConnectionStream::get_local_ip_and_port(std::string& ip, int& port) const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    ip.clear();
    port = -1;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        describeAddress(address, ip, port);
    }
}
