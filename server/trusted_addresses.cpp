#include "trusted_addresses.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

namespace {

// The canonical text of an IPv4 or IPv6 address, or "" when `text` is neither.
std::string canonicalAddress(const std::string& text) {
    unsigned char bytes[sizeof(in6_addr)];
    char out[INET6_ADDRSTRLEN] = "";
    if (::inet_pton(AF_INET, text.c_str(), bytes) == 1) {
        return ::inet_ntop(AF_INET, bytes, out, sizeof out) ? out : "";
    }
    if (::inet_pton(AF_INET6, text.c_str(), bytes) == 1) {
        return ::inet_ntop(AF_INET6, bytes, out, sizeof out) ? out : "";
    }
    return {};
}

}  // namespace

bool parseTrustedAddresses(std::string_view text, TrustedAddresses* out) {
    TrustedAddresses parsed;
    parsed.loopback = false;
    if (text == "none") {
        *out = parsed;
        return true;
    }
    for (;;) {
        std::size_t comma = text.find(',');
        std::string item(text.substr(0, comma));
        if (item == "loopback") {
            parsed.loopback = true;
        } else {
            std::string address = canonicalAddress(item);
            if (address.empty()) return false;
            parsed.exact.push_back(address);
        }
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    *out = parsed;
    return true;
}

bool isTrusted(const TrustedAddresses& trusted, const std::string& address) {
    if (trusted.loopback && (address.rfind("127.", 0) == 0 || address == "::1")) return true;
    for (const std::string& exact : trusted.exact) {
        if (exact == address) return true;
    }
    return false;
}

std::string clientAddressText(const void* sockaddrBytes) {
    sockaddr_storage address;
    std::memcpy(&address, sockaddrBytes, sizeof(sockaddr));
    char out[INET6_ADDRSTRLEN] = "";
    if (address.ss_family == AF_INET) {
        sockaddr_in v4;
        std::memcpy(&v4, sockaddrBytes, sizeof v4);
        return ::inet_ntop(AF_INET, &v4.sin_addr, out, sizeof out) ? out : "";
    }
    if (address.ss_family != AF_INET6) return "-";
    sockaddr_in6 v6;
    std::memcpy(&v6, sockaddrBytes, sizeof v6);
    if (IN6_IS_ADDR_V4MAPPED(&v6.sin6_addr)) {
        return ::inet_ntop(AF_INET, &v6.sin6_addr.s6_addr[12], out, sizeof out) ? out : "";
    }
    return ::inet_ntop(AF_INET6, &v6.sin6_addr, out, sizeof out) ? out : "";
}
