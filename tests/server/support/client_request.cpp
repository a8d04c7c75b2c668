// client_request HOST NAME FILE: the Glimmerix client's exact upload request for FILE on standard
// output, so that shell tests send, byte for byte, what the client sends.
#include <cstdio>
#include <string>

#include "temp_dir.h"
#include "upload/request.h"

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    const std::string bytes = readFile(argv[3]);
    if (bytes.empty()) return 1;
    std::string request = buildUploadRequest(argv[1], "api.php", argv[2], bytes);
    return std::fwrite(request.data(), 1, request.size(), stdout) == request.size() ? 0 : 1;
}
