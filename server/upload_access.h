// Who may upload. Put on the internet, a service that stores whatever anyone posts is an open
// image host for strangers; so an upload comes either from an address the operator lists
// (--upload-from: by default loopback and private networks) or with one of the operator's
// tokens (--upload-tokens, sent as "Authorization: Bearer TOKEN"). Reading images and deleting
// them with their secret link need neither.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// One IPv4 or IPv6 network: an address and the length of its prefix.
struct AddressRange {
    bool v6 = false;
    std::array<unsigned char, 16> bytes{};
    unsigned prefix = 0;
};

struct UploadSources {
    bool any = false;
    std::vector<AddressRange> ranges;
    std::string text;  // as given, for the start-up line
    // `address` in canonical text form, as clientAddressText gives it.
    bool contains(const std::string& address) const;
};

// A comma-separated list of addresses, CIDR ranges, "loopback" (127.0.0.0/8, ::1), "private"
// (RFC 1918, fc00::/7 and the link-local ranges) and "any". false when an item is none of these.
bool parseUploadSources(std::string_view text, UploadSources* out);

// The operator's upload tokens, kept only as SHA-256 digests so that comparing one with what a
// client presents takes the same time whatever the bytes, and tokens sit in memory only briefly.
class UploadTokens {
  public:
    // Reads `path`: one token per line, '#' starts a comment, blank lines are skipped; a token
    // is printable ASCII without spaces. false, with the reason in `error` (which never quotes
    // a token), when the file cannot be read, holds a malformed line or no token at all.
    bool load(const std::string& path, std::string* error);

    // Whether `presented` is one of the tokens; every token is compared, in constant time.
    bool accepts(std::string_view presented) const;

    std::size_t size() const { return digests_.size(); }

  private:
    std::vector<std::array<unsigned char, 32>> digests_;
};

// The token of an "Authorization: Bearer TOKEN" header value; "" for any other value.
std::string bearerToken(const std::string& authorization);

// The last hop of an X-Forwarded-For value, the one the proxy in front appended, in canonical
// text form; "" when it is not an address.
std::string lastForwardedHop(const std::string& forwardedFor);
