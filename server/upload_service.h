// The HTTP face of the service, on libmicrohttpd. A pool of event threads (epoll) carries every
// connection, however slow, so an idle or trickling client costs a descriptor and a little
// memory, never a thread. Handlers run on those threads only once a request's head (and, for
// an upload or a deletion, its body) has fully arrived, so the disk's slow steps (fsync,
// rename) can hold a thread for milliseconds but a client never can. ConnectionTable adds the
// per-address limit and the deadlines the library lacks.
//
//   POST /api.php                    store the part "file"; the answer's body is the link alone
//   GET, HEAD /NAME                  a stored image
//   GET, HEAD /delete/NAME/TOKEN     a page that asks before deleting
//   POST, DELETE /delete/NAME/TOKEN  delete the image
//
// Deleting takes a second step because a GET can be fetched by link previews and prefetchers
// that nobody meant to act on.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "connection_table.h"
#include "deletion_key.h"
#include "image_store.h"
#include "server_defaults.h"
#include "server_log.h"
#include "upload_access.h"

struct MHD_Daemon;

struct ServiceSettings {
    std::string publicUrl;  // without a trailing '/'
    std::uint64_t maxImageBytes = defaults::kMaxImageBytes;
    std::size_t maxConnections = defaults::kMaxConnections;
    std::size_t eventThreads = defaults::kThreads;
    ConnectionRules rules;
    std::chrono::milliseconds readTimeout = defaults::kReadTimeout;
    std::chrono::milliseconds writeTimeout = defaults::kWriteTimeout;
    std::chrono::milliseconds keepAliveTimeout = defaults::kKeepAliveTimeout;
    std::size_t logLinesPerSecond = defaults::kLogLinesPerSecond;
    UploadSources uploadFrom;     // addresses that upload without a token
    std::string tlsCert, tlsKey;  // PEM text; empty: plain HTTP
};

class UploadService {
  public:
    UploadService(const ServiceSettings& settings, const ImageStore& store, const DeletionKey& key);
    ~UploadService();
    UploadService(const UploadService&) = delete;
    UploadService& operator=(const UploadService&) = delete;

    // Serves on `listenFd`, which it takes over. false with a message in `error`.
    bool start(int listenFd, std::string* error);

    // The tokens that allow uploads from other addresses; nullptr: none (the default). Safe to
    // call while serving, as a reload does.
    void setUploadTokens(std::shared_ptr<const UploadTokens> tokens);

    // Ends connections past their head or request deadline; to be called a few times a second.
    void expireOverdue();

    // Stops accepting, lets the requests in progress finish within `grace`, then closes all.
    void stop(std::chrono::milliseconds grace);

    // The callbacks libmicrohttpd calls; public only so that its C callbacks can reach them.
    struct Request;
    int handle(void* connection, const char* url, const char* method, const char* version,
               const char* data, std::size_t* dataSize, void** requestSlot);
    void requestCompleted(void* connection, void** requestSlot);
    void connectionEvent(void* connection, bool opened);
    bool admits(const void* clientAddress);

  private:
    int firstCall(void* connection, Request& request);
    int bodyData(void* connection, Request& request, const char* data, std::size_t* dataSize);
    int bodyDone(void* connection, Request& request);
    // Tells the connection table once an answer is queued; passes `result` on.
    int noteAnswer(void* connection, const Request& request, int result);
    int answerImage(void* connection, Request& request);
    // 0 when `client` may upload; else 401 (a token would do) or 403.
    int uploadRefusal(void* connection, const std::string& client);
    int answerDeletionPage(void* connection, Request& request);
    int answerLookupFailure(void* connection, Request& request, const StoredImage& image);
    void storeUpload(Request& request);
    void deleteImage(Request& request);
    void logRequestLine(const std::string& line);
    void reportHeldBackLines(std::chrono::steady_clock::time_point now);
    void answerStoreFailure(Request& request, const std::string& what);

    ServiceSettings settings_;
    const ImageStore& store_;
    const DeletionKey& key_;
    ConnectionTable table_;
    LogRateLimit logLimit_;
    std::mutex tokensMutex_;
    std::shared_ptr<const UploadTokens> tokens_;
    std::chrono::steady_clock::time_point lastShedReport_{};
    std::uint64_t shedReported_ = 0;  // of the table's shed count
    MHD_Daemon* daemon_ = nullptr;
};
