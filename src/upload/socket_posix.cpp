// BSD sockets for the upload transport. Supports: IPv4 TCP, name look-up through getaddrinfo,
// time-outs with poll on non-blocking sockets, no SIGPIPE (MSG_NOSIGNAL).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>

#include "upload/socket.h"

namespace {

// errno is not enough: a failed name look-up reports through its own codes, and printing a
// report line in between must not be able to change what gets reported.
thread_local int recordedError = 0;

bool fail(int code) {
    recordedError = code;
    return false;
}

int fd(SocketHandle socket) {
    return static_cast<int>(socket);
}

bool setBlocking(int descriptor, bool blocking) {
    int flags = fcntl(descriptor, F_GETFL, 0);
    if (flags < 0) return false;
    flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return fcntl(descriptor, F_SETFL, flags) == 0;
}

// Waits until the socket is ready for `events`; records ETIMEDOUT when `endMs` comes first.
bool waitFor(int descriptor, short events, std::int64_t endMs) {
    pollfd entry{descriptor, events, 0};
    for (;;) {
        int ready = poll(&entry, 1, msUntil(endMs));
        if (ready > 0) return true;
        if (ready == 0 && msUntil(endMs) == 0) return fail(ETIMEDOUT);
        if (ready < 0 && errno != EINTR) return fail(errno);
    }
}

bool wouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

}  // namespace

bool startSockets() {
    return true;
}

void stopSockets() {}

int lastSocketError() {
    return recordedError;
}

std::uint32_t parseDottedAddress(const char* text) {
    in_addr address{};
    if (inet_aton(text, &address) == 0) return kNoAddress;
    return address.s_addr;
}

std::uint32_t lookUpHost(const char* name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int result = getaddrinfo(name, nullptr, &hints, &found);
    if (result != 0 || found == nullptr) {
        // getaddrinfo's own codes are negative; a system error carries errno instead.
        fail(result == EAI_SYSTEM ? errno : result);
        return kNoAddress;
    }
    std::uint32_t address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return address;
}

SocketHandle openSocket() {
    int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (descriptor < 0) {
        fail(errno);
        return kNoSocket;
    }
    return descriptor;
}

bool connectSocket(SocketHandle socket, std::uint32_t address, int port, int timeoutMs) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<std::uint16_t>(port));
    peer.sin_addr.s_addr = address;
    // A blocking connect waits as long as the kernel likes (minutes); going non-blocking for the
    // connect alone lets poll bound the wait.
    if (!setBlocking(fd(socket), false)) return fail(errno);
    int result = ::connect(fd(socket), reinterpret_cast<sockaddr*>(&peer), sizeof peer);
    if (result != 0) {
        if (errno != EINPROGRESS) return fail(errno);
        if (!waitFor(fd(socket), POLLOUT, steadyMs() + timeoutMs)) return false;
        int error = 0;
        socklen_t size = sizeof error;
        if (getsockopt(fd(socket), SOL_SOCKET, SO_ERROR, &error, &size) != 0) return fail(errno);
        if (error != 0) return fail(error);
    }
    return true;
}

bool setSendBuffer(SocketHandle socket, int bytes) {
    if (setsockopt(fd(socket), SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes) != 0)
        return fail(errno);
    return true;
}

int sendSome(SocketHandle socket, const char* bytes, int length, std::int64_t endMs) {
    for (;;) {
        if (msUntil(endMs) == 0) {
            fail(ETIMEDOUT);
            return -1;
        }
        if (!waitFor(fd(socket), POLLOUT, endMs)) return -1;
        ssize_t taken = ::send(fd(socket), bytes, std::size_t(length), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (taken > 0) return int(taken);
        if (taken < 0 && !wouldBlock(errno)) {
            fail(errno);
            return -1;
        }
    }
}

void shutdownSending(SocketHandle socket) {
    ::shutdown(fd(socket), SHUT_WR);
}

int receiveSome(SocketHandle socket, char* buffer, int capacity, std::int64_t endMs) {
    for (;;) {
        if (!waitFor(fd(socket), POLLIN, endMs)) return -1;
        ssize_t received = ::recv(fd(socket), buffer, std::size_t(capacity), MSG_DONTWAIT);
        if (received >= 0) return int(received);
        if (!wouldBlock(errno)) {
            fail(errno);
            return -1;
        }
    }
}

void closeSocket(SocketHandle socket) {
    ::close(fd(socket));
}
