// The sockets the upload transport needs, as plain functions, so that portable code never includes
// <sys/socket.h> or <winsock2.h>. One implementation per platform: socket_posix.cpp (BSD
// sockets) and socket_win32.cpp (Winsock).
//
// Contract for every implementation:
// - Handles are opaque integers; kNoSocket stands for "no socket" (INVALID_SOCKET and the POSIX
//   -1 both read as -1 here). A socket is IPv4, stream type, TCP.
// - Functions returning int return 1 for success and 0 for failure. A failing call records an
//   error code that lastSocketError() then returns on the same thread: errno on POSIX (for a
//   failed name look-up, getaddrinfo's own negative code), WSAGetLastError() on Windows.
// - A connected socket is non-blocking. Every step that waits (connect, each send, each receive)
//   gives up at the time it is given and then records the platform's time-out code: ETIMEDOUT
//   on POSIX, WSAETIMEDOUT (set with WSASetLastError) on Windows. A silent service must never
//   hold the program for good; the transport decides how long each wait may be.
// - Sending never raises a signal when the peer has gone (MSG_NOSIGNAL on POSIX).
#pragma once

#include <cstdint>

#include "upload/transfer_limits.h"

using SocketHandle = std::intptr_t;
constexpr SocketHandle kNoSocket = -1;

// IPv4 addresses are 32 bits in network byte order; 0 means "no address".
constexpr std::uint32_t kNoAddress = 0;

// Starts and stops the sockets library around one upload (WSAStartup asking for version 1.1,
// WSACleanup). The POSIX start always succeeds and the stop does nothing.
bool startSockets();
void stopSockets();

// The error code of the last failed call on this thread (see above).
int lastSocketError();

// Dotted IPv4 text ("127.0.0.1") as an address without any look-up, or kNoAddress when the
// text is not in that form (inet_addr's INADDR_NONE on Windows).
std::uint32_t parseDottedAddress(const char* text);

// Looks a host name up (gethostbyname on Windows, whose entry is not released) and returns the
// first IPv4 address of its list, or kNoAddress with the error recorded.
std::uint32_t lookUpHost(const char* name);

// A new IPv4 stream socket, or kNoSocket with the error recorded.
SocketHandle openSocket();

// Connects to `address` on `port`, giving up after `timeoutMs`; the socket is then
// non-blocking.
bool connectSocket(SocketHandle socket, std::uint32_t address, int port, int timeoutMs);

// Sets the system's send buffer to `bytes`, so that the peer taking bytes is what shows as
// progress, not the system queueing the whole request at once.
bool setSendBuffer(SocketHandle socket, int bytes);

// Hands up to `length` bytes to the system once it has room: the number taken (1 or more), or
// -1 on an error or when `endMs` comes first; once `endMs` has passed it fails without trying.
int sendSome(SocketHandle socket, const char* bytes, int length, std::int64_t endMs);

// Shuts down the sending side (shutdown with SHUT_WR / SD_SEND); the result is not reported.
void shutdownSending(SocketHandle socket);

// One receive of at most `capacity` bytes: the number received, 0 when the peer has closed the
// connection, -1 on an error or when nothing arrived by `endMs`. Bytes already waiting are taken
// even when `endMs` has passed.
int receiveSome(SocketHandle socket, char* buffer, int capacity, std::int64_t endMs);

// Closes the socket (close / closesocket).
void closeSocket(SocketHandle socket);
