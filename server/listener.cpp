#include "listener.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <system_error>
#include <thread>
#include <vector>

#include "server_log.h"

namespace {

std::string describeErrno(const std::string& what, int err) {
    return what + ": " + std::error_code(err, std::generic_category()).message();
}

// Accepted connections beyond the workers wait here; past this many per worker the kernel's
// backlog holds the rest, which costs nothing while they wait.
constexpr std::size_t kQueuedPerWorker = 8;

}  // namespace

Listener::Listener() : stopEvent_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

bool Listener::open(const std::string& address, int port, std::string* error) {
    if (!stopEvent_.valid()) {
        *error = describeErrno("cannot create an event descriptor", errno);
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    std::string service = std::to_string(port);
    int status = ::getaddrinfo(address.c_str(), service.c_str(), &hints, &found);
    if (status != 0) {
        *error = "cannot use listen address '" + address + "': " + ::gai_strerror(status);
        return false;
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
        if (::listen(sock.get(), SOMAXCONN) != 0) {
            lastError = describeErrno("cannot listen on " + address + " port " + service, errno);
            continue;
        }
        sockaddr_storage bound{};
        socklen_t length = sizeof bound;
        ::getsockname(sock.get(), reinterpret_cast<sockaddr*>(&bound), &length);
        port_ = bound.ss_family == AF_INET6
                    ? ntohs(reinterpret_cast<sockaddr_in6&>(bound).sin6_port)
                    : ntohs(reinterpret_cast<sockaddr_in&>(bound).sin_port);
        listenSocket_ = std::move(sock);
        ::freeaddrinfo(found);
        return true;
    }
    ::freeaddrinfo(found);
    *error = lastError;
    return false;
}

bool Listener::run(std::size_t threads, const std::function<void(int fd)>& serve) {
    std::vector<std::thread> workers;
    workers.reserve(threads);
    for (std::size_t i = 0; i < threads; ++i) {
        workers.emplace_back([this, &serve] { workerLoop(serve); });
    }
    bool stoppedOnRequest = acceptLoop(threads * kQueuedPerWorker);
    listenSocket_.reset();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        acceptDone_ = true;
    }
    workReady_.notify_all();
    for (auto& worker : workers) worker.join();
    return stoppedOnRequest;
}

void Listener::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    roomReady_.notify_all();
    workReady_.notify_all();
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t ignored = ::write(stopEvent_.get(), &one, sizeof one);
}

bool Listener::stopping() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stopping_;
}

bool Listener::connectionsWaiting() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return !queue_.empty();
}

bool Listener::acceptLoop(std::size_t queueLimit) {
    pollfd watched[2] = {{listenSocket_.get(), POLLIN, 0}, {stopEvent_.get(), POLLIN, 0}};
    for (;;) {
        if (::poll(watched, 2, -1) < 0) {
            if (errno == EINTR) continue;
            logMessage(describeErrno("poll on the listening socket failed", errno));
            return false;
        }
        if (watched[1].revents) return true;
        for (;;) {
            int fd = ::accept4(listenSocket_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd < 0) {
                if (errno == EINTR || errno == ECONNABORTED) continue;
                if (errno != EAGAIN && errno != EWOULDBLOCK) {
                    // Out of descriptors or memory: let connections finish before trying again.
                    logMessage(describeErrno("accept failed", errno));
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                }
                break;
            }
            // Headers and body go out in separate writes; without this the link would wait for
            // the client's delayed acknowledgement.
            int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            {
                std::unique_lock<std::mutex> lock(mutex_);
                roomReady_.wait(lock, [&] { return queue_.size() < queueLimit || stopping_; });
                queue_.push_back(fd);
            }
            workReady_.notify_one();
        }
    }
}

void Listener::workerLoop(const std::function<void(int fd)>& serve) {
    for (;;) {
        int fd;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            // Workers outlive the accept loop, so nothing it accepted can be left unserved.
            workReady_.wait(lock, [&] { return !queue_.empty() || acceptDone_; });
            if (queue_.empty()) return;
            fd = queue_.front();
            queue_.pop_front();
        }
        roomReady_.notify_one();
        try {
            serve(fd);
        } catch (const std::exception& e) {
            logMessage(std::string("connection aborted: ") + e.what());
        }
    }
}
