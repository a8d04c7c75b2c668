// The connection the transport talks over, as a stream of bytes. The plain socket is one kind;
// an encrypting layer is another, wrapping the socket and offering the same calls, so the
// transport's pacing, dump and answer reading do not care which one carries the bytes.
#pragma once

#include <cstdint>

#include "upload/socket.h"

class ByteStream {
  public:
    virtual ~ByteStream() = default;

    // Hands up to `length` bytes on once there is room: the number taken (1 or more), or -1 on
    // an error or when `endMs` (a steadyMs() reading) comes first. Once `endMs` has passed it
    // fails without trying, so that a caller's deadline holds even while bytes keep moving.
    virtual int sendSome(const char* bytes, int length, std::int64_t endMs) = 0;
    // The request is complete: the peer may see the end of it.
    virtual void finishSending() = 0;
    // Up to `capacity` bytes of the answer: the number received, 0 when the answer has ended,
    // -1 on an error or when nothing arrived by `endMs`. Bytes already there are taken even
    // after `endMs`.
    virtual int receiveSome(char* buffer, int capacity, std::int64_t endMs) = 0;
    // The code of the last failure, for the report line.
    virtual int lastError() const = 0;
};

// A connected socket as a stream. It owns the socket and closes it when destroyed.
class SocketStream : public ByteStream {
  public:
    explicit SocketStream(SocketHandle socket) : socket_(socket) {}
    ~SocketStream() override { closeSocket(socket_); }
    SocketStream(const SocketStream&) = delete;
    SocketStream& operator=(const SocketStream&) = delete;

    int sendSome(const char* bytes, int length, std::int64_t endMs) override {
        return ::sendSome(socket_, bytes, length, endMs);
    }
    void finishSending() override { shutdownSending(socket_); }
    int receiveSome(char* buffer, int capacity, std::int64_t endMs) override {
        return ::receiveSome(socket_, buffer, capacity, endMs);
    }
    int lastError() const override { return lastSocketError(); }
    SocketHandle socket() const { return socket_; }

  private:
    SocketHandle socket_;
};
