#include "upload_service.h"

#include <fcntl.h>
#include <microhttpd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "image_request.h"
#include "multipart_reader.h"
#include "request_framing.h"
#include "server_log.h"
#include "stored_name.h"
#include "upload_receiver.h"

namespace {

using Clock = std::chrono::steady_clock;

// The request head, and the part of a body in flight, live in each connection's memory pool;
// a head over this size is answered 431 by the library.
constexpr std::size_t kConnectionMemory = 64 * 1024;

// Stored images never change under their name, so caches may keep them for good.
const char kImmutableCaching[] = "public, max-age=31536000, immutable";

unsigned wholeSeconds(std::chrono::milliseconds time) {
    return static_cast<unsigned>((time.count() + 999) / 1000);
}

std::string escapeHtml(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

MHD_Connection* asConnection(void* connection) {
    return static_cast<MHD_Connection*>(connection);
}

std::string headerValue(void* connection, const char* name) {
    const char* value =
        MHD_lookup_connection_value(asConnection(connection), MHD_HEADER_KIND, name);
    return value ? value : "";
}

MHD_Result collectField(void* cls, MHD_ValueKind, const char* key, size_t keySize,
                        const char* value, size_t valueSize) {
    static_cast<std::vector<HeadField>*>(cls)->push_back(
        {std::string(key, keySize), value ? std::string(value, valueSize) : std::string()});
    return MHD_YES;
}

// The table sheds connections from 7/8 of the library's limit on, so that the connections shed
// have time to close before the library turns newcomers away.
ConnectionRules connectionRules(const ServiceSettings& settings) {
    ConnectionRules rules = settings.rules;
    rules.shedFrom = settings.maxConnections - settings.maxConnections / 8;
    return rules;
}

enum class Route { Upload, Image, DeletionPage, Deletion, NotFound };

}  // namespace

// One request, from its head to the end of its answer.
struct UploadService::Request {
    bool headSeen = false;
    Route route = Route::NotFound;
    Clock::time_point started = Clock::now();
    std::chrono::system_clock::time_point startedWall = std::chrono::system_clock::now();
    RequestLogEntry log;
    std::string name;  // the stored name a deletion or image request is about
    std::uint64_t bodyBytes = 0;
    std::optional<MultipartReader> multipart;
    std::optional<UploadReceiver> receiver;
    // The answer decided by storeUpload or deleteImage.
    int status = 0;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
};

namespace {

// Errors end the connection: after one, the rest of what the client sent cannot be trusted to
// start a new request. A 404 is no error of the client's stream.
bool closesConnection(int status) {
    return status >= 400 && status != 404;
}

int queue(void* connection, UploadService::Request& request, int status, MHD_Response* response,
          std::uint64_t bodyBytes, std::chrono::milliseconds writeTimeout) {
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    if (closesConnection(status)) {
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    }
    // From here on the client is the slow side: give it the write time-out.
    MHD_set_connection_option(asConnection(connection), MHD_CONNECTION_OPTION_TIMEOUT,
                              wholeSeconds(writeTimeout));
    request.log.status = status;
    request.log.bodyBytes = bodyBytes;
    MHD_Result queued =
        MHD_queue_response(asConnection(connection), static_cast<unsigned>(status), response);
    MHD_destroy_response(response);
    return queued;
}

MHD_Response* textResponse(const std::string& text, const char* type = "text/plain") {
    MHD_Response* response = MHD_create_response_from_buffer(
        text.size(), const_cast<char*>(text.data()), MHD_RESPMEM_MUST_COPY);
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    return response;
}

// The body of an answer to HEAD, which the library never asks for; it only needs the size.
ssize_t noBodyForHead(void*, uint64_t, char*, size_t) {
    return MHD_CONTENT_READER_END_WITH_ERROR;
}

// --- libmicrohttpd's C callbacks, forwarding to the service ----------------------------------

MHD_Result onRequest(void* cls, MHD_Connection* connection, const char* url, const char* method,
                     const char* version, const char* data, size_t* dataSize, void** slot) {
    return static_cast<UploadService*>(cls)->handle(connection, url, method, version, data,
                                                    dataSize, slot)
               ? MHD_YES
               : MHD_NO;
}

void onCompleted(void* cls, MHD_Connection* connection, void** slot, MHD_RequestTerminationCode) {
    static_cast<UploadService*>(cls)->requestCompleted(connection, slot);
}

void onConnection(void* cls, MHD_Connection* connection, void**,
                  MHD_ConnectionNotificationCode code) {
    static_cast<UploadService*>(cls)->connectionEvent(connection,
                                                      code == MHD_CONNECTION_NOTIFY_STARTED);
}

// Called with the request target as sent, before the library decodes it. Routing works on this
// text: stored names never need escaping, and a decoded "%00" would cut a C string short.
void* onRequestLine(void*, const char* target, MHD_Connection*) {
    auto* request = new UploadService::Request;
    request->log.target = target ? target : "";
    return request;
}

MHD_Result onAccept(void* cls, const sockaddr* address, socklen_t) {
    return static_cast<UploadService*>(cls)->admits(address) ? MHD_YES : MHD_NO;
}

}  // namespace

UploadService::UploadService(const ServiceSettings& settings, const ImageStore& store,
                             const DeletionKey& key)
    : settings_(settings),
      store_(store),
      key_(key),
      table_(connectionRules(settings)),
      logLimit_(settings.logLinesPerSecond) {}

UploadService::~UploadService() {
    if (daemon_) stop(std::chrono::milliseconds(0));
}

bool UploadService::start(int listenFd, std::string* error) {
    unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_USE_ITC;  // ITC: for quiesce
    // HTTPS through the library's own TLS (GnuTLS); the PEM text stays in settings_ for as long
    // as the daemon runs.
    std::vector<MHD_OptionItem> tls;
    if (!settings_.tlsCert.empty()) {
        flags |= MHD_USE_TLS;
        tls.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(settings_.tlsCert.c_str())});
        tls.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(settings_.tlsKey.c_str())});
    }
    tls.push_back({MHD_OPTION_END, 0, nullptr});
    daemon_ = MHD_start_daemon(
        flags, 0, onAccept, this, onRequest, this, MHD_OPTION_LISTEN_SOCKET, listenFd,
        MHD_OPTION_CONNECTION_LIMIT, static_cast<unsigned>(settings_.maxConnections),
        MHD_OPTION_CONNECTION_TIMEOUT, wholeSeconds(settings_.readTimeout),
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory, MHD_OPTION_THREAD_POOL_SIZE,
        static_cast<unsigned>(settings_.eventThreads), MHD_OPTION_NOTIFY_COMPLETED, onCompleted,
        this, MHD_OPTION_NOTIFY_CONNECTION, onConnection, this, MHD_OPTION_URI_LOG_CALLBACK,
        onRequestLine, this, MHD_OPTION_ARRAY, tls.data(), MHD_OPTION_END);
    if (!daemon_) {
        ::close(listenFd);
        *error =
            settings_.tlsCert.empty()
                ? "cannot start the HTTP layer (libmicrohttpd)"
                : "cannot start the HTTPS layer (libmicrohttpd): check --tls-cert and --tls-key";
        return false;
    }
    return true;
}

void UploadService::setUploadTokens(std::shared_ptr<const UploadTokens> tokens) {
    std::lock_guard<std::mutex> lock(tokensMutex_);
    tokens_ = std::move(tokens);
}

int UploadService::uploadRefusal(void* connection, const std::string& client) {
    if (settings_.uploadFrom.contains(client)) return 0;
    std::shared_ptr<const UploadTokens> tokens;
    {
        std::lock_guard<std::mutex> lock(tokensMutex_);
        tokens = tokens_;
    }
    if (!tokens) return 403;
    return tokens->accepts(bearerToken(headerValue(connection, "Authorization"))) ? 0 : 401;
}

void UploadService::expireOverdue() {
    Clock::time_point now = Clock::now();
    table_.expire(now);
    reportHeldBackLines(now);
    // Shedding means the service is under a crowd: worth a line, but not one per connection.
    if (now - lastShedReport_ >= std::chrono::seconds(10)) {
        std::uint64_t shed = table_.shedCount();
        if (shed > shedReported_) {
            logMessage(
                "connections nearly at --max-connections: " + std::to_string(shed - shedReported_) +
                " shed to make room (unfinished heads and slow bodies)");
        }
        shedReported_ = shed;
        lastShedReport_ = now;
    }
}

void UploadService::stop(std::chrono::milliseconds grace) {
    if (!daemon_) return;
    MHD_socket listenFd = MHD_quiesce_daemon(daemon_);
    if (listenFd != MHD_INVALID_SOCKET) ::close(listenFd);
    auto deadline = Clock::now() + grace;
    while (table_.requestsInProgress() > 0 && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        table_.expire(Clock::now());
    }
    MHD_stop_daemon(daemon_);
    daemon_ = nullptr;
    reportHeldBackLines(Clock::now() + std::chrono::seconds(1));  // the last second is over too
}

bool UploadService::admits(const void* clientAddress) {
    return table_.admit(clientAddressText(clientAddress), Clock::now());
}

void UploadService::connectionEvent(void* connection, bool opened) {
    if (!opened) {
        table_.closed(connection);
        return;
    }
    const MHD_ConnectionInfo* fd =
        MHD_get_connection_info(asConnection(connection), MHD_CONNECTION_INFO_CONNECTION_FD);
    const MHD_ConnectionInfo* peer =
        MHD_get_connection_info(asConnection(connection), MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    std::string address = peer ? clientAddressText(peer->client_addr) : "-";
    table_.opened(connection, fd ? fd->connect_fd : -1, address, Clock::now());
}

int UploadService::handle(void* connection, const char* url, const char* method,
                          const char* version, const char* data, std::size_t* dataSize,
                          void** requestSlot) {
    auto* request = static_cast<Request*>(*requestSlot);
    if (!request) {  // the library always makes one through onRequestLine; never rely on it
        request = new Request;
        request->log.target = url;
        *requestSlot = request;
    }
    if (!request->headSeen) {
        request->headSeen = true;
        request->started = Clock::now();
        request->startedWall = std::chrono::system_clock::now();
        request->log.when = request->startedWall;
        request->log.method = method;
        request->log.version = version;
        const MHD_ConnectionInfo* peer =
            MHD_get_connection_info(asConnection(connection), MHD_CONNECTION_INFO_CLIENT_ADDRESS);
        request->log.client = peer ? clientAddressText(peer->client_addr) : "-";
        // Behind a proxy we trust, the client is the hop it appended; anyone else's header is
        // ignored, or a client could pass for any address.
        if (isTrusted(settings_.rules.trusted, request->log.client)) {
            std::string hop = lastForwardedHop(headerValue(connection, "X-Forwarded-For"));
            if (!hop.empty()) request->log.client = hop;
        }
        table_.headArrived(connection, Clock::now());
        MHD_set_connection_option(asConnection(connection), MHD_CONNECTION_OPTION_TIMEOUT,
                                  wholeSeconds(settings_.readTimeout));
        return noteAnswer(connection, *request, firstCall(connection, *request));
    }
    if (*dataSize > 0) return bodyData(connection, *request, data, dataSize);
    // The whole request is in: storing it (fsync) is the service's time, never the client's.
    table_.answering(connection);
    return bodyDone(connection, *request);
}

int UploadService::noteAnswer(void* connection, const Request& request, int result) {
    if (request.log.status != 0) table_.answering(connection);
    return result;
}

int UploadService::firstCall(void* connection, Request& request) {
    auto fail = [&](int status, const std::string& message) {
        return queue(connection, request, status, textResponse(message), message.size(),
                     settings_.writeTimeout);
    };
    std::vector<HeadField> fields;
    MHD_get_connection_values_n(asConnection(connection), MHD_HEADER_KIND, collectField, &fields);
    HeadVerdict verdict = checkRequestHead(request.log.method, request.log.version, fields);
    if (verdict.status != 0) return fail(verdict.status, verdict.reason);
    std::vector<std::string> contentLengths;
    bool transferEncoding = false;
    for (const HeadField& field : fields) {
        if (::strcasecmp(field.name.c_str(), MHD_HTTP_HEADER_CONTENT_LENGTH) == 0) {
            contentLengths.push_back(field.value);
        } else if (::strcasecmp(field.name.c_str(), MHD_HTTP_HEADER_TRANSFER_ENCODING) == 0) {
            transferEncoding = true;
        }
    }
    if (!bodyFramingIsUnambiguous(contentLengths, transferEncoding)) {
        return fail(400, "conflicting Content-Length or Transfer-Encoding headers");
    }
    const std::string& method = request.log.method;
    const std::string path = request.log.target.substr(0, request.log.target.find('?'));
    bool reading = method == "GET" || method == "HEAD";
    if (path == "/api.php" && method == "POST") {
        if (int refusal = uploadRefusal(connection, request.log.client)) {
            if (refusal == 403) return fail(403, "uploads are not accepted from this address");
            const std::string message = "an upload token is needed (Authorization: Bearer)";
            MHD_Response* response = textResponse(message);
            MHD_add_response_header(response, "WWW-Authenticate", "Bearer");
            return queue(connection, request, 401, response, message.size(),
                         settings_.writeTimeout);
        }
        std::string boundary = multipartBoundary(headerValue(connection, "Content-Type"));
        if (boundary.empty()) {
            return fail(400, "expected a multipart/form-data body with a part named \"file\"");
        }
        std::uint64_t declared = 0;
        if (!contentLengths.empty()) {
            declared = std::strtoull(contentLengths.front().c_str(), nullptr, 10);
        }
        if (declared > settings_.maxImageBytes + kMultipartOverhead) {
            return fail(413, "the image is larger than " + std::to_string(settings_.maxImageBytes) +
                                 " bytes");
        }
        request.route = Route::Upload;
        request.multipart.emplace(boundary);
        request.receiver.emplace(store_, settings_.maxImageBytes);
        return 1;
    }
    if (path.rfind("/delete/", 0) == 0) {
        std::string rest = path.substr(std::string("/delete/").size());
        std::size_t slash = rest.find('/');
        std::string name = rest.substr(0, slash);
        std::string token = slash == std::string::npos ? std::string() : rest.substr(slash + 1);
        if (parseStoredName(name) == ImageKind::Unknown || !key_.accepts(name, token)) {
            return fail(404, "not found");
        }
        request.name = name;
        if (reading) {
            request.route = Route::DeletionPage;
        } else if (method == "POST" || method == "DELETE") {
            request.route = Route::Deletion;
        } else {
            return fail(405, "method not allowed");
        }
        return 1;
    }
    if (!reading) return fail(404, "not found");
    request.name = path.substr(1);
    request.route = Route::Image;
    // Answered once the library knows there is no body left to read: an answer queued at the
    // head would make it close the connection, keep-alive or not.
    return 1;
}

int UploadService::bodyData(void* connection, Request& request, const char* data,
                            std::size_t* dataSize) {
    std::size_t size = *dataSize;
    *dataSize = 0;
    request.bodyBytes += size;
    if (request.route != Route::Upload) {
        // Nothing else takes a body; a small one is dropped, a large one ends the connection.
        return request.bodyBytes <= kMultipartOverhead;
    }
    if (request.bodyBytes > settings_.maxImageBytes + kMultipartOverhead) {
        // A declared length was checked at the head, and chunked bodies are refused there, so
        // this only guards the sum; past it the connection ends without an answer.
        request.log.status = 413;
        request.log.note = "body over the limit";
        return 0;
    }
    request.multipart->feed(data, size, *request.receiver);
    (void)connection;
    return 1;
}

int UploadService::bodyDone(void* connection, Request& request) {
    if (request.route == Route::Upload && request.multipart->complete()) storeUpload(request);
    if (request.route == Route::Deletion) deleteImage(request);
    if (request.status != 0) {
        MHD_Response* response = textResponse(request.body);
        for (const auto& [name, value] : request.headers) {
            MHD_add_response_header(response, name.c_str(), value.c_str());
        }
        return queue(connection, request, request.status, response, request.body.size(),
                     settings_.writeTimeout);
    }
    switch (request.route) {
        case Route::Upload: {
            // The body ended before the form's closing delimiter.
            bool tooLarge = request.receiver->tooLarge();
            const std::string message = tooLarge
                                            ? "the image is larger than " +
                                                  std::to_string(settings_.maxImageBytes) + " bytes"
                                            : "malformed or incomplete multipart body";
            return queue(connection, request, tooLarge ? 413 : 400, textResponse(message),
                         message.size(), settings_.writeTimeout);
        }
        case Route::Deletion:
        case Route::Image:
            return answerImage(connection, request);
        case Route::DeletionPage:
            return answerDeletionPage(connection, request);
        case Route::NotFound:
            break;
    }
    return 0;
}

void UploadService::storeUpload(Request& request) {
    std::string tooLarge =
        "the image is larger than " + std::to_string(settings_.maxImageBytes) + " bytes";
    auto answer = [&](int status, std::string body) {
        request.status = status;
        request.body = std::move(body);
    };
    std::string name;
    switch (request.receiver->finish(&name)) {
        case UploadOutcome::Stored:
            // The Glimmerix client takes everything after the headers as the link, so the body
            // is the link alone, without a line break.
            answer(200, settings_.publicUrl + "/" + name);
            request.headers = {{"X-Delete-Url", settings_.publicUrl + "/delete/" + name + "/" +
                                                    key_.tokenFor(name)},
                               {"Cache-Control", "no-store"}};
            request.log.note = name;
            break;
        case UploadOutcome::NoFilePart:
            answer(400, "no part named \"file\" in the form");
            break;
        case UploadOutcome::SeveralFileParts:
            answer(400, "more than one part named \"file\" in the form");
            break;
        case UploadOutcome::NotAnImage:
            answer(415, "the file is neither a PNG nor a JPEG image");
            break;
        case UploadOutcome::TooLarge:
            answer(413, tooLarge);
            break;
        case UploadOutcome::StorageFailed:
            answerStoreFailure(request,
                               "cannot store an upload: " + request.receiver->storageError());
            break;
    }
    request.receiver.reset();  // an upload that was not stored leaves nothing in incoming/
}

// A full or failing disk is 507; a remote store that failed is 503, with a hint to retry.
void UploadService::answerStoreFailure(Request& request, const std::string& what) {
    logMessage(what);
    request.status = store_.failureStatus();
    if (request.status == 503) {
        request.body = "the image store is unavailable; try again shortly";
        request.headers = {{"Retry-After", "5"}};
    } else {
        request.body = "the server's storage is full or failing";
    }
}

void UploadService::deleteImage(Request& request) {
    const std::string link = settings_.publicUrl + "/" + request.name;
    std::string error;
    switch (store_.remove(request.name, &error)) {
        case ImageStore::RemoveResult::Removed:
            request.status = 200;
            request.body = "deleted " + link;
            request.headers = {{"Cache-Control", "no-store"}};
            request.log.note = "deleted " + request.name;
            return;
        case ImageStore::RemoveResult::Missing:
            request.status = 404;
            request.body = "not found";
            return;
        case ImageStore::RemoveResult::Failed:
            answerStoreFailure(request, "cannot delete image " + request.name + ": " + error);
            return;
    }
}

int UploadService::answerDeletionPage(void* connection, Request& request) {
    StoredImage image = store_.find(request.name, false);
    if (image.result != StoreResult::Found) return answerLookupFailure(connection, request, image);
    const std::string link = escapeHtml(settings_.publicUrl + "/" + request.name);
    const std::string page =
        "<!doctype html>\n<meta charset=\"utf-8\">\n<title>Delete image</title>\n"
        "<p>Delete <a href=\"" +
        link + "\">" + link +
        "</a>? This cannot be undone.</p>\n"
        "<form method=\"post\"><button>Delete</button></form>\n";
    MHD_Response* response = textResponse(page, "text/html; charset=utf-8");
    MHD_add_response_header(response, "Cache-Control", "no-store");
    MHD_add_response_header(response, "Referrer-Policy", "no-referrer");
    return queue(connection, request, 200, response, page.size(), settings_.writeTimeout);
}

// A missing image is 404; a store that failed is 500 for the disk and 503 for a remote store.
int UploadService::answerLookupFailure(void* connection, Request& request,
                                       const StoredImage& image) {
    std::string message = "not found";
    int status = 404;
    if (image.result == StoreResult::Failed) {
        logMessage("cannot open image " + request.name + ": " + image.error);
        status = store_.failureStatus() == 503 ? 503 : 500;
        message = status == 503 ? "the image store is unavailable; try again shortly"
                                : "cannot read the image";
    }
    MHD_Response* response = textResponse(message);
    if (status == 503) MHD_add_response_header(response, "Retry-After", "5");
    return queue(connection, request, status, response, message.size(), settings_.writeTimeout);
}

int UploadService::answerImage(void* connection, Request& request) {
    auto fail = [&](int status, const std::string& message, MHD_Response* response = nullptr) {
        if (!response) response = textResponse(message);
        return queue(connection, request, status, response, message.size(), settings_.writeTimeout);
    };
    ImageKind kind = parseStoredName(request.name);
    if (kind == ImageKind::Unknown) return fail(404, "not found");
    const std::string etag = "\"" + request.name + "\"";
    std::string ifNoneMatch = headerValue(connection, "If-None-Match");
    bool notModified = !ifNoneMatch.empty() && etagListMatches(ifNoneMatch, etag);
    StoredImage image = store_.find(request.name, !notModified && request.log.method != "HEAD");
    if (image.result != StoreResult::Found) return answerLookupFailure(connection, request, image);
    const std::uint64_t size = image.size;
    auto addImageHeaders = [&](MHD_Response* response) {
        MHD_add_response_header(response, "ETag", etag.c_str());
        MHD_add_response_header(response, "Cache-Control", kImmutableCaching);
        MHD_add_response_header(response, "Accept-Ranges", "bytes");
        return response;
    };
    if (notModified) {
        MHD_Response* response =
            MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT);
        return queue(connection, request, 304, addImageHeaders(response), 0,
                     settings_.writeTimeout);
    }
    ByteRange range{0, size};
    int status = 200;
    std::string contentRange;
    switch (resolveRange(headerValue(connection, "Range"), size, &range)) {
        case RangeAnswer::Whole:
            break;
        case RangeAnswer::Partial:
            status = 206;
            contentRange = contentRangeValue(range, size);
            break;
        case RangeAnswer::Unsatisfiable: {
            MHD_Response* response = textResponse("range not satisfiable");
            MHD_add_response_header(response, "Content-Range",
                                    ("bytes */" + std::to_string(size)).c_str());
            return fail(416, "range not satisfiable", response);
        }
    }
    // The body goes out with sendfile() straight from the page cache; the response owns the
    // descriptor from here on.
    MHD_Response* response =
        image.body.valid()
            ? MHD_create_response_from_fd_at_offset64(range.length, image.body.release(),
                                                      static_cast<std::uint64_t>(range.offset))
            : MHD_create_response_from_callback(range.length, 4096, noBodyForHead, nullptr,
                                                nullptr);
    if (!response) return 0;
    addImageHeaders(response);
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, imageContentType(kind));
    if (status == 206) {
        MHD_add_response_header(response, "Content-Range", contentRange.c_str());
    }
    std::uint64_t sent = request.log.method == "HEAD" ? 0 : range.length;
    return queue(connection, request, status, response, sent, settings_.writeTimeout);
}

void UploadService::requestCompleted(void* connection, void** requestSlot) {
    auto* request = static_cast<Request*>(*requestSlot);
    *requestSlot = nullptr;
    table_.requestDone(connection, Clock::now());
    MHD_set_connection_option(asConnection(connection), MHD_CONNECTION_OPTION_TIMEOUT,
                              wholeSeconds(settings_.keepAliveTimeout));
    if (!request) return;
    request->log.duration =
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - request->started);
    if (request->log.status != 0) logRequestLine(formatRequestLine(request->log));
    delete request;
}

void UploadService::logRequestLine(const std::string& line) {
    std::uint64_t heldBack = 0;
    bool admitted = logLimit_.admit(Clock::now(), &heldBack);
    if (heldBack > 0) logMessage(heldBackMessage(heldBack, settings_.logLinesPerSecond));
    if (admitted) writeLogLine(line);
}

void UploadService::reportHeldBackLines(Clock::time_point now) {
    std::uint64_t heldBack = logLimit_.takeHeldBack(now);
    if (heldBack > 0) logMessage(heldBackMessage(heldBack, settings_.logLinesPerSecond));
}
