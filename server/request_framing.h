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

// What the request head must look like beyond what the HTTP library checks. Lenient parsers
// disagree about malformed heads, and where a proxy in front reads one differently from us, a
// request can hide inside another; so every oddity is refused, never repaired.
struct HeadField {
    std::string name, value;  // as received; either may hold NUL bytes
};
struct HeadVerdict {
    int status = 0;  // 0: acceptable; else 400, or 501 for a transfer coding we do not know
    const char* reason = "";
};
HeadVerdict checkRequestHead(const std::string& method, const std::string& version,
                             const std::vector<HeadField>& fields);
