// Unguessable text: bytes from the kernel's cryptographic random source (getrandom), written
// as URL-safe base64 so that the result can stand in a path or a file name as it is.
#pragma once

#include <cstddef>
#include <string>

// Fills `size` bytes from the kernel's random source. Returns false only when the source
// fails, which on Linux means a broken system; callers then refuse to hand out a name.
bool readSystemRandom(void* out, std::size_t size);

// Base64url without padding (RFC 4648 section 5): letters, digits, '-' and '_'.
std::string encodeBase64Url(const unsigned char* data, std::size_t size);

bool isBase64UrlChar(char c);

// `bytes` random bytes as base64url text, or "" when the random source fails.
std::string randomToken(std::size_t bytes);
