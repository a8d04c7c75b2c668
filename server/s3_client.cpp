#include "s3_client.h"

#include <curl/curl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

// The SHA-256 of no bytes, for requests without a body.
const char kEmptySha256[] = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

// An error answer's XML is kept only this far, enough for its <Code>.
constexpr std::size_t kErrorBodyLimit = 4096;

// The state of one transfer, shared with libcurl's callbacks.
struct Transfer {
    CURL* handle = nullptr;
    const S3Request* request = nullptr;
    std::chrono::milliseconds stallTimeout{0};
    Clock::time_point lastProgress = Clock::now();
    curl_off_t lastBytes = -1;
    bool stalled = false;
    bool writeFailed = false;
    std::string errorBody;
};

size_t readBody(char* buffer, size_t size, size_t count, void* userdata) {
    auto* transfer = static_cast<Transfer*>(userdata);
    // libcurl rewinds through seekBody when it must send the body again on a new connection.
    ssize_t got = ::read(transfer->request->uploadFd, buffer, size * count);
    return got < 0 ? CURL_READFUNC_ABORT : static_cast<size_t>(got);
}

int seekBody(void* userdata, curl_off_t offset, int origin) {
    auto* transfer = static_cast<Transfer*>(userdata);
    if (origin != SEEK_SET) return CURL_SEEKFUNC_CANTSEEK;
    return ::lseek(transfer->request->uploadFd, offset, SEEK_SET) < 0 ? CURL_SEEKFUNC_FAIL
                                                                      : CURL_SEEKFUNC_OK;
}

size_t writeBody(char* data, size_t size, size_t count, void* userdata) {
    auto* transfer = static_cast<Transfer*>(userdata);
    std::size_t total = size * count;
    long status = 0;
    curl_easy_getinfo(transfer->handle, CURLINFO_RESPONSE_CODE, &status);
    if (status / 100 != 2 || transfer->request->downloadFd < 0) {
        std::size_t room = kErrorBodyLimit - std::min(kErrorBodyLimit, transfer->errorBody.size());
        transfer->errorBody.append(data, std::min(room, total));
        return total;
    }
    std::size_t done = 0;
    while (done < total) {
        ssize_t written = ::write(transfer->request->downloadFd, data + done, total - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            transfer->writeFailed = true;
            return 0;  // libcurl ends the transfer with CURLE_WRITE_ERROR
        }
        done += static_cast<std::size_t>(written);
    }
    return total;
}

// libcurl's own low-speed limit counts whole seconds; this counts milliseconds of no byte
// moving in either direction.
int watchProgress(void* userdata, curl_off_t, curl_off_t downloaded, curl_off_t,
                  curl_off_t uploaded) {
    auto* transfer = static_cast<Transfer*>(userdata);
    Clock::time_point now = Clock::now();
    if (downloaded + uploaded != transfer->lastBytes) {
        transfer->lastBytes = downloaded + uploaded;
        transfer->lastProgress = now;
        return 0;
    }
    if (now - transfer->lastProgress > transfer->stallTimeout) {
        transfer->stalled = true;
        return 1;
    }
    return 0;
}

std::string between(const std::string& text, const std::string& open, const std::string& close) {
    std::size_t start = text.find(open);
    if (start == std::string::npos) return "";
    start += open.size();
    std::size_t end = text.find(close, start);
    return end == std::string::npos ? "" : text.substr(start, end - start);
}

std::string seconds(std::chrono::milliseconds time) {
    std::string text = std::to_string(time.count() / 1000);
    if (time.count() % 1000 != 0) {
        char fraction[8];
        std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>(time.count() % 1000));
        text += fraction;
    }
    return text + " s";
}

}  // namespace

std::string hexBytes(const unsigned char* data, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        text += digits[data[i] >> 4];
        text += digits[data[i] & 15];
    }
    return text;
}

std::string encodeObjectKey(const std::string& key) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : key) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~' || c == '/') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        }
    }
    return out;
}

S3Client::S3Client(S3Settings settings)
    : settings_(std::move(settings)),
      userPwd_(settings_.accessKey + ":" + settings_.secretKey),
      sigv4_("aws:amz:" + settings_.region + ":s3") {
    curl_global_init(CURL_GLOBAL_DEFAULT);
}

S3Client::~S3Client() {
    for (void* handle : pool_) curl_easy_cleanup(static_cast<CURL*>(handle));
    curl_global_cleanup();
}

void* S3Client::takeHandle() const {
    {
        std::lock_guard<std::mutex> lock(poolLock_);
        if (!pool_.empty()) {
            void* handle = pool_.back();
            pool_.pop_back();
            return handle;
        }
    }
    return curl_easy_init();
}

// A handle keeps its open connection for the next request that takes it. The pool grows to
// the number of requests ever in flight at once, which the event threads bound.
void S3Client::giveBack(void* handle) const {
    std::lock_guard<std::mutex> lock(poolLock_);
    pool_.push_back(handle);
}

std::string S3Client::url(const std::string& key) const {
    std::string text = settings_.endpoint + "/" + encodeObjectKey(settings_.bucket);
    if (!key.empty()) text += "/" + encodeObjectKey(key);
    return text;
}

S3Answer S3Client::perform(const S3Request& request) const {
    S3Answer answer;
    CURL* handle = static_cast<CURL*>(takeHandle());
    if (!handle) {
        answer.failure = "cannot make a libcurl handle";
        return answer;
    }
    curl_easy_reset(handle);  // keeps the handle's open connections
    Transfer transfer;
    transfer.handle = handle;
    transfer.request = &request;
    transfer.stallTimeout = settings_.stallTimeout;
    char errorText[CURL_ERROR_SIZE] = "";

    const std::string target = url(request.key);
    curl_easy_setopt(handle, CURLOPT_URL, target.c_str());
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(handle, CURLOPT_AWS_SIGV4, sigv4_.c_str());
    curl_easy_setopt(handle, CURLOPT_USERPWD, userPwd_.c_str());
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(settings_.connectTimeout.count()));
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(settings_.totalTimeout.count()));
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, watchProgress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, writeBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);

    // Debian 12's libcurl signs this header when it is given but never adds it; the gateway
    // needs it, and checks the body against it.
    curl_slist* headers = nullptr;
    std::string sha =
        "x-amz-content-sha256: " +
        (request.payloadSha256.empty() ? std::string(kEmptySha256) : request.payloadSha256);
    headers = curl_slist_append(headers, sha.c_str());
    for (const std::string& header : request.headers) {
        headers = curl_slist_append(headers, header.c_str());
    }
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);

    std::string method = request.method;
    if (method == "PUT") {
        ::lseek(request.uploadFd, 0, SEEK_SET);
        curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(handle, CURLOPT_INFILESIZE_LARGE,
                         static_cast<curl_off_t>(request.uploadSize));
        curl_easy_setopt(handle, CURLOPT_READFUNCTION, readBody);
        curl_easy_setopt(handle, CURLOPT_READDATA, &transfer);
        curl_easy_setopt(handle, CURLOPT_SEEKFUNCTION, seekBody);
        curl_easy_setopt(handle, CURLOPT_SEEKDATA, &transfer);
    } else if (method == "HEAD") {
        curl_easy_setopt(handle, CURLOPT_NOBODY, 1L);
    } else if (method != "GET") {
        curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, request.method);
    }

    CURLcode code = curl_easy_perform(handle);
    curl_slist_free_all(headers);
    if (code == CURLE_OK) {
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &answer.status);
        curl_off_t length = 0;
        if (curl_easy_getinfo(handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK &&
            length > 0) {
            answer.contentLength = static_cast<std::uint64_t>(length);
        }
        answer.failure = between(transfer.errorBody, "<Code>", "</Code>");
    } else if (transfer.stalled) {
        answer.failure = "no byte moved for " + seconds(settings_.stallTimeout);
    } else if (transfer.writeFailed) {
        answer.failure = std::string("cannot write a temporary file: ") + std::strerror(errno);
    } else {
        answer.failure = errorText[0] ? errorText : curl_easy_strerror(code);
    }
    if (code == CURLE_OK) {
        giveBack(handle);
    } else {
        // After a failure the connection's state is unknown; a fresh handle starts clean.
        curl_easy_cleanup(handle);
    }
    return answer;
}

std::string S3Client::describe(const S3Request& request, const S3Answer& answer) const {
    std::string text = std::string("S3 ") + request.method + " " + settings_.bucket;
    if (!request.key.empty()) text += "/" + request.key;
    if (answer.status == 0) return text + ": " + answer.failure;
    text += ": HTTP " + std::to_string(answer.status);
    if (!answer.failure.empty()) text += " (" + answer.failure + ")";
    return text;
}
