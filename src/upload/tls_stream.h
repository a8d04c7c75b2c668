// An encrypted connection as a byte stream: a TLS session over the plain stream of its socket.
// The transport's pacing, dump and answer reading work on it exactly as on the plain socket.
#pragma once

#include <memory>

#include "upload/byte_stream.h"
#include "upload/tls.h"

class TlsStream : public ByteStream {
  public:
    // Takes over `plain` (and so its socket), which `session` has finished its handshake on.
    TlsStream(std::unique_ptr<ByteStream> plain, TlsSession* session)
        : plain_(std::move(plain)), session_(session) {}
    // The goodbye goes out while the socket is still open; `plain_` closes it afterwards.
    ~TlsStream() override { tlsClose(session_, steadyMs() + kGoodbyeMs); }
    TlsStream(const TlsStream&) = delete;
    TlsStream& operator=(const TlsStream&) = delete;

    int sendSome(const char* bytes, int length, std::int64_t endMs) override {
        return tlsSendSome(session_, bytes, length, endMs);
    }
    // The request states its own length. Closing our half of the connection would cut the TLS
    // session under the server, so the end of the request is left to that length.
    void finishSending() override {}
    int receiveSome(char* buffer, int capacity, std::int64_t endMs) override {
        return tlsReceiveSome(session_, buffer, capacity, endMs);
    }
    int lastError() const override { return tlsLastSystemError(session_); }

  private:
    // A goodbye is a courtesy: a peer that does not take it at once is not waited for.
    static constexpr int kGoodbyeMs = 500;

    std::unique_ptr<ByteStream> plain_;
    TlsSession* session_;
};
