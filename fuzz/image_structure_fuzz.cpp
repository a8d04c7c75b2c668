// The service's structure check of uploads: fed whole or cut at a point the input chooses, it
// must read no byte it was not given and reach the same verdict however the stream is cut.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "image_structure.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    ImageKind kind = data[0] & 1 ? ImageKind::Jpeg : ImageKind::Png;
    std::size_t cut = data[1];
    // Copies of exactly the bytes each call gets, so that reading past them is an ASan finding.
    std::vector<unsigned char> file(data + 2, data + size);
    cut = cut < file.size() ? cut : file.size();
    std::vector<unsigned char> first(file.begin(), file.begin() + cut);
    std::vector<unsigned char> rest(file.begin() + cut, file.end());
    ImageStructure whole(kind), split(kind);
    bool wholeOk = whole.feed(file.data(), file.size()) && whole.complete();
    bool splitOk = split.feed(first.data(), first.size()) && split.feed(rest.data(), rest.size()) &&
                   split.complete();
    if (wholeOk != splitOk) std::abort();
    return 0;
}
