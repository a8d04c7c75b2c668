// The HTTP face of the service. httplib::Server does the request parsing, multipart decoding,
// routing and response writing; this class adds the routes and runs httplib's per-request
// processing over a ConnectionStream, which enforces the time and size limits.
//
//   POST /api.php                    store the part "file"; the answer's body is the link alone
//   GET, HEAD /NAME                  a stored image
//   GET, HEAD /delete/NAME/TOKEN     a page that asks before deleting
//   POST, DELETE /delete/NAME/TOKEN  delete the image
//
// Deleting takes a second step because a GET can be fetched by link previews and prefetchers
// that nobody meant to act on.
#pragma once

#include <httplib.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "connection_stream.h"
#include "deletion_key.h"
#include "listener.h"
#include "storage.h"

struct ServiceSettings {
    std::string publicUrl;  // without a trailing '/'
    std::uint64_t maxImageBytes = 32ull << 20;
    ConnectionLimits limits;
    std::chrono::milliseconds keepAliveTimeout{5'000};
};

class UploadService : private httplib::Server {
  public:
    UploadService(const ServiceSettings& settings, const Storage& storage, const DeletionKey& key);
    ~UploadService() override;

    // Serves requests on `fd` until the client leaves, a limit is reached or the listener stops
    // and the current request is done. Closes `fd`.
    void serveConnection(int fd, const Listener& listener);

  private:
    void handleUpload(const httplib::Request& req, httplib::Response& res,
                      const httplib::ContentReader& reader);
    void handleImage(const httplib::Request& req, httplib::Response& res);
    void handleDeletion(const httplib::Request& req, httplib::Response& res);
    void completeErrorAnswer(const httplib::Request& req, httplib::Response& res) const;
    void logRequest(const httplib::Request& req, const httplib::Response& res) const;
    void answerStalledRequest(ConnectionStream& stream) const;

    ServiceSettings settings_;
    const Storage& storage_;
    const DeletionKey& key_;
};
