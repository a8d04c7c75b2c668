#include "s3_credentials.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "unique_fd.h"

namespace {

constexpr std::size_t kLargestFile = 4096;

std::string trimmed(const std::string& text) {
    std::size_t start = text.find_first_not_of(" \t\r");
    std::size_t end = text.find_last_not_of(" \t\r");
    return start == std::string::npos ? "" : text.substr(start, end - start + 1);
}

bool readCredentialsFile(const std::string& path, std::string* text, std::string* error) {
    UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info;
    if (!file.valid() || ::fstat(file.get(), &info) != 0) {
        *error = "cannot open " + path + ": " +
                 std::error_code(errno, std::generic_category()).message();
        return false;
    }
    if ((info.st_mode & 077) != 0) {
        *error = path + " may be read by others than its owner; chmod 600 it";
        return false;
    }
    char buffer[kLargestFile];
    ssize_t got = ::read(file.get(), buffer, sizeof buffer);
    if (got < 0 || static_cast<std::size_t>(got) == sizeof buffer) {
        *error = "cannot read " + path;
        return false;
    }
    text->assign(buffer, static_cast<std::size_t>(got));
    return true;
}

}  // namespace

bool loadS3Credentials(const std::string& path, std::string* accessKey, std::string* secretKey,
                       std::string* error) {
    if (path.empty()) {
        const char* id = std::getenv("AWS_ACCESS_KEY_ID");
        const char* secret = std::getenv("AWS_SECRET_ACCESS_KEY");
        *accessKey = id ? id : "";
        *secretKey = secret ? secret : "";
        if (accessKey->empty() || secretKey->empty()) {
            *error =
                "the S3 store needs AWS_ACCESS_KEY_ID and AWS_SECRET_ACCESS_KEY in the "
                "environment, or --s3-credentials FILE";
            return false;
        }
        return true;
    }
    std::string text;
    if (!readCredentialsFile(path, &text, error)) return false;
    std::size_t newline = text.find('\n');
    *accessKey = trimmed(text.substr(0, newline));
    *secretKey = newline == std::string::npos ? "" : trimmed(text.substr(newline + 1));
    if (std::size_t end = secretKey->find('\n'); end != std::string::npos) secretKey->erase(end);
    *secretKey = trimmed(*secretKey);
    if (accessKey->empty() || secretKey->empty()) {
        *error = path +
                 " must hold the access key id on its first line and the secret key on "
                 "its second";
        return false;
    }
    return true;
}
