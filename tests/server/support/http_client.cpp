#include "http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <cctype>
#include <random>
#include <regex>

namespace {

std::string noise(std::size_t size, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random() % 0xFF);  // never FF: no JPEG marker
    return bytes;
}

std::string bigEndian32(std::uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
            static_cast<char>(value >> 8), static_cast<char>(value)};
}

std::string pngChunk(const std::string& type, const std::string& data) {
    const std::string typed = type + data;
    auto crc = ::crc32(0, reinterpret_cast<const Bytef*>(typed.data()), uInt(typed.size()));
    return bigEndian32(static_cast<std::uint32_t>(data.size())) + typed + bigEndian32(crc);
}

}  // namespace

std::string makePng(std::size_t size, std::uint32_t seed) {
    const std::size_t framing = 8 + 25 + 12 + 12;
    std::string header = bigEndian32(16) + bigEndian32(16) + std::string("\x08\x02\0\0\0", 5);
    return "\x89PNG\r\n\x1a\n" + pngChunk("IHDR", header) +
           pngChunk("IDAT", noise(size > framing ? size - framing : 1, seed)) +
           pngChunk("IEND", "");
}

std::string makeJpeg(std::size_t size, std::uint32_t seed) {
    const std::string head(
        "\xff\xd8\xff\xe0\0\x10JFIF\0\x01\x01\0\0\x01\0\x01\0\0"  // SOI, APP0
        "\xff\xc0\0\x0b\x08\0\x10\0\x10\x01\x01\x11\0"            // SOF0, one component
        "\xff\xda\0\x08\x01\x01\0\0\x3f\0",                       // SOS
        43);
    return head + noise(size > head.size() + 2 ? size - head.size() - 2 : 1, seed) + "\xff\xd9";
}

std::string formRequest(const std::string& boundary, const std::vector<FormPart>& parts) {
    std::string body;
    for (const auto& part : parts) {
        body += "--XyZ\r\nContent-Disposition: form-data; name=\"" + part.name + "\"";
        if (!part.fileName.empty()) body += "; filename=\"" + part.fileName + "\"";
        body += "\r\n\r\n" + part.data + "\r\n";
    }
    body += "--XyZ--\r\n";
    return "POST /api.php HTTP/1.1\r\nHost: h\r\nContent-Type: multipart/form-data; boundary=" +
           boundary + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

int connectToServer(int port, const char* from) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in source{AF_INET, 0, {}, {}};
    sockaddr_in address{
        AF_INET, htons(static_cast<std::uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    bool bound = !from || (::inet_pton(AF_INET, from, &source.sin_addr) == 1 &&
                           ::bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source) == 0);
    if (fd >= 0 &&
        (!bound || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool sendAll(int fd, const std::string& bytes) {
    for (std::size_t sent = 0; sent < bytes.size();) {
        ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

std::string receiveAll(int fd, std::chrono::milliseconds timeout) {
    timeval patience{static_cast<time_t>(timeout.count() / 1000),
                     static_cast<suseconds_t>(timeout.count() % 1000 * 1000)};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    std::string received;
    char buffer[16384];
    for (ssize_t got; (got = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
        received.append(buffer, static_cast<std::size_t>(got));
    return received;
}

std::string roundTrip(int port, const std::string& request, bool halfClose, const char* from,
                      std::chrono::milliseconds timeout) {
    int fd = connectToServer(port, from);
    if (fd < 0) return {};
    sendAll(fd, request);
    if (halfClose) ::shutdown(fd, SHUT_WR);
    std::string answer = receiveAll(fd, timeout);
    ::close(fd);
    return answer;
}

HttpResponse parseResponse(const std::string& raw) {
    HttpResponse response;
    std::size_t headEnd = raw.find("\r\n\r\n");
    if (raw.rfind("HTTP/1.", 0) != 0 || headEnd == std::string::npos) return response;
    response.status = std::atoi(raw.c_str() + raw.find(' ') + 1);
    static const std::regex kField("\r\n([^:\r\n]*): *([^\r\n]+)");
    const std::string head = raw.substr(0, headEnd);
    for (std::sregex_iterator it(head.begin(), head.end(), kField), end; it != end; ++it) {
        std::string name = (*it)[1];
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        response.headers[name] = (*it)[2];
    }
    response.body = raw.substr(headEnd + 4);
    return response;
}

HttpResponse httpRequest(int port, const std::string& method, const std::string& target,
                         const std::string& headers) {
    const std::string head = method + " " + target + " HTTP/1.1\r\nHost: h\r\n" + headers;
    return parseResponse(
        roundTrip(port, head + "Content-Length: 0\r\nConnection: close\r\n\r\n", false));
}

std::string pathOfLink(const std::string& link) {
    std::size_t schemeEnd = link.find("://");
    return schemeEnd == std::string::npos ? link : link.substr(link.find('/', schemeEnd + 3));
}
