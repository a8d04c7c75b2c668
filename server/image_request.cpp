#include "image_request.h"

RangeAnswer resolveRange(const std::vector<std::pair<ssize_t, ssize_t>>& ranges, std::uint64_t size,
                         ByteRange* range) {
    if (ranges.size() != 1) return RangeAnswer::Whole;
    ssize_t first = ranges[0].first;
    ssize_t last = ranges[0].second;
    if (first < 0 && last < 0) return RangeAnswer::Whole;  // not a range httplib understood
    std::uint64_t from, to;                                // inclusive
    if (first < 0) {
        // The last `last` bytes.
        if (last == 0 || size == 0) return RangeAnswer::Unsatisfiable;
        std::uint64_t suffix = static_cast<std::uint64_t>(last);
        from = suffix >= size ? 0 : size - suffix;
        to = size - 1;
    } else {
        from = static_cast<std::uint64_t>(first);
        if (from >= size) return RangeAnswer::Unsatisfiable;
        to = last < 0 ? size - 1 : static_cast<std::uint64_t>(last);
        if (to < from) return RangeAnswer::Whole;  // malformed: ignored, as HTTP says
        if (to >= size) to = size - 1;
    }
    range->offset = from;
    range->length = to - from + 1;
    return RangeAnswer::Partial;
}

std::string contentRangeValue(const ByteRange& range, std::uint64_t size) {
    return "bytes " + std::to_string(range.offset) + "-" +
           std::to_string(range.offset + range.length - 1) + "/" + std::to_string(size);
}

namespace {

std::string trimmed(const std::string& text) {
    std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

}  // namespace

bool etagListMatches(const std::string& ifNoneMatch, const std::string& etag) {
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = ifNoneMatch.find(',', start);
        std::string tag = trimmed(ifNoneMatch.substr(start, comma - start));
        if (tag.rfind("W/", 0) == 0) tag.erase(0, 2);
        if (tag == "*" || tag == etag) return true;
        if (comma == std::string::npos) return false;
        start = comma + 1;
    }
}
