// The HTTP side of the S3 store: path-style requests to one bucket through libcurl, signed by
// libcurl's own AWS Signature Version 4 (CURLOPT_AWS_SIGV4). Easy handles are pooled, and each
// keeps its connection to the gateway open between requests, so a request normally costs no
// TCP handshake. Every request is bounded by three time-outs: to connect, without any byte
// moving, and in total.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

struct S3Settings {
    std::string endpoint;  // "http://host:port" or "https://host", without a trailing '/'
    std::string bucket;
    std::string region = "us-east-1";
    std::string prefix;  // put before every stored name to make its object key
    std::string accessKey;
    std::string secretKey;
    std::chrono::milliseconds connectTimeout{3'000};
    std::chrono::milliseconds stallTimeout{10'000};
    std::chrono::milliseconds totalTimeout{30'000};
};

struct S3Request {
    const char* method = "GET";
    std::string key;                   // the object key; empty for the bucket itself
    std::vector<std::string> headers;  // "Name: value"
    // The SHA-256 of the body, as lowercase hex, which the gateway checks; without a body,
    // that of the empty string.
    std::string payloadSha256;
    int uploadFd = -1;  // the body, read from offset 0 (the request moves its file offset)
    std::uint64_t uploadSize = 0;
    int downloadFd = -1;  // where a 2xx answer's body is written
};

struct S3Answer {
    long status = 0;  // 0: no answer at all
    std::uint64_t contentLength = 0;
    std::string failure;  // without an answer: what libcurl saw; else the S3 error code, if any
};

class S3Client {
  public:
    explicit S3Client(S3Settings settings);
    ~S3Client();
    S3Client(const S3Client&) = delete;
    S3Client& operator=(const S3Client&) = delete;

    const S3Settings& settings() const { return settings_; }

    S3Answer perform(const S3Request& request) const;

    // "PUT bucket/key: HTTP 500 (InternalError)", or with no answer the reason; for the log.
    std::string describe(const S3Request& request, const S3Answer& answer) const;

  private:
    void* takeHandle() const;
    void giveBack(void* handle) const;
    std::string url(const std::string& key) const;

    S3Settings settings_;
    std::string userPwd_;
    std::string sigv4_;
    mutable std::mutex poolLock_;
    mutable std::vector<void*> pool_;
};

// Every byte but RFC 3986's unreserved characters and '/' as %XX, the way S3 signs a key.
std::string encodeObjectKey(const std::string& key);

// Lowercase hex of `size` bytes.
std::string hexBytes(const unsigned char* data, std::size_t size);
