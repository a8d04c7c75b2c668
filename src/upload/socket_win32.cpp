// Winsock for the upload transport. Supports: IPv4 TCP, dotted addresses through inet_addr, name
// look-up through gethostbyname, and time-outs on every step that waits, all bounded by select on
// a socket left non-blocking from the connect on.
#include <winsock2.h>

#include <cstring>

#include "upload/socket.h"

namespace {

// Kept apart from WSAGetLastError, which any later Winsock call may overwrite (restoring the
// blocking mode after a failed connect, for one), so the report shows the code of the step that
// failed. WSASetLastError keeps the two in step for anyone who asks Winsock itself.
thread_local int recordedError = 0;

bool fail(int code) {
    recordedError = code;
    WSASetLastError(code);
    return false;
}

bool failWithLastError() {
    return fail(WSAGetLastError());
}

SOCKET native(SocketHandle socket) {
    return static_cast<SOCKET>(socket);
}

timeval timeLeft(std::int64_t endMs) {
    int ms = msUntil(endMs);
    return timeval{ms / 1000, (ms % 1000) * 1000};
}

// Waits until the socket is readable (or writable); records WSAETIMEDOUT when `endMs` comes
// first. A failed connection shows as readable too, and the call that follows reports it.
bool waitFor(SOCKET socket, bool writable, std::int64_t endMs) {
    for (;;) {
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(socket, &ready);
        timeval limit = timeLeft(endMs);
        int count =
            select(0, writable ? nullptr : &ready, writable ? &ready : nullptr, nullptr, &limit);
        if (count == SOCKET_ERROR) return failWithLastError();
        if (count > 0) return true;
        if (msUntil(endMs) == 0) return fail(WSAETIMEDOUT);
    }
}

bool setBlocking(SOCKET socket, bool blocking) {
    u_long nonBlocking = blocking ? 0 : 1;
    if (ioctlsocket(socket, FIONBIO, &nonBlocking) == SOCKET_ERROR) return failWithLastError();
    return true;
}

// Waits for a non-blocking connect to finish. Winsock signals success through the write set and
// failure through the exception set; either way SO_ERROR tells which.
bool finishConnect(SOCKET socket, int timeoutMs) {
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socket, &writable);
    FD_SET(socket, &failed);
    timeval limit = timeLeft(steadyMs() + timeoutMs);
    int ready = select(0, nullptr, &writable, &failed, &limit);
    if (ready == SOCKET_ERROR) return failWithLastError();
    if (ready == 0) return fail(WSAETIMEDOUT);
    int error = 0;
    int size = sizeof error;
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) ==
        SOCKET_ERROR)
        return failWithLastError();
    if (error != 0) return fail(error);
    // Listed as failed with SO_ERROR cleared would be a contradiction; do not call it connected.
    if (!FD_ISSET(socket, &writable)) return fail(WSAECONNREFUSED);
    return true;
}

}  // namespace

bool startSockets() {
    WSADATA data;
    int result = WSAStartup(MAKEWORD(1, 1), &data);
    if (result != 0) return fail(result);  // WSAStartup returns its error instead of setting it
    return true;
}

void stopSockets() {
    WSACleanup();
}

int lastSocketError() {
    return recordedError;
}

std::uint32_t parseDottedAddress(const char* text) {
    unsigned long address = inet_addr(text);
    if (address == INADDR_NONE) return kNoAddress;
    return static_cast<std::uint32_t>(address);
}

std::uint32_t lookUpHost(const char* name) {
    // The entry belongs to Winsock (one per thread) and is not released.
    hostent* entry = gethostbyname(name);
    if (!entry) {
        failWithLastError();
        return kNoAddress;
    }
    if (entry->h_addrtype != AF_INET || entry->h_length != 4 || !entry->h_addr_list[0]) {
        fail(WSANO_DATA);
        return kNoAddress;
    }
    std::uint32_t address = 0;
    std::memcpy(&address, entry->h_addr_list[0], sizeof address);
    return address;
}

SocketHandle openSocket() {
    SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket == INVALID_SOCKET) {
        failWithLastError();
        return kNoSocket;
    }
    return static_cast<SocketHandle>(socket);
}

bool connectSocket(SocketHandle socket, std::uint32_t address, int port, int timeoutMs) {
    sockaddr_in peer;
    std::memset(&peer, 0, sizeof peer);
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<u_short>(port));
    peer.sin_addr.s_addr = address;
    // A blocking connect waits as long as the system likes (about 21 s for a silent host on
    // Windows, longer elsewhere); going non-blocking for the connect alone lets select bound it.
    if (!setBlocking(native(socket), false)) return false;
    if (connect(native(socket), reinterpret_cast<sockaddr*>(&peer), sizeof peer) == SOCKET_ERROR) {
        int error = WSAGetLastError();
        if (error != WSAEWOULDBLOCK) return fail(error);
        if (!finishConnect(native(socket), timeoutMs)) return false;
    }
    return true;
}

bool setSendBuffer(SocketHandle socket, int bytes) {
    if (setsockopt(native(socket), SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&bytes),
                   sizeof bytes) == SOCKET_ERROR)
        return failWithLastError();
    return true;
}

int sendSome(SocketHandle socket, const char* bytes, int length, std::int64_t endMs) {
    for (;;) {
        if (msUntil(endMs) == 0) {
            fail(WSAETIMEDOUT);
            return -1;
        }
        if (!waitFor(native(socket), true, endMs)) return -1;
        int taken = send(native(socket), bytes, length, 0);
        if (taken > 0) return taken;
        if (taken == SOCKET_ERROR && WSAGetLastError() != WSAEWOULDBLOCK) {
            failWithLastError();
            return -1;
        }
    }
}

void shutdownSending(SocketHandle socket) {
    shutdown(native(socket), SD_SEND);
}

int receiveSome(SocketHandle socket, char* buffer, int capacity, std::int64_t endMs) {
    for (;;) {
        if (!waitFor(native(socket), false, endMs)) return -1;
        int received = recv(native(socket), buffer, capacity, 0);
        if (received != SOCKET_ERROR) return received;
        if (WSAGetLastError() != WSAEWOULDBLOCK) {
            failWithLastError();
            return -1;
        }
    }
}

void closeSocket(SocketHandle socket) {
    closesocket(native(socket));
}
