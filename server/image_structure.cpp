#include "image_structure.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

const unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// JPEG marker codes this check gives a meaning to.
constexpr unsigned char kSoi = 0xD8, kEoi = 0xD9, kSos = 0xDA, kTem = 0x01;

bool isRestart(unsigned char code) {
    return code >= 0xD0 && code <= 0xD7;
}

// SOF0 to SOF15, without DHT (C4), JPG (C8) and DAC (CC), which share the range.
bool isFrameHeader(unsigned char code) {
    return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

std::uint32_t bigEndian32(const unsigned char* bytes) {
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
           std::uint32_t{bytes[2]} << 8 | bytes[3];
}

const std::array<std::uint32_t, 256>& crcTable() {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    return table;
}

}  // namespace

std::uint32_t pngCrc(std::uint32_t crc, const unsigned char* data, std::size_t size) {
    const auto& table = crcTable();
    std::uint32_t c = crc ^ 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

ImageStructure::ImageStructure(ImageKind kind)
    : state_(kind == ImageKind::Png    ? State::PngSignature
             : kind == ImageKind::Jpeg ? State::JpegSoi
                                       : State::Failed) {}

bool ImageStructure::feed(const unsigned char* data, std::size_t size) {
    while (size > 0 && state_ != State::Failed) {
        std::size_t used = 0;
        switch (state_) {
            case State::Done:  // nothing may follow the end
                state_ = State::Failed;
                break;
            case State::Failed:
                break;
            case State::PngSignature:
            case State::PngChunkHead:
            case State::PngChunkData:
            case State::PngChunkCrc:
                used = feedPng(data, size);
                break;
            default:
                used = feedJpeg(data, size);
                break;
        }
        data += used;
        size -= used;
    }
    return state_ != State::Failed;
}

// Each call consumes at least one byte unless it fails.
std::size_t ImageStructure::feedPng(const unsigned char* data, std::size_t size) {
    if (state_ == State::PngChunkData) {
        std::size_t take = std::min<std::size_t>(size, remaining_);
        crc_ = pngCrc(crc_, data, take);
        remaining_ -= static_cast<std::uint32_t>(take);
        if (remaining_ == 0) state_ = State::PngChunkCrc;
        return take;
    }
    collected_[collectedSize_++] = data[0];
    switch (state_) {
        case State::PngSignature:
            if (collected_[collectedSize_ - 1] != kPngSignature[collectedSize_ - 1]) {
                state_ = State::Failed;
            } else if (collectedSize_ == sizeof kPngSignature) {
                collectedSize_ = 0;
                state_ = State::PngChunkHead;
            }
            break;
        case State::PngChunkHead:
            if (collectedSize_ == 8 && !pngChunkHeadComplete()) state_ = State::Failed;
            break;
        case State::PngChunkCrc:
            if (collectedSize_ < 4) break;
            collectedSize_ = 0;
            if (bigEndian32(collected_) != crc_) {
                state_ = State::Failed;
            } else {
                state_ = lastChunk_ ? State::Done : State::PngChunkHead;
            }
            break;
        default:
            break;
    }
    return 1;
}

bool ImageStructure::pngChunkHeadComplete() {
    collectedSize_ = 0;
    remaining_ = bigEndian32(collected_);
    const unsigned char* type = collected_ + 4;
    if (remaining_ > 0x7FFFFFFFu) return false;
    for (int i = 0; i < 4; ++i) {
        if (!((type[i] >= 'A' && type[i] <= 'Z') || (type[i] >= 'a' && type[i] <= 'z'))) {
            return false;
        }
    }
    bool header = std::memcmp(type, "IHDR", 4) == 0;
    if (header != firstChunk_ || (header && remaining_ != 13)) return false;
    firstChunk_ = false;
    if (std::memcmp(type, "IDAT", 4) == 0) sawImageData_ = true;
    if (std::memcmp(type, "IEND", 4) == 0) {
        if (remaining_ != 0 || !sawImageData_) return false;
        lastChunk_ = true;
    }
    crc_ = pngCrc(0, type, 4);
    state_ = remaining_ > 0 ? State::PngChunkData : State::PngChunkCrc;
    return true;
}

std::size_t ImageStructure::feedJpeg(const unsigned char* data, std::size_t size) {
    unsigned char byte = data[0];
    switch (state_) {
        case State::JpegSoi:
            collected_[collectedSize_++] = byte;
            if (byte != (collectedSize_ == 1 ? 0xFF : kSoi)) {
                state_ = State::Failed;
            } else if (collectedSize_ == 2) {
                collectedSize_ = 0;
                state_ = State::JpegMarker;
            }
            return 1;
        case State::JpegMarker:
            state_ = byte == 0xFF ? State::JpegMarkerCode : State::Failed;
            return 1;
        case State::JpegMarkerCode:
            if (byte != 0xFF && !jpegMarkerCode(byte)) state_ = State::Failed;
            return 1;  // FF: a fill byte before the code
        case State::JpegLength:
            collected_[collectedSize_++] = byte;
            if (collectedSize_ == 2 && !jpegSegmentLength()) state_ = State::Failed;
            return 1;
        case State::JpegSegment: {
            std::size_t take = std::min<std::size_t>(size, remaining_);
            remaining_ -= static_cast<std::uint32_t>(take);
            if (remaining_ == 0) {
                state_ = segmentCode_ == kSos ? State::JpegEntropy : State::JpegMarker;
            }
            return take;
        }
        case State::JpegEntropy: {
            const void* ff = std::memchr(data, 0xFF, size);
            if (!ff) return size;
            state_ = State::JpegEntropyFf;
            return static_cast<std::size_t>(static_cast<const unsigned char*>(ff) - data) + 1;
        }
        case State::JpegEntropyFf:
            if (byte == 0x00 || isRestart(byte)) {
                state_ = State::JpegEntropy;  // a stuffed FF, or a restart marker
            } else if (byte != 0xFF && !jpegMarkerCode(byte)) {
                state_ = State::Failed;
            }
            return 1;
        default:
            state_ = State::Failed;
            return 0;
    }
}

// A marker outside scan data: a segment with a length follows, or the image ends.
bool ImageStructure::jpegMarkerCode(unsigned char code) {
    segmentCode_ = code;
    if (code == kTem) {
        state_ = State::JpegMarker;
        return true;
    }
    if (code == kEoi) {
        if (!sawScan_) return false;  // no scan yet: no image
        state_ = State::Done;
        return true;
    }
    if (code < 0xC0 || code == kSoi || isRestart(code)) return false;
    if (isFrameHeader(code)) sawImageData_ = true;
    if (code == kSos) {
        if (!sawImageData_) return false;  // a scan needs a frame
        sawScan_ = true;
    }
    collectedSize_ = 0;
    state_ = State::JpegLength;
    return true;
}

bool ImageStructure::jpegSegmentLength() {
    collectedSize_ = 0;
    std::uint32_t length = std::uint32_t{collected_[0]} << 8 | collected_[1];
    if (length < 2) return false;
    remaining_ = length - 2;
    if (remaining_ > 0) {
        state_ = State::JpegSegment;
    } else {
        state_ = segmentCode_ == kSos ? State::JpegEntropy : State::JpegMarker;
    }
    return true;
}
