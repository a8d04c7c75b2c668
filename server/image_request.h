// What a GET of a stored image may ask for besides the image itself: one byte range (resumed
// downloads, video-style previews) and a revalidation of a cached copy.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct ByteRange {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

enum class RangeAnswer { Whole, Partial, Unsatisfiable };

// `ranges` as httplib parses a Range header: (first, last) byte positions, inclusive, where -1
// stands for an open end ("bytes=500-" is (500, -1), the suffix "bytes=-500" is (-1, 500)).
// A single satisfiable range gives Partial and fills `range`. Several ranges are answered with
// the whole image, which HTTP allows and which saves a multipart answer nobody needs here.
RangeAnswer resolveRange(const std::vector<std::pair<ssize_t, ssize_t>>& ranges, std::uint64_t size,
                         ByteRange* range);

// "bytes FIRST-LAST/SIZE"
std::string contentRangeValue(const ByteRange& range, std::uint64_t size);

// If-None-Match holds "*" or a list of entity tags; as the header's weak comparison demands,
// W/"x" matches "x".
bool etagListMatches(const std::string& ifNoneMatch, const std::string& etag);
