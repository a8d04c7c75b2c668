#include "loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <chrono>

namespace {

constexpr int kPollMs = 20;
// Long enough for any healthy test, short enough that a broken one still ends.
constexpr auto kServeLimit = std::chrono::seconds(10);

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int boundPort(int socket) {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size);
    return ntohs(address.sin_port);
}

bool readable(int socket) {
    pollfd entry{socket, POLLIN, 0};
    return poll(&entry, 1, kPollMs) > 0;
}

}  // namespace

LoopbackServer::LoopbackServer(Behaviour behaviour) : LoopbackServer(std::move(behaviour), true) {}

LoopbackServer* LoopbackServer::neverAccepting() {
    return new LoopbackServer(silence(), false);
}

LoopbackServer::LoopbackServer(Behaviour behaviour, bool accepting)
    : behaviour_(std::move(behaviour)), accepting_(accepting) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int yes = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (!accepting_) {
        // Connections waiting to be accepted inherit the listener's buffer size.
        int tiny = 1;
        setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &tiny, sizeof tiny);
    }
    sockaddr_in address = loopback(0);
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener_, 4);
    port_ = boundPort(listener_);
    thread_ = std::thread([this] { serve(); });
}

LoopbackServer::~LoopbackServer() {
    stop_ = true;
    thread_.join();
}

void LoopbackServer::serve() {
    auto deadline = std::chrono::steady_clock::now() + kServeLimit;
    while (!stop_ && std::chrono::steady_clock::now() < deadline) {
        if (!accepting_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
            continue;
        }
        if (!readable(listener_)) continue;
        int connection = accept(listener_, nullptr, nullptr);
        if (connection < 0) continue;
        ++connections_;
        std::string received = readRequest(connection);
        {
            std::lock_guard<std::mutex> guard(lock_);
            request_ = received;
            received_ = true;
        }
        behaviour_(connection, stop_);
        close(connection);
    }
    // Connections still waiting to be accepted are reset, so a client stuck on one fails.
    close(listener_);
}

// Up to the client's half-close; a client that fails before sending gives the empty text.
std::string LoopbackServer::readRequest(int connection) {
    std::string received;
    char chunk[4096];
    auto deadline = std::chrono::steady_clock::now() + kServeLimit;
    while (!stop_ && std::chrono::steady_clock::now() < deadline) {
        if (!readable(connection)) continue;
        ssize_t n = recv(connection, chunk, sizeof chunk, 0);
        if (n <= 0) break;
        received.append(chunk, static_cast<std::size_t>(n));
    }
    return received;
}

std::string LoopbackServer::request() {
    auto deadline = std::chrono::steady_clock::now() + kServeLimit;
    while (std::chrono::steady_clock::now() < deadline) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (received_) return request_;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
    return "";
}

void LoopbackServer::sendAll(int connection, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = send(connection, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

void LoopbackServer::endAnswer(int connection) {
    shutdown(connection, SHUT_WR);
}

LoopbackServer::Behaviour LoopbackServer::answer(const std::string& bytes) {
    return [bytes](int connection, const std::atomic<bool>&) { sendAll(connection, bytes); };
}

LoopbackServer::Behaviour LoopbackServer::answerThenReset(const std::string& bytes) {
    return [bytes](int connection, const std::atomic<bool>&) {
        sendAll(connection, bytes);
        // A zero linger time turns the close into a reset.
        linger abort{1, 0};
        setsockopt(connection, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    };
}

LoopbackServer::Behaviour LoopbackServer::silence() {
    return [](int, const std::atomic<bool>& stopping) {
        auto deadline = std::chrono::steady_clock::now() + kServeLimit;
        while (!stopping && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    };
}

LoopbackServer::Behaviour LoopbackServer::hangUp() {
    return [](int, const std::atomic<bool>&) {};
}

int unusedLoopbackPort() {
    int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(0);
    bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int port = boundPort(socket);
    close(socket);
    return port;
}
