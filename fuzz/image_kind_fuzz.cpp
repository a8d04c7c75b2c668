// The service's sniffing of an upload's first bytes: it must look at no more than it is given
// and name a kind only for PNG and JPEG heads.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image_kind.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A copy of exactly `size` bytes, so that reading past them is an ASan finding.
    std::vector<unsigned char> head(data, data + size);
    ImageKind kind = sniffImageKind(head.data(), head.size());
    if (kind == ImageKind::Png && (size < 8 || std::memcmp(data, "\x89PNG\r\n\x1a\n", 8) != 0))
        std::abort();
    if (kind == ImageKind::Jpeg && (size < 2 || data[0] != 0xFF || data[1] != 0xD8)) std::abort();
    if ((kind == ImageKind::Unknown) != (imageExtension(kind) == nullptr)) std::abort();
    return 0;
}
