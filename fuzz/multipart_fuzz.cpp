// The service's multipart/form-data reader, fed as the network would: the first line is the
// Content-Type header, the rest the body, cut into pieces whose sizes come from the input too.
// Whatever arrives, the part data handed on adds up to no more than the body.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "multipart_reader.h"

namespace {

struct CountingHandler : MultipartHandler {
    std::size_t parts = 0, bytes = 0;  // parts counted only to give the calls something to do
    void beginPart(const std::string&) override { ++parts; }
    void partData(const char*, std::size_t size) override { bytes += size; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t lineEnd = input.find('\n');
    if (lineEnd == std::string::npos) return 0;
    std::string boundary = multipartBoundary(std::string_view(input).substr(0, lineEnd));
    if (boundary.empty()) return 0;
    const std::string body = input.substr(lineEnd + 1);
    MultipartReader reader(boundary);
    CountingHandler handler;
    // Piece sizes from the body's own bytes keep every split reachable without a second input.
    for (std::size_t at = 0, step = 1; at < body.size(); at += step) {
        step = 1 + std::size_t(static_cast<unsigned char>(body[at])) % 97;
        if (at + step > body.size()) step = body.size() - at;
        if (!reader.feed(body.data() + at, step, handler)) break;
    }
    if (handler.bytes > body.size()) std::abort();
    return 0;
}
