#include "loopback_server.h"

#include <arpa/inet.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace {

constexpr int kStepMs = 10;
constexpr int kLongestMs = 20000;

int boundLoopbackSocket(int* port) {
    int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof address;
    bind(socket, reinterpret_cast<sockaddr*>(&address), size);
    getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size);
    *port = ntohs(address.sin_port);
    return socket;
}

bool readable(int socket) {
    pollfd entry{socket, POLLIN, 0};
    return poll(&entry, 1, kStepMs) > 0;
}

// Sleeps `ms` in short steps; false as soon as `stopping` is set.
bool pause(int ms, const std::atomic<bool>& stopping) {
    for (int waited = 0; waited < ms && !stopping; waited += kStepMs)
        std::this_thread::sleep_for(std::chrono::milliseconds(kStepMs));
    return !stopping;
}

void sendAll(int connection, const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        ssize_t n = send(connection, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return;
        done += std::size_t(n);
    }
}

}  // namespace

LoopbackServer::LoopbackServer(Behaviour behaviour, int readPauseMs, int readChunk,
                               std::size_t readLimit)
    : behaviour_(std::move(behaviour)),
      readPauseMs_(readPauseMs),
      readChunk_(readChunk),
      readLimit_(readLimit) {
    listener_ = boundLoopbackSocket(&port_);
    int smallBuffer = 16384;  // accepted connections inherit it
    if (readPauseMs > 0) setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &smallBuffer, sizeof(int));
    listen(listener_, 4);
    thread_ = std::thread([this] { serve(); });
}

LoopbackServer::~LoopbackServer() {
    stop_ = true;
    thread_.join();
    close(listener_);
}

void LoopbackServer::serve() {
    for (int waited = 0; !stop_ && waited < kLongestMs; waited += kStepMs) {
        int connection = readable(listener_) ? accept(listener_, nullptr, nullptr) : -1;
        if (connection < 0) continue;
        std::string received;
        char chunk[1 << 16];
        for (int idle = 0; !stop_ && idle < kLongestMs && received.size() < readLimit_;
             idle += kStepMs) {
            std::size_t most =
                std::min({sizeof chunk, std::size_t(readChunk_), readLimit_ - received.size()});
            ssize_t n = readable(connection) ? recv(connection, chunk, most, 0) : -1;
            if (n == 0) break;
            if (n > 0) received.append(chunk, std::size_t(n));
            if (n > 0 && !pause(readPauseMs_, stop_)) break;
        }
        {
            std::lock_guard<std::mutex> guard(lock_);
            request_ = received;
        }
        behaviour_(connection, stop_);
        close(connection);
    }
}

std::string LoopbackServer::request() {
    std::lock_guard<std::mutex> guard(lock_);
    return request_;
}

LoopbackServer::Behaviour LoopbackServer::answer(const std::string& bytes) {
    return [bytes](int connection, const std::atomic<bool>&) { sendAll(connection, bytes); };
}

// Closing with SO_LINGER at 0 sends a reset instead of an orderly end.
LoopbackServer::Behaviour LoopbackServer::answerAndReset(const std::string& bytes) {
    return [bytes](int connection, const std::atomic<bool>& stopping) {
        sendAll(connection, bytes);
        pause(200, stopping);  // the answer leaves before the reset overtakes it
        linger abort{1, 0};
        setsockopt(connection, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    };
}

LoopbackServer::Behaviour LoopbackServer::silence() {
    return [](int, const std::atomic<bool>& stopping) { pause(kLongestMs, stopping); };
}

LoopbackServer::Behaviour LoopbackServer::trickle(const std::string& bytes, int everyMs) {
    return [=](int connection, const std::atomic<bool>& stopping) {
        for (char byte : bytes)
            if (pause(everyMs, stopping)) sendAll(connection, std::string(1, byte));
    };
}

int unusedLoopbackPort() {
    int port = 0;
    close(boundLoopbackSocket(&port));
    return port;
}
