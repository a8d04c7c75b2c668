// Names of stored images as requested in links: only an exact id, a dot and an extension may
// name an image, so no request reaches the filesystem with a path of its own making.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "stored_name.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string name(reinterpret_cast<const char*>(data), size);
    ImageKind kind = parseStoredName(name);
    if (kind == ImageKind::Unknown) return 0;
    if (name.size() != kIdChars + 4 || name.find_first_of("/\\.\0", 0, 4) != kIdChars ||
        name.substr(kIdChars + 1) != imageExtension(kind))
        std::abort();
    return 0;
}
