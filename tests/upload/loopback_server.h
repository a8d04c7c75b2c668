// A one-connection HTTP service on 127.0.0.1 for the upload tests. It binds a free port at once,
// reads each request up to the client's half-close (with `readPauseMs`, through a small receive
// buffer, at most `readChunk` bytes at a time and pausing after each read, as a slow service
// does; or only its first `readLimit` bytes, as a service refusing early does), then treats the
// connection as told. The destructor stops and joins it, and its waits end by themselves within 20
// s, so a client that would wait for ever fails its test instead of hanging it.
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
