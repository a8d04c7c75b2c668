// Deletion tokens. The token of a stored image is the first 128 bits of
// HMAC-SHA256(key, stored name), as base64url. Tokens need no storage of their own, so an upload
// stays one file written once: whoever holds the key can recompute a token, nobody else can
// forge one. The key is 32 random bytes kept in delete.key (mode 0600) in the data directory,
// made at the first start, or in a file given to every instance (--delete-key-file), which is
// how instances that share no file system agree on it. Losing the key invalidates every deletion
// link; the images stay.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

constexpr std::size_t kDeletionKeyBytes = 32;
constexpr std::size_t kDeletionTokenChars = 22;

class DeletionKey {
  public:
    // Reads the key at `path`, or creates it there when no file exists. false with a message in
    // `error` when the file cannot be read or made, or is not a key.
    bool loadOrCreate(const std::string& path, std::string* error);

    // Reads the key file an operator gave every instance; refused unless only its owner may
    // read it (mode 0600 or stricter).
    bool loadPrivate(const std::string& path, std::string* error);

    // Writes a fresh key file at `path` (mode 0600), never over an existing file.
    static bool createFile(const std::string& path, std::string* error);

    std::string tokenFor(std::string_view storedName) const;

    // Compares in constant time, so response timing tells nothing about a guess.
    bool accepts(std::string_view storedName, std::string_view token) const;

  private:
    unsigned char key_[kDeletionKeyBytes] = {};
};
