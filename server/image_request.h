// What a GET of a stored image may ask for besides the image itself: one byte range (resumed
// downloads, video-style previews) and a revalidation of a cached copy.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct ByteRange {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

enum class RangeAnswer { Whole, Partial, Unsatisfiable };

// Reads a Range header ("" when there is none). One satisfiable range gives Partial and fills
// `range`; a range starting past the end, or an empty suffix, is Unsatisfiable. Anything this
// does not understand, including several ranges, gets the whole image, as HTTP lets a server
// ignore a Range header: a malformed one must never cost the client its image.
RangeAnswer resolveRange(std::string_view header, std::uint64_t size, ByteRange* range);

// "bytes FIRST-LAST/SIZE"
std::string contentRangeValue(const ByteRange& range, std::uint64_t size);

// If-None-Match holds "*" or a list of entity tags; as the header's weak comparison demands,
// W/"x" matches "x".
bool etagListMatches(const std::string& ifNoneMatch, const std::string& etag);
