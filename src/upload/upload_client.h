// The upload client: posts the smaller capture file to the upload service over one TCP
// connection and hands the open socket back to the upload flow, which reads the answer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "desktop/capture_files.h"
#include "upload/socket.h"

constexpr const char* kDumpFile = "dump.txt";

// How long an upload may wait. These are the program's values; tests shorten them.
struct UploadLimits {
    int connectMs = 30000;
    // Sending and waiting for the answer give up after this long without progress.
    int stallMs = 30000;
    // The whole exchange, from connect to the answer's last byte, ends by exchangeMs plus
    // msPer32KiB for every 32 KiB of request, however the answer trickles.
    int exchangeMs = 30000;
    int msPer32KiB = 1000;
    // Small enough that the peer reading the request shows as progress while it is sent.
    int sendBufferBytes = 64 * 1024;
};

// Where and how long the client talks. The program never changes these: it always uses port 80
// and the limits above. Tests point it at a loopback server on a free port, shorten the limits
// and make the sockets library refuse to start, as Winsock can.
struct UploadConnection {
    int port = 80;
    UploadLimits limits;
    bool refuseSocketStart = false;
};
UploadConnection& uploadConnection();

// Starts the sockets library for one upload. When it cannot start, prints
// "Error: WSAStartup failed", waits for a key and ends the process with exit code 1: without
// sockets no upload can ever work.
void startWinsock();
void stopWinsock();

// The host's IPv4 address in network byte order: dotted digits are taken as they are, anything
// else is looked up. kNoAddress when the look-up fails.
std::uint32_t resolveHost(const std::string& host);

// Prints `step` + ": error #" + the last socket error code and a line break on the text console.
void reportSocketError(const std::string& step);

// The capture file to post: the PNG when it is shorter than the JPEG, else the JPEG. Files are
// only opened for reading; a missing or unreadable one counts as 0 bytes long.
std::string chooseCaptureFile();

// The steadyMs() reading by which an exchange that started connecting at `startMs` and sends
// `requestBytes` must have ended (UploadLimits).
std::int64_t exchangeDeadline(std::int64_t startMs, std::size_t requestBytes);

// Posts the chosen capture file to `url`. `socket` must be kNoSocket or a socket to close first.
// Returns 1 when the whole request has been sent and the sending side shut down: `socket` is
// then connected and open and `request` holds the request bytes, both for the caller to close
// and release, and `deadlineMs` the exchange's deadline, by which the answer must be in. Returns 0
// on any failure, after a report line for network failures; `socket` is then kNoSocket and
// `request` empty. A chosen file that is missing, empty or unreadable fails without posting
// anything. Every request that gets as far as sending is first written to dump.txt, replacing what
// was there.
int uploadScreenshot(const std::string& url, SocketHandle& socket, std::string& request,
                     std::int64_t& deadlineMs);
