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
#include <string>

#include "connection_table.h"
#include "deletion_key.h"
#include "image_store.h"

struct MHD_Daemon;

struct ServiceSettings {
    std::string publicUrl;  // without a trailing '/'
    std::uint64_t maxImageBytes = 32ull << 20;
    std::size_t maxConnections = 4096;
    std::size_t eventThreads = 8;
    ConnectionRules rules;
    std::chrono::milliseconds readTimeout{10'000};
    std::chrono::milliseconds writeTimeout{10'000};
    std::chrono::milliseconds keepAliveTimeout{5'000};
};

class UploadService {
  public:
    UploadService(const ServiceSettings& settings, const ImageStore& store, const DeletionKey& key);
    ~UploadService();
    UploadService(const UploadService&) = delete;
    UploadService& operator=(const UploadService&) = delete;

    // Serves on `listenFd`, which it takes over. false with a message in `error`.
    bool start(int listenFd, std::string* error);

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
    bool admits(const void* clientAddress) const;

  private:
    int firstCall(void* connection, Request& request);
    int bodyData(void* connection, Request& request, const char* data, std::size_t* dataSize);
    int bodyDone(void* connection, Request& request);
    int answerImage(void* connection, Request& request);
    int answerDeletionPage(void* connection, Request& request);
    int answerLookupFailure(void* connection, Request& request, const StoredImage& image);
    void storeUpload(Request& request);
    void deleteImage(Request& request);
    void answerStoreFailure(Request& request, const std::string& what);

    ServiceSettings settings_;
    const ImageStore& store_;
    const DeletionKey& key_;
    ConnectionTable table_;
    MHD_Daemon* daemon_ = nullptr;
};
