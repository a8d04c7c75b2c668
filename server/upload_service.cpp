#include "upload_service.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cerrno>
#include <optional>
#include <system_error>

#include "image_request.h"
#include "server_log.h"
#include "stored_name.h"
#include "upload_receiver.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRequestsPerConnection = 100;

// Any value but INVALID_SOCKET; never used as a descriptor.
constexpr socket_t kRunningMarker = 0;

// After the last answer on a connection, unread request bytes would make the kernel reset the
// connection, and a reset can destroy the answer before the client has read it (an early 413
// while the client is still sending, say). So the sending side is shut first and what the
// client still sends is read and dropped, within these bounds. A client that already ran out
// of time, or a server on its way down, gets the short wait.
constexpr auto kLingerTime = std::chrono::milliseconds(2000);
constexpr auto kShortLingerTime = std::chrono::milliseconds(300);
constexpr std::size_t kLingerBytes = 8 << 20;

// Stored images never change under their name, so caches may keep them for good.
const char kImmutableCaching[] = "public, max-age=31536000, immutable";

// The body of a stored image. httplib writes the answer's head; the body then goes out with
// sendfile() straight from the page cache, which halves the work of a download compared with
// copying it through httplib's content provider.
struct FileBody {
    UniqueFd file;
    ByteRange range;
};

// What the handlers, the error handler and the logger need to know about the request in
// progress. httplib hands them the request but not the connection; each worker serves one
// connection at a time, so the worker's thread is where this lives.
struct RequestContext {
    ConnectionStream* stream = nullptr;
    // The request as httplib keeps it, for the one change handlers must make to it: see
    // keepWholeAnswer().
    httplib::Request* request = nullptr;
    Clock::time_point started;
    std::chrono::system_clock::time_point startedWall;
    bool lastRequest = false;  // httplib then marks the answer "Connection: close" itself
    bool handlerRan = false;   // httplib then sets Content-Length on an error answer itself
    std::optional<FileBody> body;
    std::optional<RequestLogEntry> log;  // written once the body is out too
    std::string note;
    bool closeConnection = false;
};
thread_local RequestContext* tRequest = nullptr;

// httplib applies a request's Range header to whatever answer it gets, error messages included.
void keepWholeAnswer() {
    if (tRequest && tRequest->request) tRequest->request->ranges.clear();
}

void answer(httplib::Response& res, int status, const std::string& message) {
    if (tRequest) tRequest->handlerRan = true;
    if (status >= 300) keepWholeAnswer();
    res.status = status;
    res.set_content(message, "text/plain");
}

std::string defaultMessage(int status) {
    switch (status) {
        case 400:
            return "bad request";
        case 404:
            return "not found";
        case 408:
            return "request timed out";
        case 413:
            return "request too large";
        case 414:
            return "request target too long";
        case 431:
            return "request headers too large";
        case 500:
            return "internal error";
        default:
            return "error " + std::to_string(status);
    }
}

// Errors end the connection: after one, the rest of what the client sent cannot be trusted to
// start a new request. A 404 is no error of the client's stream.
bool closesConnection(int status) {
    return status >= 400 && status != 404;
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

// A request without Content-Length or Transfer-Encoding has no body, but httplib would wait for
// one until the client closes: a plain "curl -X DELETE" of a deletion URL would hang.
void prepareRequest(httplib::Request& req) {
    if (req.method != "GET" && req.method != "HEAD" && !req.has_header("Content-Length") &&
        !req.has_header("Transfer-Encoding")) {
        req.set_header("Content-Length", "0");
    }
    // Ranges only make sense for images; elsewhere httplib would cut error messages short.
    // Several ranges get the whole image (see resolveRange), and left in place they would make
    // httplib relabel it as multipart/byteranges.
    if ((req.method != "GET" && req.method != "HEAD") || req.ranges.size() > 1) {
        req.ranges.clear();
    }
}

// Waits for the first byte of the next request. A connection idle between requests also gives
// way when the server stops; a fresh one is always given its chance to send.
bool waitForRequest(int fd, std::chrono::milliseconds limit, int stopEvent) {
    pollfd watched[2] = {{fd, POLLIN, 0}, {stopEvent, POLLIN, 0}};
    nfds_t count = stopEvent >= 0 ? 2 : 1;
    auto deadline = Clock::now() + limit;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        int ready = ::poll(watched, count, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        return ready > 0 && watched[0].revents != 0;
    }
}

void closeGracefully(UniqueFd socket, std::chrono::milliseconds linger, int stopEvent) {
    ::shutdown(socket.get(), SHUT_WR);
    auto deadline = Clock::now() + linger;
    std::size_t drained = 0;
    char sink[16 * 1024];
    while (drained < kLingerBytes) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        pollfd watched[2] = {{socket.get(), POLLIN, 0}, {stopEvent, POLLIN, 0}};
        if (::poll(watched, 2, static_cast<int>(left.count())) <= 0) break;
        if (watched[1].revents && linger > kShortLingerTime) {
            deadline = std::min(deadline, Clock::now() + kShortLingerTime);
            linger = kShortLingerTime;
        }
        if (!watched[0].revents) continue;
        ssize_t got = ::recv(socket.get(), sink, sizeof sink, 0);
        if (got <= 0) break;
        drained += static_cast<std::size_t>(got);
    }
}

std::string describeErrno(int err) {
    return std::error_code(err, std::generic_category()).message();
}

void finishLogLine(RequestContext& context) {
    if (!context.log) return;
    context.log->duration =
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - context.started);
    writeLogLine(formatRequestLine(*context.log));
    context.log.reset();
}

}  // namespace

UploadService::UploadService(const ServiceSettings& settings, const Storage& storage,
                             const DeletionKey& key)
    : settings_(settings), storage_(storage), key_(key) {
    // httplib stops streaming a response body once svr_sock_ is INVALID_SOCKET, its sign of a
    // server shutting down. Here Listener owns the socket and lets answers in progress finish,
    // so the field only has to say "running" for as long as this object lives.
    svr_sock_ = kRunningMarker;

    using httplib::ContentReader;
    using httplib::Request;
    using httplib::Response;
    Post("/api\\.php", [this](const Request& req, Response& res, const ContentReader& reader) {
        handleUpload(req, res, reader);
    });
    auto deletion = [this](const Request& req, Response& res) { handleDeletion(req, res); };
    Get("/delete/.*", deletion);
    Post("/delete/.*", deletion);
    Delete("/delete/.*", deletion);
    Get(".*", [this](const Request& req, Response& res) { handleImage(req, res); });

    set_error_handler(HandlerWithResponse([this](const Request& req, Response& res) {
        completeErrorAnswer(req, res);
        return HandlerResponse::Unhandled;  // httplib's own handling of the answer stays as is
    }));
    set_logger([this](const Request& req, const Response& res) { logRequest(req, res); });
    set_default_headers({{"X-Content-Type-Options", "nosniff"}});
    set_payload_max_length(settings_.maxImageBytes + kMultipartOverhead);
    // Only advertised in Keep-Alive headers; serveConnection() enforces them.
    set_keep_alive_max_count(kRequestsPerConnection);
    set_keep_alive_timeout(
        std::chrono::duration_cast<std::chrono::seconds>(settings_.keepAliveTimeout).count());
    // A client that asks before sending a large body learns at once that it is too large.
    set_expect_100_continue_handler([this](const Request& req, Response& res) {
        std::uint64_t declared = req.get_header_value<std::uint64_t>("Content-Length");
        if (req.method == "POST" && declared > settings_.maxImageBytes + kMultipartOverhead) {
            // Not answer(): no handler runs for this request, see completeErrorAnswer().
            res.status = 413;
            res.set_content(
                "the image is larger than " + std::to_string(settings_.maxImageBytes) + " bytes",
                "text/plain");
            return 413;
        }
        return 100;
    });
}

UploadService::~UploadService() {
    svr_sock_ = INVALID_SOCKET;
}

void UploadService::handleUpload(const httplib::Request& req, httplib::Response& res,
                                 const httplib::ContentReader& reader) {
    if (tRequest) tRequest->handlerRan = true;
    if (!req.is_multipart_form_data()) {
        answer(res, 400, "expected a multipart/form-data body with a part named \"file\"");
        return;
    }
    UploadReceiver receiver(storage_, settings_.maxImageBytes);
    bool complete = reader(
        [&](const httplib::MultipartFormData& part) {
            receiver.beginPart(part.name);
            return true;
        },
        [&](const char* data, std::size_t size) { return receiver.addData(data, size); });

    std::string tooLarge =
        "the image is larger than " + std::to_string(settings_.maxImageBytes) + " bytes";
    if (!complete) {
        if (receiver.tooLarge() || res.status == 413) {
            answer(res, 413, tooLarge);
        } else if (tRequest && tRequest->stream->timedOut()) {
            answer(res, 408, "request timed out before the upload was complete");
        } else {
            answer(res, 400, "malformed or incomplete multipart body");
        }
        return;
    }
    std::string name;
    switch (receiver.finish(&name)) {
        case UploadOutcome::Stored: {
            std::string link = settings_.publicUrl + "/" + name;
            // The Glimmerix client takes everything after the headers as the link, so the body
            // is the link alone, without a line break.
            answer(res, 200, link);
            res.set_header("X-Delete-Url",
                           settings_.publicUrl + "/delete/" + name + "/" + key_.tokenFor(name));
            res.set_header("Cache-Control", "no-store");
            if (tRequest) tRequest->note = name;
            return;
        }
        case UploadOutcome::NoFilePart:
            answer(res, 400, "no part named \"file\" in the form");
            return;
        case UploadOutcome::SeveralFileParts:
            answer(res, 400, "more than one part named \"file\" in the form");
            return;
        case UploadOutcome::NotAnImage:
            answer(res, 415, "the file is neither a PNG nor a JPEG image");
            return;
        case UploadOutcome::TooLarge:
            answer(res, 413, tooLarge);
            return;
        case UploadOutcome::StorageFailed:
            logMessage("cannot store an upload: " + describeErrno(receiver.storageError()));
            answer(res, 507, "the server's storage is full or failing");
            return;
    }
}

void UploadService::handleImage(const httplib::Request& req, httplib::Response& res) {
    if (tRequest) tRequest->handlerRan = true;
    const std::string name = req.path.substr(1);
    ImageKind kind = parseStoredName(name);
    if (kind == ImageKind::Unknown) {
        answer(res, 404, "not found");
        return;
    }
    UniqueFd file = storage_.openImage(name);
    struct stat info;
    if (!file.valid() || ::fstat(file.get(), &info) != 0) {
        if (errno == ENOENT) {
            answer(res, 404, "not found");
        } else {
            logMessage("cannot open image " + name + ": " + describeErrno(errno));
            answer(res, 500, "cannot read the image");
        }
        return;
    }
    const std::string etag = "\"" + name + "\"";
    const auto size = static_cast<std::uint64_t>(info.st_size);
    res.set_header("ETag", etag);
    res.set_header("Cache-Control", kImmutableCaching);
    res.set_header("Accept-Ranges", "bytes");
    if (req.has_header("If-None-Match") &&
        etagListMatches(req.get_header_value("If-None-Match"), etag)) {
        keepWholeAnswer();
        res.status = 304;
        return;
    }
    ByteRange range{0, size};
    switch (resolveRange(req.ranges, size, &range)) {
        case RangeAnswer::Whole:
            res.status = 200;
            break;
        case RangeAnswer::Partial:
            res.status = 206;
            res.set_header("Content-Range", contentRangeValue(range, size));
            break;
        case RangeAnswer::Unsatisfiable:
            res.set_header("Content-Range", "bytes */" + std::to_string(size));
            answer(res, 416, "range not satisfiable");
            return;
    }
    res.set_header("Content-Type", imageContentType(kind));
    res.set_header("Content-Length", std::to_string(range.length));
    if (req.method == "GET" && tRequest) tRequest->body = FileBody{std::move(file), range};
}

void UploadService::handleDeletion(const httplib::Request& req, httplib::Response& res) {
    if (tRequest) tRequest->handlerRan = true;
    // "/delete/NAME/TOKEN"
    const std::string rest = req.path.substr(std::string("/delete/").size());
    std::size_t slash = rest.find('/');
    std::string name = rest.substr(0, slash);
    std::string token = slash == std::string::npos ? std::string() : rest.substr(slash + 1);
    if (parseStoredName(name) == ImageKind::Unknown || !key_.accepts(name, token)) {
        answer(res, 404, "not found");
        return;
    }
    const std::string link = settings_.publicUrl + "/" + name;
    if (req.method == "GET" || req.method == "HEAD") {
        struct stat info;
        if (::fstatat(storage_.imagesDir(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            answer(res, 404, "not found");
            return;
        }
        res.status = 200;
        res.set_header("Cache-Control", "no-store");
        res.set_header("Referrer-Policy", "no-referrer");
        res.set_content(
            "<!doctype html>\n<meta charset=\"utf-8\">\n<title>Delete image</title>\n"
            "<p>Delete <a href=\"" +
                escapeHtml(link) + "\">" + escapeHtml(link) +
                "</a>? This cannot be undone.</p>\n"
                "<form method=\"post\"><button>Delete</button></form>\n",
            "text/html; charset=utf-8");
        return;
    }
    switch (storage_.removeImage(name)) {
        case Storage::RemoveResult::Removed:
            answer(res, 200, "deleted " + link);
            res.set_header("Cache-Control", "no-store");
            if (tRequest) tRequest->note = "deleted " + name;
            return;
        case Storage::RemoveResult::Missing:
            answer(res, 404, "not found");
            return;
        case Storage::RemoveResult::Failed:
            logMessage("cannot delete image " + name + ": " + describeErrno(errno));
            answer(res, 507, "the server's storage is failing");
            return;
    }
}

void UploadService::completeErrorAnswer(const httplib::Request& req, httplib::Response& res) const {
    keepWholeAnswer();
    // httplib answers a request whose headers could not be read with a plain 400; the stream
    // knows the real reason.
    if (tRequest && res.status == 400) {
        if (tRequest->stream->headersTooLarge()) {
            res.status = 431;
            res.body.clear();
        } else if (tRequest->stream->timedOut()) {
            res.status = 408;
            res.body.clear();
        }
    }
    if (res.body.empty()) res.set_content(defaultMessage(res.status), "text/plain");
    if (tRequest && !tRequest->handlerRan) {
        res.set_header("Content-Length", std::to_string(res.body.size()));
    }
    bool httplibCloses =
        (tRequest && tRequest->lastRequest) || req.get_header_value("Connection") == "close";
    if (closesConnection(res.status) && !httplibCloses) res.set_header("Connection", "close");
}

void UploadService::logRequest(const httplib::Request& req, const httplib::Response& res) const {
    RequestLogEntry entry;
    entry.client = req.remote_addr;
    entry.method = req.method;
    entry.target = req.path.rfind("/delete/", 0) == 0 ? req.path : req.target;
    entry.version = req.version;
    entry.status = res.status;
    if (req.method != "HEAD") entry.bodyBytes = res.body.size();
    if (!tRequest) {
        entry.when = std::chrono::system_clock::now();
        writeLogLine(formatRequestLine(entry));
        return;
    }
    entry.when = tRequest->startedWall;
    entry.note = tRequest->note;
    if (tRequest->body) entry.bodyBytes = tRequest->body->range.length;
    tRequest->log = entry;
    if (closesConnection(res.status)) tRequest->closeConnection = true;
}

void UploadService::answerStalledRequest(ConnectionStream& stream) const {
    if (stream.bytesWrittenThisRequest() > 0 || stream.bytesReadThisRequest() == 0) return;
    int status;
    if (stream.headersTooLarge()) {
        status = 431;
    } else if (stream.timedOut()) {
        status = 408;
    } else {
        return;  // the client went away
    }
    const std::string body = defaultMessage(status);
    const std::string reason =
        status == 431 ? "Request Header Fields Too Large" : "Request Timeout";
    const std::string response =
        "HTTP/1.1 " + std::to_string(status) + " " + reason +
        "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
        "\r\nConnection: close\r\nX-Content-Type-Options: nosniff\r\n\r\n" + body;
    std::size_t sent = 0;
    while (sent < response.size()) {
        ssize_t n = stream.write(response.data() + sent, response.size() - sent);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
    RequestLogEntry entry;
    entry.when = tRequest ? tRequest->startedWall : std::chrono::system_clock::now();
    int port = 0;
    stream.get_remote_ip_and_port(entry.client, port);
    entry.method = "-";
    entry.target = "-";
    entry.version = "-";
    entry.status = status;
    entry.bodyBytes = body.size();
    if (tRequest) {
        tRequest->log = entry;
        finishLogLine(*tRequest);
    } else {
        writeLogLine(formatRequestLine(entry));
    }
}

void UploadService::serveConnection(int fd, const Listener& listener) {
    UniqueFd socket(fd);
    ConnectionStream stream(fd, settings_.limits);
    RequestContext context;
    context.stream = &stream;
    tRequest = &context;
    struct ClearContext {
        ~ClearContext() { tRequest = nullptr; }
    } clearContext;

    for (int served = 0; served < kRequestsPerConnection; ++served) {
        if (!stream.hasBufferedData()) {
            bool fresh = served == 0;
            auto wait = fresh ? settings_.limits.read : settings_.keepAliveTimeout;
            if (!waitForRequest(fd, wait, fresh ? -1 : listener.stopEvent())) break;
        }
        stream.beginRequest();
        context.started = Clock::now();
        context.startedWall = std::chrono::system_clock::now();
        context.request = nullptr;
        context.handlerRan = false;
        context.body.reset();
        context.log.reset();
        context.note.clear();
        context.closeConnection = false;
        // Idle keep-alive connections would hold workers that queued connections need.
        context.lastRequest = served + 1 == kRequestsPerConnection || listener.stopping() ||
                              listener.connectionsWaiting();
        bool clientCloses = false;
        bool ok =
            process_request(stream, context.lastRequest, clientCloses, [&](httplib::Request& req) {
                stream.endHeaders();
                prepareRequest(req);
                context.request = &req;
            });
        context.request = nullptr;
        if (ok && context.body) {
            const FileBody& body = *context.body;
            ok = stream.sendFile(body.file.get(), static_cast<off_t>(body.range.offset),
                                 body.range.length);
            if (!ok && context.log) context.log->note = "client stopped reading";
        }
        if (!ok && !context.log) answerStalledRequest(stream);
        finishLogLine(context);
        if (!ok || context.lastRequest || clientCloses || context.closeConnection) break;
    }
    bool shortLinger = stream.timedOut() || listener.stopping();
    closeGracefully(std::move(socket), shortLinger ? kShortLingerTime : kLingerTime,
                    listener.stopEvent());
}
