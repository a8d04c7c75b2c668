// Raw HTTP for the service's tests: requests are sent byte for byte as given, so the tests see
// exactly what a client sends, malformed ones included.
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

// The request the Glimmerix client sends for an upload, byte for byte: HTTP/1.0, its fixed
// boundary, one part named "file" labelled "image/" plus the name's last three letters.
std::string clientRequest(const std::string& host, const std::string& fileName,
                          const std::string& fileBytes);

struct FormPart {
    std::string name;
    std::string fileName;  // empty: a plain field
    std::string contentType;
    std::string data;
};
// A multipart/form-data body with `boundary`, closing delimiter included.
std::string multipartBody(const std::string& boundary, const std::vector<FormPart>& parts);
// An HTTP/1.1 POST of `body` to /api.php with Connection: close.
std::string uploadRequest(const std::string& boundary, const std::string& body);

// A blocking TCP connection to 127.0.0.1:`port`, from the loopback address `from` if given
// (127.0.0.2 is another client); -1 on failure.
int connectToServer(int port, const char* from = nullptr);
bool sendAll(int fd, const std::string& bytes);
// Reads until the server closes or `timeout` passes.
std::string receiveAll(int fd, std::chrono::milliseconds timeout = std::chrono::seconds(20));

// Connects, sends `request`, optionally half-closes as the Glimmerix client does, and returns
// everything the server answered.
std::string roundTrip(int port, const std::string& request, bool halfClose = true);

struct HttpResponse {
    int status = 0;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
    std::string header(const std::string& lowerName) const;
};
// Splits a whole answer. A header that appears twice keeps its values joined by ", ".
HttpResponse parseResponse(const std::string& raw);

// What the Glimmerix client keeps of an answer: the text after its last blank line.
std::string textAfterLastBlankLine(const std::string& raw);

// "/NAME" of "http://host/NAME".
std::string pathOfLink(const std::string& link);

// GET of `path` on the server, through a fresh connection.
HttpResponse httpGet(int port, const std::string& path);
