#include "request_framing.h"

#include <strings.h>

#include <cstring>
#include <string_view>

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// RFC 9110 token characters: what a method or a field name is made of.
bool isToken(const std::string& text) {
    if (text.empty()) return false;
    for (unsigned char c : text) {
        bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (!alnum && std::string_view("!#$%&'*+-.^_`|~").find(static_cast<char>(c)) ==
                          std::string_view::npos) {
            return false;
        }
    }
    return true;
}

// libmicrohttpd joins an obs-folded continuation line onto the previous field's name
// ("Content-Length: 5" + " 7" arrives as a field "Content-Length7"), so a fold cannot be seen as
// such; a framing header folded that way shows as a name that merely starts like one.
bool extendsFramingName(const std::string& name) {
    for (const char* framing : {"Content-Length", "Transfer-Encoding"}) {
        std::size_t length = std::strlen(framing);
        if (name.size() > length && ::strncasecmp(name.c_str(), framing, length) == 0) return true;
    }
    return false;
}

// Field values may hold visible characters, spaces and tabs, and bytes from 0x80 up.
bool isFieldValue(const std::string& text) {
    for (unsigned char c : text) {
        if ((c < 0x20 && c != '\t') || c == 0x7F) return false;
    }
    return true;
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

HeadVerdict checkRequestHead(const std::string& method, const std::string& version,
                             const std::vector<HeadField>& fields) {
    if (!isToken(method)) return {400, "malformed method"};
    int hosts = 0;
    bool chunked = false;
    for (const HeadField& field : fields) {
        if (!isToken(field.name) || extendsFramingName(field.name)) {
            return {400, "malformed or folded header"};
        }
        if (!isFieldValue(field.value)) return {400, "control character in a header value"};
        if (::strcasecmp(field.name.c_str(), "Host") == 0) ++hosts;
        if (::strcasecmp(field.name.c_str(), "Transfer-Encoding") == 0) {
            if (::strcasecmp(std::string(trimmed(field.value)).c_str(), "chunked") != 0) {
                return {501, "the only transfer coding understood is chunked"};
            }
            // The library decodes chunk framing out of our sight and takes bare LF in it, as
            // nginx does too; a body whose end we cannot check is not taken at all.
            chunked = true;
        }
    }
    if (hosts > 1 || (hosts == 0 && version == "HTTP/1.1")) {
        return {400, "exactly one Host header is required"};
    }
    if (chunked) return {400, "chunked request bodies are not accepted: send Content-Length"};
    return {};
}
