// A fresh directory per test, removed with everything in it when the test ends.
#pragma once

#include <cstddef>
#include <string>

struct TempDir {
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string path;
};

// How many entries `dir` holds; 0 when it does not exist.
std::size_t countEntries(const std::string& dir);

std::string readFile(const std::string& path);
// How many files the servers' folders of `dataDir`/incoming hold.
std::size_t incomingFiles(const std::string& dataDir);
