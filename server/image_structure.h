// Whether an upload really is one whole PNG or JPEG file, judged from its structure as the bytes
// stream in, without decoding a single pixel. The first bytes alone (image_kind.h) cannot tell
// an image from an HTML page that starts like one, and a stored file is served with an image's
// type for good.
//
//   PNG:  the signature; IHDR first, 13 bytes long; every chunk's CRC right; at least one IDAT;
//         IEND last, with nothing after it.
//   JPEG: SOI; well-formed marker segments (each with its length) and a frame header before the
//         first SOS; entropy-coded data in which FF is only ever stuffed or a marker; further
//         segments and scans as progressive files have them; EOI at the very end.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image_kind.h"

class ImageStructure {
  public:
    explicit ImageStructure(ImageKind kind);

    // The next bytes of the file. false once they can no longer belong to a well-formed image;
    // every later call then returns false too.
    bool feed(const unsigned char* data, std::size_t size);

    // Whether the bytes fed so far are one complete image and nothing more.
    bool complete() const { return state_ == State::Done; }

  private:
    enum class State {
        // PNG
        PngSignature,
        PngChunkHead,
        PngChunkData,
        PngChunkCrc,
        // JPEG
        JpegSoi,
        JpegMarker,      // an FF is due
        JpegMarkerCode,  // after FF: a code, or fill bytes
        JpegLength,      // the two length bytes of a segment
        JpegSegment,     // the segment's contents
        JpegEntropy,     // scan data
        JpegEntropyFf,   // an FF inside scan data
        // both
        Done,
        Failed,
    };

    std::size_t feedPng(const unsigned char* data, std::size_t size);
    std::size_t feedJpeg(const unsigned char* data, std::size_t size);
    bool pngChunkHeadComplete();
    bool jpegMarkerCode(unsigned char code);
    bool jpegSegmentLength();

    State state_;
    unsigned char collected_[8] = {};
    std::size_t collectedSize_ = 0;
    std::uint32_t remaining_ = 0;  // bytes of the chunk's data or the segment's contents left
    std::uint32_t crc_ = 0;
    bool firstChunk_ = true;
    bool lastChunk_ = false;     // the chunk being read is IEND
    bool sawImageData_ = false;  // PNG: an IDAT; JPEG: a frame header (SOFn)
    bool sawScan_ = false;       // JPEG: an SOS
    unsigned char segmentCode_ = 0;
};

// The CRC-32 that PNG chunks carry (ISO 3309, as zlib's crc32), continued from `crc`.
std::uint32_t pngCrc(std::uint32_t crc, const unsigned char* data, std::size_t size);
