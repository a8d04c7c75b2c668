#include "temp_dir.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

TempDir::TempDir() : path((fs::temp_directory_path() / "glimmerix-server-XXXXXX").string()) {
    if (!::mkdtemp(path.data())) throw std::runtime_error("mkdtemp failed");
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

std::size_t countEntries(const std::string& dir) {
    std::error_code missing;
    return std::distance(fs::directory_iterator(dir, missing), fs::directory_iterator());
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::size_t incomingFiles(const std::string& dataDir) {
    std::error_code missing;
    fs::recursive_directory_iterator it(dataDir + "/incoming", missing), end;
    return std::count_if(it, end, [](const fs::directory_entry& e) { return e.is_regular_file(); });
}
