#include "upload_access.h"

#include <arpa/inet.h>
#include <openssl/crypto.h>
#include <openssl/sha.h>
#include <strings.h>

#include <fstream>

namespace {

bool parseAddress(const std::string& text, AddressRange* out) {
    AddressRange range;
    if (::inet_pton(AF_INET, text.c_str(), range.bytes.data()) == 1) {
        range.prefix = 32;
    } else if (::inet_pton(AF_INET6, text.c_str(), range.bytes.data()) == 1) {
        range.v6 = true;
        range.prefix = 128;
    } else {
        return false;
    }
    *out = range;
    return true;
}

// "ADDRESS" or "ADDRESS/PREFIX".
bool parseRange(const std::string& text, AddressRange* out) {
    std::size_t slash = text.find('/');
    if (!parseAddress(text.substr(0, slash), out)) return false;
    if (slash == std::string::npos) return true;
    std::string digits = text.substr(slash + 1);
    if (digits.empty() || digits.size() > 3 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    unsigned prefix = static_cast<unsigned>(std::stoul(digits));
    if (prefix > out->prefix) return false;
    out->prefix = prefix;
    return true;
}

bool inRange(const AddressRange& range, const AddressRange& address) {
    if (range.v6 != address.v6) return false;
    unsigned full = range.prefix / 8, bits = range.prefix % 8;
    for (unsigned i = 0; i < full; ++i) {
        if (range.bytes[i] != address.bytes[i]) return false;
    }
    if (bits == 0) return true;
    unsigned mask = (0xFF00u >> bits) & 0xFF;
    return (range.bytes[full] & mask) == (address.bytes[full] & mask);
}

const char* const kLoopback[] = {"127.0.0.0/8", "::1/128"};
const char* const kPrivate[] = {"10.0.0.0/8", "172.16.0.0/12",  "192.168.0.0/16",
                                "fc00::/7",   "169.254.0.0/16", "fe80::/10"};

std::string trimmed(const std::string& text) {
    std::size_t start = text.find_first_not_of(" \t\r");
    if (start == std::string::npos) return {};
    return text.substr(start, text.find_last_not_of(" \t\r") + 1 - start);
}

std::array<unsigned char, 32> digestOf(std::string_view token) {
    std::array<unsigned char, 32> digest{};
    SHA256(reinterpret_cast<const unsigned char*>(token.data()), token.size(), digest.data());
    return digest;
}

}  // namespace

bool UploadSources::contains(const std::string& address) const {
    if (any) return true;
    AddressRange parsed;
    if (!parseAddress(address, &parsed)) return false;
    for (const AddressRange& range : ranges) {
        if (inRange(range, parsed)) return true;
    }
    return false;
}

bool parseUploadSources(std::string_view text, UploadSources* out) {
    UploadSources parsed;
    parsed.text = std::string(text);
    for (;;) {
        std::size_t comma = text.find(',');
        std::string item = trimmed(std::string(text.substr(0, comma)));
        std::vector<std::string> ranges;
        if (item == "any") {
            parsed.any = true;
        } else if (item == "loopback") {
            ranges.assign(std::begin(kLoopback), std::end(kLoopback));
        } else if (item == "private") {
            ranges.assign(std::begin(kPrivate), std::end(kPrivate));
        } else {
            ranges.push_back(item);
        }
        for (const std::string& range : ranges) {
            AddressRange parsedRange;
            if (!parseRange(range, &parsedRange)) return false;
            parsed.ranges.push_back(parsedRange);
        }
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    *out = parsed;
    return true;
}

bool UploadTokens::load(const std::string& path, std::string* error) {
    std::ifstream file(path);
    if (!file.is_open()) {
        *error = "cannot read " + path;
        return false;
    }
    std::vector<std::array<unsigned char, 32>> digests;
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        std::string token = trimmed(line.substr(0, line.find('#')));
        if (token.empty()) continue;
        for (unsigned char c : token) {
            if (c <= ' ' || c >= 0x7F) {
                *error = path + " line " + std::to_string(number) +
                         ": a token is printable ASCII without spaces";
                return false;
            }
        }
        digests.push_back(digestOf(token));
    }
    if (digests.empty()) {
        *error = path + " holds no token";
        return false;
    }
    digests_ = std::move(digests);
    return true;
}

bool UploadTokens::accepts(std::string_view presented) const {
    if (presented.empty()) return false;
    const std::array<unsigned char, 32> digest = digestOf(presented);
    bool match = false;
    for (const auto& known : digests_) {
        match |= CRYPTO_memcmp(known.data(), digest.data(), digest.size()) == 0;
    }
    return match;
}

std::string bearerToken(const std::string& authorization) {
    const std::string scheme = "Bearer ";
    if (authorization.size() <= scheme.size() ||
        ::strncasecmp(authorization.c_str(), scheme.c_str(), scheme.size()) != 0) {
        return {};
    }
    return trimmed(authorization.substr(scheme.size()));
}

std::string lastForwardedHop(const std::string& forwardedFor) {
    std::size_t comma = forwardedFor.rfind(',');
    std::string hop =
        trimmed(comma == std::string::npos ? forwardedFor : forwardedFor.substr(comma + 1));
    AddressRange parsed;
    if (!parseAddress(hop, &parsed)) return {};
    char text[INET6_ADDRSTRLEN] = "";
    return ::inet_ntop(parsed.v6 ? AF_INET6 : AF_INET, parsed.bytes.data(), text, sizeof text)
               ? text
               : "";
}
