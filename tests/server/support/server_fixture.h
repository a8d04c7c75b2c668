// Base for tests of the real glimmerix-server binary: a private data directory per test, and a
// server with its standard error in a file, which must stop cleanly when the test ends.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "http_client.h"
#include "temp_dir.h"

// Asks `done` every 5 ms for up to `seconds`; whether it said yes.
bool within(int seconds, const std::function<bool()>& done);

class ServerTest : public ::testing::Test {
  protected:
    // Starts the server on a free port of 127.0.0.1 with `flags` and waits up to 5 s until it
    // says it listens. `fileSizeLimit` (RLIMIT_FSIZE, bytes) makes its storage fail on demand.
    ::testing::AssertionResult startServer(const std::vector<std::string>& flags = {},
                                           long long fileSizeLimit = -1);
    // SIGTERM, then up to 15 s for the end: the exit status, or -1 when it had to be killed.
    int stopServer();
    void TearDown() override;

    void signalServer(int signal) const;
    // Waits up to 5 s for `text` to appear in the server's log.
    bool logShows(const std::string& text) const;

    int port() const { return port_; }
    std::string workDir() const { return temp_.path; }
    std::string dataDir() const { return temp_.path + "/data"; }
    std::string log() const { return readFile(temp_.path + "/server.log"); }
    std::size_t storedImages() const { return countEntries(dataDir() + "/images"); }
    std::size_t incoming() const { return incomingFiles(dataDir()); }

  private:
    TempDir temp_;
    pid_t pid_ = -1;
    int port_ = 0;
};
