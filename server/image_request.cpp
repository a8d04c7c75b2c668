#include "image_request.h"

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// Decimal digits only, at most 18 of them so that no sum below can overflow.
bool parsePosition(std::string_view text, std::uint64_t* out) {
    if (text.empty() || text.size() > 18) return false;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    *out = value;
    return true;
}

}  // namespace

RangeAnswer resolveRange(std::string_view header, std::uint64_t size, ByteRange* range) {
    header = trimmed(header);
    constexpr std::string_view kUnit = "bytes=";
    if (header.size() <= kUnit.size() || header.substr(0, kUnit.size()) != kUnit) {
        return RangeAnswer::Whole;
    }
    std::string_view bounds = trimmed(header.substr(kUnit.size()));
    std::size_t dash = bounds.find('-');
    if (dash == std::string_view::npos || bounds.find(',') != std::string_view::npos) {
        return RangeAnswer::Whole;
    }
    std::string_view firstText = trimmed(bounds.substr(0, dash));
    std::string_view lastText = trimmed(bounds.substr(dash + 1));
    std::uint64_t first = 0, last = 0;
    if (firstText.empty()) {
        // "-N": the last N bytes.
        if (!parsePosition(lastText, &last)) return RangeAnswer::Whole;
        if (last == 0 || size == 0) return RangeAnswer::Unsatisfiable;
        first = last >= size ? 0 : size - last;
        last = size - 1;
    } else {
        if (!parsePosition(firstText, &first)) return RangeAnswer::Whole;
        if (lastText.empty()) {
            last = UINT64_MAX;
        } else if (!parsePosition(lastText, &last) || last < first) {
            return RangeAnswer::Whole;
        }
        if (first >= size) return RangeAnswer::Unsatisfiable;
        if (last >= size) last = size - 1;
    }
    range->offset = first;
    range->length = last - first + 1;
    return RangeAnswer::Partial;
}

std::string contentRangeValue(const ByteRange& range, std::uint64_t size) {
    return "bytes " + std::to_string(range.offset) + "-" +
           std::to_string(range.offset + range.length - 1) + "/" + std::to_string(size);
}

bool etagListMatches(const std::string& ifNoneMatch, const std::string& etag) {
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = ifNoneMatch.find(',', start);
        std::string tag(trimmed(ifNoneMatch.substr(start, comma - start)));
        if (tag.rfind("W/", 0) == 0) tag.erase(0, 2);
        if (tag == "*" || tag == etag) return true;
        if (comma == std::string::npos) return false;
        start = comma + 1;
    }
}
