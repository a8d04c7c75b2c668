#include "upload/answer.h"

#include <cctype>

namespace {

constexpr const char* kHeaderEnd = "\r\n\r\n";

bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
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

}  // namespace

std::string extractLink(const std::string& answer) {
    std::string::size_type last = answer.rfind(kHeaderEnd);
    std::string::size_type start = last == std::string::npos ? 3 : last + 4;
    return start >= answer.size() ? std::string() : answer.substr(start);
}

bool answerHasLink(const std::string& answer) {
    return hasSuccessStatus(answer) && answer.find(kHeaderEnd) != std::string::npos &&
           !extractLink(answer).empty();
}
