// The upload client: posts the smaller capture file to the upload service over one TCP
// connection and hands the open socket back to the upload flow, which reads the answer.
#pragma once

#include <cstdint>
#include <string>

#include "desktop/capture_files.h"
#include "upload/socket.h"

constexpr const char* kDumpFile = "dump.txt";

// Where and how long the client talks. The program never changes these: it always uses port 80
// and 30 s per blocking step. Tests point it at a loopback server on a free port, shorten the
// time-out so that a silent service fails within a second, and make the sockets library refuse
// to start, as Winsock can.
struct UploadConnection {
    int port = 80;
    int timeoutMs = 30000;
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

// Posts the chosen capture file to `url`. `socket` must be kNoSocket or a socket to close first.
// Returns 1 when the whole request has been sent and the sending side shut down: `socket` is
// then connected and open and `request` holds the request bytes, both for the caller to close
// and release. Returns 0 on any failure, after a report line for network failures; `socket` is
// then kNoSocket and `request` empty. A chosen file that is missing, empty or unreadable fails
// without posting anything. Every request that gets as far as sending is first written to
// dump.txt, replacing what was there.
int uploadScreenshot(const std::string& url, SocketHandle& socket, std::string& request);
