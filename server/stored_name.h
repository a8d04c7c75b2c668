// Names of stored images: a random id of kIdChars base64url characters, a dot and the extension
// of the image's kind, e.g. "q3Xv0R1dmVnYWZ5c2pk.png". The name is the image's whole identity:
// the path of its link, its file name in the images directory and its ETag.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "image_kind.h"

// 120 bits from the kernel's random source: far beyond guessing or collision, and a whole
// number of base64 groups, so every character carries 6 random bits.
constexpr std::size_t kIdBytes = 15;
constexpr std::size_t kIdChars = 20;

// A fresh name for an image of `kind`, or "" when the random source fails.
std::string newStoredName(ImageKind kind);

// The kind named by `name` when it is exactly an id, a dot and "png" or "jpg"; Unknown for
// anything else. A pure text check, so requests for other paths never reach the filesystem.
ImageKind parseStoredName(std::string_view name);
