// A fresh directory per test, removed with everything in it when the test ends.
#pragma once

#include <string>
#include <vector>

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// Names of the entries in `dir` (without "." and ".."), sorted; empty when it does not exist.
std::vector<std::string> listDirectory(const std::string& dir);

std::string readFile(const std::string& path);
// "FOLDER/FILE" of every file in the servers' folders of `dataDir`/incoming.
std::vector<std::string> incomingFiles(const std::string& dataDir);
