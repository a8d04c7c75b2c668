// Raw HTTP for the service's tests: requests go byte for byte as given, malformed ones included.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct FormPart {
    std::string name;
    std::string fileName;  // empty: a plain field
    std::string data;
};
// A POST to /api.php of a form with `parts` delimited by "XyZ", its header naming `boundary`.
std::string formRequest(const std::string& boundary, const std::vector<FormPart>& parts);

// A well-formed PNG or JPEG of `size` bytes (at least 57 or 45) around seeded noise: the
// service checks an image's structure but never decodes its pixels.
std::string makePng(std::size_t size, std::uint32_t seed);
std::string makeJpeg(std::size_t size, std::uint32_t seed);

// A blocking TCP connection to 127.0.0.1:`port`, from the loopback address `from` if given
// (127.0.0.2 is another client); -1 on failure.
int connectToServer(int port, const char* from = nullptr);
bool sendAll(int fd, const std::string& bytes);
// Reads until the server closes, or until it stays silent for `timeout`.
std::string receiveAll(int fd, std::chrono::milliseconds timeout = std::chrono::seconds(20));
// Sends `request` on a new connection, half-closes it as the Glimmerix client does if asked, and
// returns everything the server answered within `timeout` of silence.
std::string roundTrip(int port, const std::string& request, bool halfClose = true,
                      const char* from = nullptr,
                      std::chrono::milliseconds timeout = std::chrono::seconds(20));

struct HttpResponse {
    int status = 0;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
};
HttpResponse parseResponse(const std::string& raw);
// `method` of `target` with `headers` (whole lines) through a fresh connection.
HttpResponse httpRequest(int port, const std::string& method, const std::string& target,
                         const std::string& headers = "");
// "/NAME" of "http://host/NAME".
std::string pathOfLink(const std::string& link);
