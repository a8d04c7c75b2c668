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
// - Records travel through sendSome and receiveSome (socket.h), so every call that waits gives
//   up at the deadline it is given, a steadyMs() reading, as the plain connection does: the
//   handshake, each send, each receive.
// - Every failure leaves a TlsError in the session, which tlsErrorText turns into the console
//   line, and for a failure of the connection underneath the system's code (errno, WSA code).
// - The session never closes the socket: the caller does that after tlsClose.
#pragma once

#include <cstdint>
#include <string>

#include "upload/socket.h"

enum class TlsError {
    none,
    notTrusted,       // the chain does not end in a trusted root
    otherHost,        // trusted, but not for the host we asked for
    expired,          // trusted and for that host, but outside its dates
    caFileUnusable,   // the extra certificates file is missing or holds no certificate
    handshakeFailed,  // anything else before the session stood: versions, ciphers, a bad peer
    timedOut,         // the deadline came first
    connectionLost,   // the socket failed, or the peer closed it in the middle of a record
    badRecord,        // a record that does not decrypt, after the handshake
    noModule,         // Linux: glimmerix-tls.so is missing or does not load
};

struct TlsSession;

// The console line for an error, e.g. "TLS: certificate not trusted".
const char* tlsErrorText(TlsError error);

// Starts a session on a connected socket and runs the handshake by `endMs`, verifying the server
// as above. `host` is the name from the URL (an IPv4 address is checked as an address);
// `caFile` is a PEM file of further roots, or empty for the system's alone. Returns the
// session, or nullptr with the reason in `error`.
TlsSession* tlsHandshake(SocketHandle socket, const std::string& host, const std::string& caFile,
                         std::int64_t endMs, TlsError& error);

// Encrypts up to `length` bytes and hands all of their records to the system by `endMs`: the
// number taken (1 or more), or -1. Once `endMs` has passed it fails without sending.
int tlsSendSome(TlsSession* session, const char* bytes, int length, std::int64_t endMs);

// Up to `capacity` bytes of application data: the number received, 0 when the server has ended
// the session (close_notify, or the connection closed between records), -1 on an error or when
// nothing arrived by `endMs`. Data already decrypted is taken even after `endMs`.
int tlsReceiveSome(TlsSession* session, char* buffer, int capacity, std::int64_t endMs);

TlsError tlsLastError(const TlsSession* session);
// The system's code for the last failure of the connection underneath, else 0.
int tlsLastSystemError(const TlsSession* session);

// Says goodbye (close_notify, sent by `endMs`, no answer awaited) and frees the session;
// nullptr is allowed. The socket stays open.
void tlsClose(TlsSession* session, std::int64_t endMs);
