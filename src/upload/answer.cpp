#include "upload/answer.h"

#include <algorithm>
#include <cctype>

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

// The host between the scheme and the first "/", "?" or "#", without user name and port.
std::string hostOf(const std::string& link, std::string::size_type schemeLength) {
    std::string::size_type end = link.find_first_of("/?#", schemeLength);
    std::string authority =
        link.substr(schemeLength, end == std::string::npos ? end : end - schemeLength);
    std::string::size_type at = authority.rfind('@');
    if (at != std::string::npos) authority.erase(0, at + 1);
    if (authority.empty() || authority[0] == '[') return authority;
    return authority.substr(0, authority.find(':'));
}

bool isPlausibleLink(const std::string& link) {
    if (link.empty() || link.size() > kMaxLinkBytes) return false;
    for (char c : link)
        if (c < 33 || c > 126) return false;
    std::string lower = lowerCase(link.substr(0, 8));
    std::string::size_type scheme = lower.compare(0, 7, "http://") == 0    ? 7
                                    : lower.compare(0, 8, "https://") == 0 ? 8
                                                                           : 0;
    return scheme != 0 && !hostOf(link, scheme).empty();
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

std::string acceptedLink(const std::string& answer) {
    if (!hasSuccessStatus(answer) || answer.find(kHeaderEnd) == std::string::npos) return "";
    std::string link = extractLink(answer);
    // A line break after the link is common; left on, a paste would run a terminal line.
    link.erase(link.find_last_not_of(" \t\r\n") + 1);
    return isPlausibleLink(link) ? link : "";
}
