// Runs the real glimmerix-server binary for a test: started with fork/exec, its standard error
// captured in a file, and always stopped and reaped before the object goes away, whatever the
// test's outcome.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

struct ServerLaunch {
    std::string dataDir;
    std::string publicUrl = "http://glimmerix.test";
    std::vector<std::string> extraArgs;
    // RLIMIT_FSIZE for the server in bytes, to make its storage fail on demand; -1: unlimited.
    long long fileSizeLimit = -1;
};

class ServerProcess {
  public:
    explicit ServerProcess(ServerLaunch launch);
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Starts the server and waits until it says it is listening. false, with the reason in
    // `error`, when it does not within 5 seconds.
    bool start(std::string* error);
    int port() const { return port_; }
    bool running() const { return pid_ > 0; }

    // SIGTERM, then waits up to `patience` for the process to end. Returns its exit status, or -1
    // when it had to be killed or died from a signal.
    int stop(std::chrono::milliseconds patience = std::chrono::seconds(15));
    // SIGKILL, as in a crash, and reaps the process.
    void killHard();

    // Everything the server wrote to standard error so far.
    std::string log() const;

  private:
    ServerLaunch launch_;
    std::string logPath_;
    pid_t pid_ = -1;
    int port_ = 0;
};
