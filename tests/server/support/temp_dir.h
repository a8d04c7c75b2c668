// A fresh directory per test, removed with everything in it when the test ends.
#pragma once

#include <cstddef>
#include <string>

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

// How many entries `dir` holds; 0 when it does not exist.
std::size_t countEntries(const std::string& dir);

std::string readFile(const std::string& path);
// How many files the servers' folders of `dataDir`/incoming hold.
std::size_t incomingFiles(const std::string& dataDir);
