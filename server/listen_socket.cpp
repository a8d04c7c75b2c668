#include "listen_socket.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <system_error>

namespace {

std::string describeErrno(const std::string& what, int err) {
    return what + ": " + std::error_code(err, std::generic_category()).message();
}

int portOf(int fd) {
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    return bound.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6&>(bound).sin6_port)
                                       : ntohs(reinterpret_cast<sockaddr_in&>(bound).sin_port);
}

}  // namespace

UniqueFd openListeningSocket(const std::string& address, int port, int* boundPort,
                             std::string* error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    std::string service = std::to_string(port);
    int status = ::getaddrinfo(address.c_str(), service.c_str(), &hints, &found);
    if (status != 0) {
        *error = "cannot use listen address '" + address + "': " + ::gai_strerror(status);
        return {};
    }
    std::string lastError = "no usable address for '" + address + "'";
    for (addrinfo* candidate = found; candidate; candidate = candidate->ai_next) {
        UniqueFd sock(::socket(candidate->ai_family,
                               candidate->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                               candidate->ai_protocol));
        if (!sock.valid()) {
            lastError = describeErrno("cannot create a socket", errno);
            continue;
        }
        // A restarted server must not wait for the old one's connections to time out.
        int on = 1;
        ::setsockopt(sock.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::bind(sock.get(), candidate->ai_addr, candidate->ai_addrlen) != 0) {
            lastError = describeErrno("cannot bind " + address + " port " + service, errno);
            continue;
        }
        // The kernel caps the backlog at net.core.somaxconn; asking for the most it allows lets
        // a burst of new connections wait there instead of being refused.
        if (::listen(sock.get(), SOMAXCONN) != 0) {
            lastError = describeErrno("cannot listen on " + address + " port " + service, errno);
            continue;
        }
        *boundPort = portOf(sock.get());
        ::freeaddrinfo(found);
        return sock;
    }
    ::freeaddrinfo(found);
    *error = lastError;
    return {};
}
