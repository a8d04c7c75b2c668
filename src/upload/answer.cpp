#include "upload/answer.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace {

constexpr const char* kHeaderEnd = "\r\n\r\n";

bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

std::string lowerCase(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

// "HTTP/1.0 201 Created": the version, one space, three digits starting with 2, then a space or
// the end of the line.
bool hasSuccessStatus(const std::string& answer) {
    if (answer.compare(0, 5, "HTTP/") != 0) return false;
    std::string::size_type lineEnd = answer.find("\r\n");
    std::string line = answer.substr(0, lineEnd);
    std::string::size_type space = line.find(' ');
    if (space == std::string::npos || line.size() < space + 4) return false;
    const char* code = line.c_str() + space + 1;
    if (code[0] != '2' || !isDigit(code[1]) || !isDigit(code[2])) return false;
    return line.size() == space + 4 || line[space + 4] == ' ';
}

// Whether `value` (a Content-Length header's) is a decimal number no larger than `arrived`.
bool lengthArrived(std::string value, std::string::size_type arrived) {
    value.erase(0, value.find_first_not_of(" \t"));
    value.erase(value.find_last_not_of(" \t") + 1);
    if (value.empty() || value.size() > 9 || !std::all_of(value.begin(), value.end(), isDigit))
        return false;
    return std::stoul(value) <= arrived;
}

bool isHexDigit(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

bool isAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || isDigit(c);
}

// Splits `text` at every `separator`.
std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == separator)
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

bool isDottedIpv4(const std::string& host) {
    std::vector<std::string> parts = split(host, '.');
    if (parts.size() != 4) return false;
    for (const std::string& part : parts)
        if (part.empty() || part.size() > 3 || !std::all_of(part.begin(), part.end(), isDigit) ||
            std::stoi(part) > 255)
            return false;
    return true;
}

// A name whose last label is all digits is read by browsers as an address, so it must be one.
bool isDnsName(const std::string& host) {
    std::vector<std::string> labels = split(host, '.');
    for (const std::string& label : labels) {
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-')
            return false;
        for (char c : label)
            if (!isAlnum(c) && c != '-') return false;
    }
    const std::string& last = labels.back();
    return !std::all_of(last.begin(), last.end(), isDigit) || isDottedIpv4(host);
}

// Up to eight groups of 1 to 4 hex digits, with "::" standing for one or more zero groups at most
// once, and a dotted IPv4 address in place of the last two groups.
bool isIpv6(const std::string& text) {
    std::string::size_type gap = text.find("::");
    if (gap != std::string::npos && text.find("::", gap + 1) != std::string::npos) return false;
    std::vector<std::string> sides;
    if (gap == std::string::npos)
        sides = {text};
    else
        sides = {text.substr(0, gap), text.substr(gap + 2)};
    int groups = 0;
    for (std::size_t side = 0; side < sides.size(); ++side) {
        if (sides[side].empty()) continue;
        std::vector<std::string> parts = split(sides[side], ':');
        for (std::size_t i = 0; i < parts.size(); ++i) {
            const std::string& part = parts[i];
            const bool last = side + 1 == sides.size() && i + 1 == parts.size();
            if (last && part.find('.') != std::string::npos) {
                if (!isDottedIpv4(part)) return false;
                groups += 2;
            } else {
                if (part.empty() || part.size() > 4 ||
                    !std::all_of(part.begin(), part.end(), isHexDigit))
                    return false;
                ++groups;
            }
        }
    }
    return gap == std::string::npos ? groups == 8 : groups <= 7;
}

bool isPort(const std::string& port) {
    return !port.empty() && port.size() <= 5 && std::all_of(port.begin(), port.end(), isDigit) &&
           std::stoi(port) >= 1 && std::stoi(port) <= 65535;
}

// The path, query and fragment: a small set of bytes, and escapes that are whole.
bool isPlainTail(const std::string& tail) {
    static const std::string kMarks = "-._~/?#&=+,:@%";
    for (std::string::size_type i = 0; i < tail.size(); ++i) {
        const char c = tail[i];
        if (!isAlnum(c) && kMarks.find(c) == std::string::npos) return false;
        if (c == '%' &&
            (i + 2 >= tail.size() || !isHexDigit(tail[i + 1]) || !isHexDigit(tail[i + 2])))
            return false;
    }
    return true;
}

}  // namespace

std::string extractLink(const std::string& answer) {
    std::string::size_type last = answer.rfind(kHeaderEnd);
    std::string::size_type start = last == std::string::npos ? 3 : last + 4;
    return start >= answer.size() ? std::string() : answer.substr(start);
}

bool answerIsCutOff(const std::string& answer) {
    std::string::size_type headEnd = answer.find(kHeaderEnd);
    if (headEnd == std::string::npos) return false;  // no headers to promise anything
    const std::string::size_type arrived = answer.size() - headEnd - 4;
    std::string::size_type line = answer.find("\r\n");
    while (line < headEnd) {
        std::string::size_type next = answer.find("\r\n", line + 2);
        std::string header = answer.substr(line + 2, next - line - 2);
        std::string::size_type colon = header.find(':');
        if (colon != std::string::npos && lowerCase(header.substr(0, colon)) == "content-length" &&
            !lengthArrived(header.substr(colon + 1), arrived))
            return true;
        line = next;
    }
    return false;
}

bool answerIsWhole(const std::string& answer) {
    std::string::size_type headEnd = answer.find(kHeaderEnd);
    if (headEnd == std::string::npos) return false;
    for (const auto& [name, value] : answerHeaders(answer))
        if (sameHeaderName(name, "Content-Length")) return !answerIsCutOff(answer);
    return false;
}

std::string acceptedLink(const std::string& answer) {
    if (!hasSuccessStatus(answer) || answer.find(kHeaderEnd) == std::string::npos) return "";
    std::string link = extractLink(answer);
    // A line break after the link is common; left on, a paste would run a terminal line.
    link.erase(link.find_last_not_of(" \t\r\n") + 1);
    return isStrictLink(link) ? link : "";
}

bool isStrictLink(const std::string& link) {
    if (link.empty() || link.size() > kMaxLinkBytes) return false;
    const std::string lower = lowerCase(link.substr(0, 8));
    const std::string::size_type schemeEnd = lower.compare(0, 7, "http://") == 0    ? 7
                                             : lower.compare(0, 8, "https://") == 0 ? 8
                                                                                    : 0;
    if (schemeEnd == 0) return false;
    const std::string::size_type tailStart = link.find_first_of("/?#", schemeEnd);
    const std::string authority = link.substr(schemeEnd, tailStart - schemeEnd);
    std::string host = authority, port;
    if (!authority.empty() && authority[0] == '[') {
        std::string::size_type close = authority.find(']');
        if (close == std::string::npos || !isIpv6(authority.substr(1, close - 1))) return false;
        if (close + 1 < authority.size()) {
            if (authority[close + 1] != ':') return false;
            port = authority.substr(close + 2);
            if (!isPort(port)) return false;
        }
    } else {
        std::string::size_type colon = authority.find(':');
        if (colon != std::string::npos) {
            host = authority.substr(0, colon);
            if (!isPort(authority.substr(colon + 1))) return false;
        }
        if (!isDnsName(host)) return false;
    }
    return tailStart == std::string::npos || isPlainTail(link.substr(tailStart));
}

std::string refusalLine(const std::string& answer) {
    const std::string::size_type lineEnd = answer.find("\r\n");
    if (answer.compare(0, 5, "HTTP/") != 0 || lineEnd == std::string::npos) return "";
    const std::string line = answer.substr(0, lineEnd);
    const std::string::size_type space = line.find(' ');
    if (space == std::string::npos || line.size() < space + 4) return "";
    const std::string code = line.substr(space + 1, 3);
    if (!std::all_of(code.begin(), code.end(), isDigit) || code[0] == '2') return "";
    if (line.size() > space + 4 && line[space + 4] != ' ') return "";
    std::string reason;
    for (char c : line.substr(std::min(line.size(), space + 5)))
        if (c >= 32 && c <= 126 && reason.size() < 60) reason += c;
    return "HTTP " + code + (reason.empty() ? "" : " " + reason);
}

std::vector<std::pair<std::string, std::string>> answerHeaders(const std::string& answer) {
    std::vector<std::pair<std::string, std::string>> headers;
    const std::string::size_type headEnd = answer.find(kHeaderEnd);
    if (headEnd == std::string::npos) return headers;
    std::string::size_type line = answer.find("\r\n");
    while (line < headEnd) {
        const std::string::size_type next = answer.find("\r\n", line + 2);
        const std::string header = answer.substr(line + 2, next - line - 2);
        const std::string::size_type colon = header.find(':');
        if (colon != std::string::npos) {
            std::string value = header.substr(colon + 1);
            value.erase(0, value.find_first_not_of(" \t"));
            value.erase(value.find_last_not_of(" \t") + 1);
            headers.emplace_back(header.substr(0, colon), value);
        }
        line = next;
    }
    return headers;
}

bool sameHeaderName(const std::string& a, const std::string& b) {
    return lowerCase(a) == lowerCase(b);
}
