// Whether a request's body has exactly one possible length. When Content-Length headers
// disagree, or come together with Transfer-Encoding, a proxy in front of us may have taken a
// different length than we would, and the rest of the body would be read as a second request:
// request smuggling. Such a request is refused and its connection closed.
#pragma once

#include <string>
#include <vector>

// `contentLengths`: the value of every Content-Length header, in order (a value may itself be
// a comma-separated list, as some proxies fold repeated headers).
bool bodyFramingIsUnambiguous(const std::vector<std::string>& contentLengths,
                              bool hasTransferEncoding);
