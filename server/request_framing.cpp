#include "request_framing.h"

#include <string_view>

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

}  // namespace

bool bodyFramingIsUnambiguous(const std::vector<std::string>& contentLengths,
                              bool hasTransferEncoding) {
    if (contentLengths.empty()) return true;
    if (hasTransferEncoding) return false;
    std::string_view first;
    bool seen = false;
    for (const std::string& header : contentLengths) {
        std::string_view rest = header;
        for (;;) {
            std::size_t comma = rest.find(',');
            std::string_view value = trimmed(rest.substr(0, comma));
            // Repeating one value is harmless; any second value is not.
            if (seen && value != first) return false;
            first = value;
            seen = true;
            if (comma == std::string_view::npos) break;
            rest.remove_prefix(comma + 1);
        }
    }
    return true;
}
