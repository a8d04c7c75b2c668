#include "s3_store.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>

#include <cerrno>
#include <system_error>
#include <vector>

#include "random_token.h"
#include "stored_name.h"

namespace {

constexpr std::size_t kWriteBlock = 64 * 1024;

std::string describeErrno(const std::string& what, int err) {
    return what + ": " + std::error_code(err, std::generic_category()).message();
}

std::string base64(const unsigned char* data, std::size_t size) {
    std::vector<unsigned char> out(4 * ((size + 2) / 3) + 1);
    int written = EVP_EncodeBlock(out.data(), data, static_cast<int>(size));
    return std::string(reinterpret_cast<char*>(out.data()), static_cast<std::size_t>(written));
}

class Digest {
  public:
    explicit Digest(const EVP_MD* kind) : context_(EVP_MD_CTX_new()) {
        EVP_DigestInit_ex(context_, kind, nullptr);
    }
    ~Digest() { EVP_MD_CTX_free(context_); }
    Digest(const Digest&) = delete;
    Digest& operator=(const Digest&) = delete;
    void update(const void* data, std::size_t size) { EVP_DigestUpdate(context_, data, size); }
    std::vector<unsigned char> finish() {
        std::vector<unsigned char> out(EVP_MAX_MD_SIZE);
        unsigned size = 0;
        EVP_DigestFinal_ex(context_, out.data(), &size);
        out.resize(size);
        return out;
    }

  private:
    EVP_MD_CTX* context_;
};

class S3Upload : public ImageUpload {
  public:
    explicit S3Upload(const S3Store& store) : store_(store) {}

    bool begin() override {
        file_ = store_.temporaryFile(&error_);
        buffer_.reserve(kWriteBlock);
        return file_.valid();
    }

    bool append(const void* data, std::size_t size) override {
        sha256_.update(data, size);
        md5_.update(data, size);
        size_ += size;
        const auto* bytes = static_cast<const unsigned char*>(data);
        buffer_.insert(buffer_.end(), bytes, bytes + size);
        return buffer_.size() < kWriteBlock || flush();
    }

    CommitResult commit(const std::string& name) override {
        if (!flush()) return CommitResult::Failed;
        if (sha256Hex_.empty()) {
            std::vector<unsigned char> sha = sha256_.finish();
            std::vector<unsigned char> md5 = md5_.finish();
            sha256Hex_ = hexBytes(sha.data(), sha.size());
            md5Base64_ = base64(md5.data(), md5.size());
        }
        S3Request request;
        request.method = "PUT";
        request.key = store_.client().settings().prefix + name;
        request.payloadSha256 = sha256Hex_;
        request.uploadFd = file_.get();
        request.uploadSize = size_;
        request.headers = {"Content-MD5: " + md5Base64_,
                           std::string("Content-Type: ") + imageContentType(parseStoredName(name)),
                           "If-None-Match: *"};
        S3Answer answer = store_.client().perform(request);
        if (answer.status == 200) return CommitResult::Committed;
        if (answer.status == 412) return CommitResult::NameTaken;
        error_ = store_.client().describe(request, answer);
        return CommitResult::Failed;
    }

    std::string errorText() const override { return error_; }

  private:
    bool flush() {
        std::size_t done = 0;
        while (done < buffer_.size()) {
            ssize_t written = ::write(file_.get(), buffer_.data() + done, buffer_.size() - done);
            if (written < 0 && errno == EINTR) continue;
            if (written < 0) {
                error_ = describeErrno("cannot write a temporary file", errno);
                return false;
            }
            done += static_cast<std::size_t>(written);
        }
        buffer_.clear();
        return true;
    }

    const S3Store& store_;
    UniqueFd file_;
    std::vector<unsigned char> buffer_;
    std::uint64_t size_ = 0;
    Digest sha256_{EVP_sha256()};
    Digest md5_{EVP_md5()};
    std::string sha256Hex_;
    std::string md5Base64_;
    std::string error_;
};

}  // namespace

S3Store::S3Store(S3Settings settings, std::string tempDir)
    : client_(std::move(settings)), tempDir_(std::move(tempDir)) {}

bool S3Store::open(std::string* error, std::string* warning) {
    if (::mkdir(tempDir_.c_str(), 0700) != 0 && errno != EEXIST) {
        *error = describeErrno("cannot create " + tempDir_, errno);
        return false;
    }
    tempDirFd_.reset(::open(tempDir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!tempDirFd_.valid()) {
        *error = describeErrno("cannot open " + tempDir_, errno);
        return false;
    }
    S3Request request;
    request.method = "HEAD";
    S3Answer answer = client_.perform(request);
    const std::string where = client_.settings().endpoint + " bucket " + client_.settings().bucket;
    switch (answer.status) {
        case 200:
            return true;
        case 0:
            *warning = "S3 store not reachable yet at " + where + ": " + answer.failure;
            return true;
        case 403:
            *error = "S3 store at " + where +
                     " refused the credentials (HTTP 403); check the access key and secret";
            return false;
        case 404:
            *error = "S3 store at " + where + ": no such bucket";
            return false;
        default:
            *warning = client_.describe(request, answer);
            return true;
    }
}

// A file without a name (O_TMPFILE) cannot outlive the process even by a crash; file systems
// without it get a named file unlinked at once.
UniqueFd S3Store::temporaryFile(std::string* error) const {
    UniqueFd unnamed(::openat(tempDirFd_.get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (unnamed.valid()) return unnamed;
    std::string name = ".tmp-" + randomToken(12);
    UniqueFd file(::openat(tempDirFd_.get(), name.c_str(),
                           O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!file.valid()) {
        *error = describeErrno("cannot create a temporary file in " + tempDir_, errno);
        return file;
    }
    ::unlinkat(tempDirFd_.get(), name.c_str(), 0);
    return file;
}

std::unique_ptr<ImageUpload> S3Store::newUpload() const {
    return std::make_unique<S3Upload>(*this);
}

StoredImage S3Store::find(const std::string& name, bool withBody) const {
    StoredImage image;
    S3Request request;
    request.method = withBody ? "GET" : "HEAD";
    request.key = client_.settings().prefix + name;
    if (withBody) {
        image.body = temporaryFile(&image.error);
        if (!image.body.valid()) return image;
        request.downloadFd = image.body.get();
    }
    S3Answer answer = client_.perform(request);
    if (answer.status == 404) {
        image.result = StoreResult::Missing;
        image.body.reset();
        return image;
    }
    if (answer.status != 200) {
        image.error = client_.describe(request, answer);
        image.body.reset();
        return image;
    }
    image.result = StoreResult::Found;
    image.size = answer.contentLength;
    if (withBody) {
        struct stat info;
        if (::fstat(image.body.get(), &info) != 0) {
            image.result = StoreResult::Failed;
            image.error = describeErrno("cannot examine a temporary file", errno);
            image.body.reset();
            return image;
        }
        image.size = static_cast<std::uint64_t>(info.st_size);
    }
    return image;
}

// S3 answers a DELETE the same whether or not the object existed; the HEAD before it tells
// the user which it was.
ImageStore::RemoveResult S3Store::remove(const std::string& name, std::string* error) const {
    StoredImage image = find(name, false);
    if (image.result == StoreResult::Missing) return RemoveResult::Missing;
    if (image.result == StoreResult::Failed) {
        *error = image.error;
        return RemoveResult::Failed;
    }
    S3Request request;
    request.method = "DELETE";
    request.key = client_.settings().prefix + name;
    S3Answer answer = client_.perform(request);
    if (answer.status == 204 || answer.status == 200) return RemoveResult::Removed;
    *error = client_.describe(request, answer);
    return RemoveResult::Failed;
}
