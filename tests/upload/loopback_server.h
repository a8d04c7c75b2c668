// A one-connection HTTP service on a free port of 127.0.0.1: it reads each request up to the
// half-close (`readChunk` bytes per `readPauseMs`, through a small receive buffer; at most
// `readLimit`), then behaves as told. Every wait ends within 20 s: a stuck client fails, not hangs.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class LoopbackServer {
  public:
    // `stopping` turns true when the server is being stopped; a behaviour must then let go.
    using Behaviour = std::function<void(int connection, const std::atomic<bool>& stopping)>;

    explicit LoopbackServer(Behaviour behaviour, int readPauseMs = 0, int readChunk = 1 << 16,
                            std::size_t readLimit = std::string::npos);
    ~LoopbackServer();

    int port() const { return port_; }
    // The last request as received up to the client's half-close.
    std::string request();

    static Behaviour answer(const std::string& bytes);  // then closes
    static Behaviour answerAndReset(const std::string& bytes);
    static Behaviour silence();
    // Sends `bytes` one at a time, `everyMs` apart.
    static Behaviour trickle(const std::string& bytes, int everyMs);

  private:
    void serve();

    Behaviour behaviour_;
    int readPauseMs_;
    int readChunk_;
    std::size_t readLimit_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex lock_;
    std::string request_;
    std::thread thread_;
};

// A port on 127.0.0.1 with nothing listening: bound, then released.
int unusedLoopbackPort();
