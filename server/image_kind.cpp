#include "image_kind.h"

#include <cstring>

namespace {

// Signature, then the IHDR chunk's length (always 13, big-endian) and type.
const unsigned char kPngHead[16] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n',
                                    0,    0,   0,   13,  'I',  'H',  'D',  'R'};

bool isPng(const unsigned char* head, std::size_t size) {
    return size >= sizeof kPngHead && std::memcmp(head, kPngHead, sizeof kPngHead) == 0;
}

bool isJpeg(const unsigned char* head, std::size_t size) {
    // FF D8 is the start-of-image marker; the next marker (APPn, DQT, SOFn, COM ...) starts with
    // FF and a code of C0 or above. 00 and FF are never marker codes.
    return size >= 4 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF && head[3] >= 0xC0 &&
           head[3] != 0xFF;
}

}  // namespace

ImageKind sniffImageKind(const unsigned char* head, std::size_t size) {
    if (isPng(head, size)) return ImageKind::Png;
    if (isJpeg(head, size)) return ImageKind::Jpeg;
    return ImageKind::Unknown;
}

const char* imageExtension(ImageKind kind) {
    switch (kind) {
        case ImageKind::Png:
            return "png";
        case ImageKind::Jpeg:
            return "jpg";
        case ImageKind::Unknown:
            break;
    }
    return nullptr;
}

const char* imageContentType(ImageKind kind) {
    switch (kind) {
        case ImageKind::Png:
            return "image/png";
        case ImageKind::Jpeg:
            return "image/jpeg";
        case ImageKind::Unknown:
            break;
    }
    return nullptr;
}
