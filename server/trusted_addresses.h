// Addresses exempt from the per-address connection limit: a load balancer or reverse proxy
// carries many clients over connections from one address, and limiting it would limit them all.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct TrustedAddresses {
    bool loopback = true;            // 127.0.0.0/8 and ::1
    std::vector<std::string> exact;  // in the canonical text form of inet_ntop
};

// "loopback", "none", or a comma-separated list of IPv4/IPv6 addresses and the word
// "loopback". false when an item is none of these.
bool parseTrustedAddresses(std::string_view text, TrustedAddresses* out);

// `address` in the canonical text form, as clientAddressText gives it.
bool isTrusted(const TrustedAddresses& trusted, const std::string& address);

// The numeric address of a socket peer ("192.0.2.7", "2001:db8::1"); an IPv4 address mapped
// into IPv6 is given as IPv4, so that one client is one address whichever socket it reached.
std::string clientAddressText(const void* sockaddrBytes);
