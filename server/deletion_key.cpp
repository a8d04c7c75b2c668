#include "deletion_key.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <sys/stat.h>

#include <cerrno>
#include <system_error>

#include "random_token.h"
#include "unique_fd.h"

namespace {

std::string describeErrno(const std::string& what, int err) {
    return what + ": " + std::error_code(err, std::generic_category()).message();
}

bool readKey(int fd, unsigned char* key, const std::string& path, std::string* error) {
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        *error = describeErrno("cannot examine " + path, errno);
        return false;
    }
    if (!S_ISREG(info.st_mode) || info.st_size != static_cast<off_t>(kDeletionKeyBytes)) {
        *error = path + " is not a deletion key (expected " + std::to_string(kDeletionKeyBytes) +
                 " bytes)";
        return false;
    }
    std::size_t done = 0;
    while (done < kDeletionKeyBytes) {
        ssize_t got = ::read(fd, key + done, kDeletionKeyBytes - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            *error = describeErrno("cannot read " + path, got < 0 ? errno : EIO);
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

std::string directoryOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Writes a fresh key beside `path` and links it into place, so that a crash never leaves a
// short key behind and two processes starting at once end up sharing one key.
bool createKey(const std::string& path, std::string* error) {
    unsigned char key[kDeletionKeyBytes];
    if (!readSystemRandom(key, sizeof key)) {
        *error = describeErrno("cannot read the system's random source", errno);
        return false;
    }
    // A name of its own: servers starting together on one directory must not write one file.
    std::string tempPath = path + ".new-" + randomToken(9);
    UniqueFd file(::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!file.valid()) {
        *error = describeErrno("cannot create " + tempPath, errno);
        return false;
    }
    bool written = ::write(file.get(), key, sizeof key) == static_cast<ssize_t>(sizeof key) &&
                   ::fsync(file.get()) == 0;
    int writeErrno = errno;
    file.reset();
    if (!written) {
        ::unlink(tempPath.c_str());
        *error = describeErrno("cannot write " + tempPath, writeErrno);
        return false;
    }
    int linked = ::link(tempPath.c_str(), path.c_str());
    int linkErrno = errno;
    ::unlink(tempPath.c_str());
    if (linked != 0 && linkErrno != EEXIST) {
        *error = describeErrno("cannot create " + path, linkErrno);
        return false;
    }
    UniqueFd dir(::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid()) ::fsync(dir.get());
    return true;
}

}  // namespace

bool DeletionKey::loadOrCreate(const std::string& path, std::string* error) {
    UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!file.valid() && errno == ENOENT) {
        if (!createKey(path, error)) return false;
        file.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    }
    if (!file.valid()) {
        *error = describeErrno("cannot open " + path, errno);
        return false;
    }
    return readKey(file.get(), key_, path, error);
}

std::string DeletionKey::tokenFor(std::string_view storedName) const {
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int macSize = 0;
    HMAC(EVP_sha256(), key_, sizeof key_, reinterpret_cast<const unsigned char*>(storedName.data()),
         storedName.size(), mac, &macSize);
    // 16 bytes give 128 bits, 22 characters.
    return encodeBase64Url(mac, 16);
}

bool DeletionKey::accepts(std::string_view storedName, std::string_view token) const {
    std::string expected = tokenFor(storedName);
    if (token.size() != expected.size()) return false;
    return CRYPTO_memcmp(expected.data(), token.data(), expected.size()) == 0;
}

bool DeletionKey::loadPrivate(const std::string& path, std::string* error) {
    UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info;
    if (!file.valid() || ::fstat(file.get(), &info) != 0) {
        *error = describeErrno("cannot open " + path, errno);
        return false;
    }
    if ((info.st_mode & 077) != 0) {
        *error = path + " may be read by others than its owner; chmod 600 it";
        return false;
    }
    return readKey(file.get(), key_, path, error);
}

bool DeletionKey::createFile(const std::string& path, std::string* error) {
    struct stat info;
    if (::lstat(path.c_str(), &info) == 0) {
        *error = path + " exists; a new key would invalidate every deletion link made with it";
        return false;
    }
    return createKey(path, error);
}
