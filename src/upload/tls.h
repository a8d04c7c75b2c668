// TLS for the upload client, on a socket that socket.h has already connected, as plain
// functions, so that portable code never includes OpenSSL's or SSPI's headers. One
// implementation per platform: tls_openssl.cpp (Linux) and tls_schannel.cpp (Windows, Schannel
// through SSPI).
//
// Contract for every implementation:
// - TLS 1.2 or newer. The client sends the host name (SNI, for a name, not for an IPv4 address)
//   and accepts the server only when its certificate chains to a trusted root (the system's
//   roots plus the certificates of an optional PEM file) and names that host.
// - tlsHandshake returns only after that check, so no byte of application data can leave before
//   it: a caller sends its request after a successful handshake and never otherwise.
// - The TLS records travel through sendBytes and receiveBytes, so the socket's time-outs
//   (stall time and deadline, step_limit.h) bound the handshake and every read and write.
// - Every failure leaves a TlsError in the session, which tlsErrorText turns into the console
//   line; a transport failure underneath also leaves the socket's own code in lastSocketError().
// - The session never closes the socket: the caller does that after tlsClose.
#pragma once

#include <string>

#include "upload/socket.h"
#include "upload/step_limit.h"

enum class TlsError {
    none,
    notTrusted,       // the chain does not end in a trusted root
    otherHost,        // trusted, but not for the host we asked for
    expired,          // trusted and for that host, but outside its dates
    caFileUnusable,   // the extra certificates file is missing or holds no certificate
    handshakeFailed,  // anything else before the session stood: versions, ciphers, a bad peer
    timedOut,         // the socket's stall time or deadline passed
    connectionLost,   // the socket failed, or the peer closed it in the middle of a record
    badRecord,        // a record that does not decrypt, after the handshake
};

struct TlsSession;

// The console line for an error, e.g. "TLS: certificate not trusted".
const char* tlsErrorText(TlsError error);

// Starts a session on a connected socket and runs the handshake, verifying the server as above.
// `host` is the name from the URL (an IPv4 address is checked as an address); `caFile` is a
// PEM file of further roots, or empty for the system's alone. Returns the session, or nullptr
// with the reason in `error`.
TlsSession* tlsHandshake(SocketHandle socket, const std::string& host, const std::string& caFile,
                         StepLimit limit, TlsError& error);

// Encrypts and hands all `length` bytes to the network, fed to the socket in pieces as
// sendBytes does with `bufferBytes`. Returns 1, or 0 with tlsLastError set.
int tlsSend(TlsSession* session, const char* bytes, int length, int bufferBytes, StepLimit limit);

// One receive of at most `capacity` bytes of application data: the number received, 0 when the
// server has ended the session (close_notify, or the connection closed between records), -1 on
// an error with tlsLastError set.
int tlsReceive(TlsSession* session, char* buffer, int capacity, StepLimit limit);

TlsError tlsLastError(const TlsSession* session);

// Says goodbye (close_notify, without waiting for an answer) and frees the session; nullptr is
// allowed. The socket stays open.
void tlsClose(TlsSession* session, StepLimit limit);
