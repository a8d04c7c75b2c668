// A one-connection HTTP service on 127.0.0.1 for the upload tests: it binds a free port, takes
// the client's request until the client shuts down its sending side, and then behaves as the
// test tells it. The thread is always stopped and joined by the destructor, so a test that
// fails half-way leaves nothing running, and the server gives up by itself after 10 s, so a
// client that would wait for ever fails its test instead of hanging it.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class LoopbackServer {
  public:
    // What the service does with the connection once the request has arrived. `stopping` turns
    // true when the server is being stopped; a behaviour that holds on must then let go.
    using Behaviour = std::function<void(int connection, const std::atomic<bool>& stopping)>;

    // Binds and listens at once, so the port is ready when the constructor returns.
    explicit LoopbackServer(Behaviour behaviour);
    // Listens with a tiny receive buffer and never accepts: the kernel takes the connection and
    // a few bytes, and then a sender blocks.
    static LoopbackServer* neverAccepting();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return port_; }
    // The request bytes as received; waits (bounded) until the client has finished sending.
    std::string request();
    int connections() const { return connections_; }

    // Answers the request with these bytes, then closes the connection.
    static Behaviour answer(const std::string& bytes);
    // Sends these bytes, then resets the connection instead of closing it.
    static Behaviour answerThenReset(const std::string& bytes);
    // Never answers; the connection stays open until the server stops.
    static Behaviour silence();
    // Closes at once without a byte.
    static Behaviour hangUp();

    // Helpers for behaviours: write all bytes; end the answer while keeping the connection.
    static void sendAll(int connection, const std::string& bytes);
    static void endAnswer(int connection);

  private:
    LoopbackServer(Behaviour behaviour, bool accepting);
    void serve();
    std::string readRequest(int connection);

    Behaviour behaviour_;
    int listener_ = -1;
    int port_ = 0;
    bool accepting_ = true;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::mutex lock_;
    std::string request_;
    bool received_ = false;
    std::thread thread_;
};

// A port on 127.0.0.1 with nothing listening: bound, then released.
int unusedLoopbackPort();
