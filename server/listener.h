// The listening socket, the accept loop and the pool of worker threads that serve connections.
//
// httplib's own listen loop is not used: it fixes the listen backlog at 5, which drops bursts
// of connections, and it offers no way to bound a whole request in time. Here every accepted
// connection goes into a bounded queue and one worker serves it from start to end. stop()
// closes the door, and run() returns once every connection already accepted has been served,
// so uploads in progress finish before the process exits.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "unique_fd.h"

class Listener {
  public:
    Listener();

    // Binds `address`:`port` (port 0 lets the kernel choose) and starts listening.
    bool open(const std::string& address, int port, std::string* error);
    // The port actually bound.
    int port() const { return port_; }

    // Accepts connections and hands each to `serve` on one of `threads` workers, which must
    // close it. Returns after stop() once every accepted connection has been served: true then,
    // false when accepting failed for good.
    bool run(std::size_t threads, const std::function<void(int fd)>& serve);

    // Safe from any thread; wakes run() at once.
    void stop();
    bool stopping() const;
    // Readable from the moment stop() is called, for workers that wait in poll().
    int stopEvent() const { return stopEvent_.get(); }
    // Connections are queued because every worker is busy; workers then stop keeping idle
    // connections open for more requests.
    bool connectionsWaiting() const;

  private:
    bool acceptLoop(std::size_t queueLimit);
    void workerLoop(const std::function<void(int fd)>& serve);

    UniqueFd listenSocket_;
    UniqueFd stopEvent_;
    int port_ = 0;

    mutable std::mutex mutex_;
    std::condition_variable workReady_;
    std::condition_variable roomReady_;
    std::deque<int> queue_;
    bool stopping_ = false;
    bool acceptDone_ = false;
};
