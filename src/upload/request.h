// The upload request: one HTTP/1.0 multipart/form-data POST carrying one capture file.
// Everything here is pure text work, so the exact bytes can be checked without a network.
#pragma once

#include <string>

// The multipart boundary, 41 characters.
constexpr const char* kBoundary = "56565------THEBOUNDRY-------------1231232";

// Splits "http://host/path" into host and path, each with spaces trimmed from both ends, the path
// without its leading "/". Only the exact lower-case "http://" prefix is removed, and it is
// removed from `url` itself; there is no port syntax.
void splitUrl(std::string& url, std::string& host, std::string& path);

// The complete request for `fileBytes` posted as `fileName` (whose last three characters name
// the image type) to `path` on `host`: request head, part head, file bytes, closing delimiter.
// With a 14-character file name the part head is 179 bytes and the closing delimiter 49, so the
// body, and its Content-Length, is the file length + 228. A `token` adds one header line,
// "Authorization: Bearer TOKEN", after the Host line; nothing else changes.
std::string buildUploadRequest(const std::string& host, const std::string& path,
                               const std::string& fileName, const std::string& fileBytes,
                               const std::string& token = "");

// The request as dump.txt keeps it: the same bytes, but the token's value written as "****", so
// that a file left in the working folder never hands out the secret.
std::string requestForDump(const std::string& request, const std::string& token);
