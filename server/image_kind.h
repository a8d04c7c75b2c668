// The two kinds of image the service stores, told apart by their first bytes. The name and the
// declared type of an upload are never trusted: the Glimmerix client labels JPEGs "image/jpg",
// other clients send whatever their platform guesses.
#pragma once

#include <cstddef>

enum class ImageKind { Unknown, Png, Jpeg };

// How many leading bytes sniffImageKind looks at.
constexpr std::size_t kSniffBytes = 16;

// PNG: the 8-byte signature followed by the header of the IHDR chunk, which must come first.
// JPEG: a start-of-image marker (FF D8) followed by the start of another marker.
// `size` is below kSniffBytes only for a file that is shorter than that.
ImageKind sniffImageKind(const unsigned char* head, std::size_t size);

// "png" or "jpg": the extension of stored files and links. nullptr for Unknown.
const char* imageExtension(ImageKind kind);

// "image/png" or "image/jpeg". nullptr for Unknown.
const char* imageContentType(ImageKind kind);
