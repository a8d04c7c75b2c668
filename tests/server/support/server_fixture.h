// Base for tests that run the real server: a private data directory per test, a server that
// is stopped (and must stop cleanly) when the test ends, and views of what the server stored.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "http_client.h"
#include "server_process.h"
#include "temp_dir.h"

class ServerTest : public ::testing::Test {
  protected:
    std::string dataDir() const { return temp_.path() + "/data"; }

    // Starts a server on a free port of 127.0.0.1 with `launch`; an empty dataDir means this
    // test's own.
    ::testing::AssertionResult startServer(ServerLaunch launch = {}) {
        if (launch.dataDir.empty()) launch.dataDir = dataDir();
        server_ = std::make_unique<ServerProcess>(launch);
        std::string error;
        if (!server_->start(&error)) return ::testing::AssertionFailure() << error;
        return ::testing::AssertionSuccess();
    }
    ::testing::AssertionResult startServerWithFlags(std::vector<std::string> extraArgs) {
        ServerLaunch launch;
        launch.extraArgs = std::move(extraArgs);
        return startServer(launch);
    }

    void TearDown() override {
        if (server_ && server_->running()) {
            EXPECT_EQ(server_->stop(), 0) << "the server did not stop cleanly:\n" << server_->log();
        }
    }

    int port() const { return server_->port(); }
    std::vector<std::string> storedImages() const { return listDirectory(dataDir() + "/images"); }
    // Files in the servers' folders of incoming/.
    std::vector<std::string> incomingFiles() const {
        std::vector<std::string> files;
        for (const auto& folder : listDirectory(dataDir() + "/incoming")) {
            for (const auto& file : listDirectory(dataDir() + "/incoming/" + folder)) {
                files.push_back(folder + "/" + file);
            }
        }
        return files;
    }

    TempDir temp_;
    std::unique_ptr<ServerProcess> server_;
};
