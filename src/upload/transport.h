// The upload transport: posts the smaller capture file to the upload service and brings back
// the link from its answer. It shows nothing and ends nothing: every outcome comes back as an
// UploadResult for the caller to show. One call is one whole upload, sockets library included.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "upload/tls.h"
#include "upload/transfer_limits.h"

constexpr const char* kDumpFile = "dump.txt";

// Where and how the transport connects. The defaults are the program's: port 80 for http (443
// for https), the system's trust and the limits of TransferLimits.
struct ConnectionSettings {
    int port = 0;  // 0: the URL scheme's own port
    // The URL named the port, so the Host header carries it ("HOST:PORT").
    bool portInHost = false;
    // The service's secret, sent as a bearer token when not empty (and never kept in dump.txt).
    std::string token;
    // A PEM file of certificate authorities trusted for https beside the system's, or empty.
    std::string caFile;
    TransferLimits limits;
    // Makes the sockets library refuse to start, as Winsock can; for tests.
    bool refuseSocketStart = false;
};

// The two capture files; the shorter one is posted, the JPEG on a tie.
struct CaptureFiles {
    std::string png;
    std::string jpeg;
};

// The step at which an upload stopped.
enum class UploadStep {
    kNone,          // it worked
    kSocketsStart,  // the sockets library would not start
    kResolve,       // the host has no address
    kSocket,        // no socket could be made
    kConnect,
    kTls,      // the encrypted connection was refused (see tlsError): nothing was sent
    kFile,     // the chosen file is missing, empty or unreadable: nothing was posted
    kSend,     // the request did not get out whole
    kReceive,  // the answer did not come in whole
    kAnswer,   // the answer holds no acceptable link
};

struct UploadResult {
    UploadStep failedStep = UploadStep::kNone;
    int errorCode = 0;  // the system's code for the failed network step, else 0
    TlsError tlsError = TlsError::none;
    // "HTTP <code> <reason>" when the service answered with anything but success, whether
    // before or after the whole request reached it.
    std::string refusal;
    std::string link;
    std::vector<std::pair<std::string, std::string>> headers;  // the answer's, as they came

    bool succeeded() const { return failedStep == UploadStep::kNone; }
    // The value of the first header called `name` (in any case), or "".
    std::string header(const std::string& name) const;
};

// The capture file to post: `files.png` when it is shorter than `files.jpeg`, else the JPEG.
// Files are only opened for reading; a missing or unreadable one counts as 0 bytes long.
std::string chooseCaptureFile(const CaptureFiles& files);

// Posts the chosen capture file to `url` (split as splitUrl does) and reads the answer. A URL
// that starts with "https://" (exactly so) is split the same way after that prefix and goes over
// TLS (tls.h), the server verified before anything is sent. Every request that gets as far as
// sending is first written to dump.txt, replacing what was there.
// `sent` is called once the whole request is out, before the answer is awaited.
UploadResult postCapture(const std::string& url, const ConnectionSettings& settings,
                         const CaptureFiles& files, const std::function<void()>& sent);
