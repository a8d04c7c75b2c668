#include "random_token.h"

#include <sys/random.h>

#include <cerrno>
#include <vector>

bool readSystemRandom(void* out, std::size_t size) {
    auto* bytes = static_cast<unsigned char*>(out);
    std::size_t done = 0;
    while (done < size) {
        // Flags 0: block only until the kernel's pool has been seeded once after boot, never
        // fall back to anything weaker.
        ssize_t got = ::getrandom(bytes + done, size - done, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

namespace {
const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
}

std::string encodeBase64Url(const unsigned char* data, std::size_t size) {
    std::string text;
    text.reserve((size * 4 + 2) / 3);
    std::size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        unsigned group = unsigned(data[i]) << 16 | unsigned(data[i + 1]) << 8 | data[i + 2];
        text += kAlphabet[group >> 18 & 63];
        text += kAlphabet[group >> 12 & 63];
        text += kAlphabet[group >> 6 & 63];
        text += kAlphabet[group & 63];
    }
    if (size - i == 1) {
        unsigned group = unsigned(data[i]) << 16;
        text += kAlphabet[group >> 18 & 63];
        text += kAlphabet[group >> 12 & 63];
    } else if (size - i == 2) {
        unsigned group = unsigned(data[i]) << 16 | unsigned(data[i + 1]) << 8;
        text += kAlphabet[group >> 18 & 63];
        text += kAlphabet[group >> 12 & 63];
        text += kAlphabet[group >> 6 & 63];
    }
    return text;
}

bool isBase64UrlChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_';
}

std::string randomToken(std::size_t bytes) {
    std::vector<unsigned char> raw(bytes);
    if (!readSystemRandom(raw.data(), raw.size())) return {};
    return encodeBase64Url(raw.data(), raw.size());
}
