#include "stored_name.h"

#include "random_token.h"

std::string newStoredName(ImageKind kind) {
    const char* extension = imageExtension(kind);
    if (!extension) return {};
    std::string id = randomToken(kIdBytes);
    if (id.empty()) return {};
    return id + "." + extension;
}

ImageKind parseStoredName(std::string_view name) {
    if (name.size() != kIdChars + 4 || name[kIdChars] != '.') return ImageKind::Unknown;
    for (std::size_t i = 0; i < kIdChars; ++i) {
        if (!isBase64UrlChar(name[i])) return ImageKind::Unknown;
    }
    std::string_view extension = name.substr(kIdChars + 1);
    if (extension == "png") return ImageKind::Png;
    if (extension == "jpg") return ImageKind::Jpeg;
    return ImageKind::Unknown;
}
