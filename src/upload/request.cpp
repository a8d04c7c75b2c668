#include "upload/request.h"

namespace {

constexpr const char* kSchemePrefix = "http://";
constexpr const char* kLineEnd = "\r\n";
constexpr const char* kAuthorization = "Authorization: Bearer ";

// Only the space character counts: a tab or line break in a URL is left for the service to see.
std::string trimSpaces(const std::string& text) {
    std::string::size_type first = text.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    std::string::size_type last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

std::string partHead(const std::string& fileName) {
    std::string type = fileName.size() >= 3 ? fileName.substr(fileName.size() - 3) : fileName;
    std::string head;
    head += std::string("--") + kBoundary + kLineEnd;
    head +=
        "Content-Disposition: form-data; name=\"file\"; filename=\"" + fileName + "\"" + kLineEnd;
    head += std::string("Content-Transfer-Encoding: binary") + kLineEnd;
    head += "Content-Type: image/" + type + kLineEnd;
    head += kLineEnd;
    return head;
}

std::string closingDelimiter() {
    return std::string(kLineEnd) + "--" + kBoundary + "--" + kLineEnd;
}

std::string requestHead(const std::string& host, const std::string& path, const std::string& token,
                        std::string::size_type bodyLength) {
    std::string head;
    head += "POST /" + path + " HTTP/1.0" + kLineEnd;
    head += "Host: " + host + kLineEnd;
    if (!token.empty()) head += kAuthorization + token + kLineEnd;
    head += std::string("User-Agent: Marnivox Glimmerix") + kLineEnd;
    head += std::string("Content-Type: multipart/form-data; boundary=") + kBoundary + kLineEnd;
    head += "Content-Length: " + std::to_string(bodyLength) + kLineEnd;
    head += std::string("Connection: close") + kLineEnd;
    head += kLineEnd;
    return head;
}

}  // namespace

void splitUrl(std::string& url, std::string& host, std::string& path) {
    if (url.compare(0, 7, kSchemePrefix) == 0) url.erase(0, 7);
    std::string::size_type slash = url.find('/');
    if (slash == std::string::npos || slash + 1 == url.size()) {
        // A "/" at the very end separates nothing: the host text keeps it.
        host = trimSpaces(url);
        path.clear();
        return;
    }
    host = trimSpaces(url.substr(0, slash));
    path = trimSpaces(url.substr(slash + 1));
}

std::string buildUploadRequest(const std::string& host, const std::string& path,
                               const std::string& fileName, const std::string& fileBytes,
                               const std::string& token) {
    std::string part = partHead(fileName);
    std::string closing = closingDelimiter();
    std::string request =
        requestHead(host, path, token, part.size() + fileBytes.size() + closing.size());
    request.reserve(request.size() + part.size() + fileBytes.size() + closing.size());
    request += part;
    request += fileBytes;
    request += closing;
    return request;
}

std::string requestForDump(const std::string& request, const std::string& token) {
    if (token.empty()) return request;
    const std::string line = kAuthorization + token + kLineEnd;
    // Only the head can hold the line: a capture that happens to contain it stays as it is.
    std::string::size_type at = request.find(line);
    std::string::size_type headEnd = request.find("\r\n\r\n");
    if (at == std::string::npos || at > headEnd) return request;
    std::string dumped = request;
    dumped.replace(at, line.size(), kAuthorization + std::string("****") + kLineEnd);
    return dumped;
}
