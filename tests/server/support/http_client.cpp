#include "http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

std::string clientRequest(const std::string& host, const std::string& fileName,
                          const std::string& fileBytes) {
    const std::string boundary = "56565------THEBOUNDRY-------------1231232";
    std::string partHead =
        "--" + boundary + "\r\n" + "Content-Disposition: form-data; name=\"file\"; filename=\"" +
        fileName + "\"\r\n" + "Content-Transfer-Encoding: binary\r\n" + "Content-Type: image/" +
        fileName.substr(fileName.size() - 3) + "\r\n\r\n";
    std::string closing = "\r\n--" + boundary + "--\r\n";
    std::size_t bodyLength = partHead.size() + fileBytes.size() + closing.size();
    std::string head = "POST /api.php HTTP/1.0\r\nHost: " + host +
                       "\r\nUser-Agent: Marnivox Glimmerix\r\n"
                       "Content-Type: multipart/form-data; boundary=" +
                       boundary + "\r\nContent-Length: " + std::to_string(bodyLength) +
                       "\r\nConnection: close\r\n\r\n";
    return head + partHead + fileBytes + closing;
}

std::string multipartBody(const std::string& boundary, const std::vector<FormPart>& parts) {
    std::string body;
    for (const auto& part : parts) {
        body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + part.name + "\"";
        if (!part.fileName.empty()) body += "; filename=\"" + part.fileName + "\"";
        body += "\r\n";
        if (!part.contentType.empty()) body += "Content-Type: " + part.contentType + "\r\n";
        body += "\r\n" + part.data + "\r\n";
    }
    return body + "--" + boundary + "--\r\n";
}

std::string uploadRequest(const std::string& boundary, const std::string& body) {
    return "POST /api.php HTTP/1.1\r\nHost: glimmerix.test\r\n"
           "Content-Type: multipart/form-data; boundary=" +
           boundary + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

int connectToServer(int port, const char* from) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in source{};
    source.sin_family = AF_INET;
    if (from && (::inet_pton(AF_INET, from, &source.sin_addr) != 1 ||
                 ::bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0)) {
        ::close(fd);
        return -1;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool sendAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

std::string receiveAll(int fd, std::chrono::milliseconds timeout) {
    std::string received;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    char buffer[16384];
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd entry{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) break;
        ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        received.append(buffer, static_cast<std::size_t>(got));
    }
    return received;
}

std::string roundTrip(int port, const std::string& request, bool halfClose) {
    int fd = connectToServer(port);
    if (fd < 0) return {};
    sendAll(fd, request);
    if (halfClose) ::shutdown(fd, SHUT_WR);
    std::string answer = receiveAll(fd);
    ::close(fd);
    return answer;
}

std::string HttpResponse::header(const std::string& lowerName) const {
    auto found = headers.find(lowerName);
    return found == headers.end() ? std::string() : found->second;
}

HttpResponse parseResponse(const std::string& raw) {
    HttpResponse response;
    std::size_t headEnd = raw.find("\r\n\r\n");
    if (raw.rfind("HTTP/1.", 0) != 0 || headEnd == std::string::npos) return response;
    response.status = std::atoi(raw.c_str() + raw.find(' ') + 1);
    std::size_t lineStart = raw.find("\r\n") + 2;
    while (lineStart < headEnd) {
        std::size_t lineEnd = raw.find("\r\n", lineStart);
        std::string line = raw.substr(lineStart, lineEnd - lineStart);
        std::size_t colon = line.find(':');
        if (colon != std::string::npos) {
            std::string name = line.substr(0, colon);
            std::transform(name.begin(), name.end(), name.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            std::size_t valueStart = line.find_first_not_of(' ', colon + 1);
            std::string value = valueStart == std::string::npos ? "" : line.substr(valueStart);
            auto& slot = response.headers[name];
            slot = slot.empty() ? value : slot + ", " + value;
        }
        lineStart = lineEnd + 2;
    }
    response.body = raw.substr(headEnd + 4);
    return response;
}

std::string textAfterLastBlankLine(const std::string& raw) {
    std::size_t last = raw.rfind("\r\n\r\n");
    return last == std::string::npos ? raw : raw.substr(last + 4);
}

std::string pathOfLink(const std::string& link) {
    std::size_t schemeEnd = link.find("://");
    std::size_t pathStart = link.find('/', schemeEnd == std::string::npos ? 0 : schemeEnd + 3);
    return pathStart == std::string::npos ? "/" : link.substr(pathStart);
}

HttpResponse httpGet(int port, const std::string& path) {
    return parseResponse(roundTrip(
        port, "GET " + path + " HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n", false));
}
