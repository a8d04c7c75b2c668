// TLS for the upload client through OpenSSL. Supports: TLS 1.2 and 1.3; the system's default
// roots plus a PEM file; SNI; the host name (or IP address) checked by OpenSSL's verifier during
// the handshake. OpenSSL never touches the socket: it reads and writes memory BIOs, and this file
// moves their bytes with sendSome and receiveSome, whose waits end at the caller's deadline.
// Built into the module glimmerix-tls.so with its own copy of the socket helpers.
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cerrno>

#include "upload/tls_module.h"

struct TlsSession {
    SocketHandle socket = kNoSocket;
    SSL_CTX* context = nullptr;
    SSL* ssl = nullptr;
    BIO* incoming = nullptr;  // records from the server, owned by ssl
    BIO* outgoing = nullptr;  // records for the server, owned by ssl
    TlsError error = TlsError::none;
    int systemError = 0;
};

namespace {

// Plain text encrypted at a time: four records, so a large request is never held twice.
constexpr int kSendChunkBytes = 64 * 1024;
constexpr int kRecordBytes = 16 * 1024 + 512;

bool fail(TlsSession* session, TlsError error) {
    session->error = error;
    return false;
}

// The socket call that just failed, by its recorded code.
bool failSocket(TlsSession* session) {
    session->systemError = lastSocketError();
    return fail(session,
                session->systemError == ETIMEDOUT ? TlsError::timedOut : TlsError::connectionLost);
}

// Hands every record OpenSSL has produced to the system.
bool flush(TlsSession* session, std::int64_t endMs) {
    char records[kRecordBytes];
    for (;;) {
        const int length = BIO_read(session->outgoing, records, sizeof records);
        if (length <= 0) return true;
        for (int sent = 0; sent < length;) {
            const int taken = sendSome(session->socket, records + sent, length - sent, endMs);
            if (taken < 0) return failSocket(session);
            sent += taken;
        }
    }
}

// Receives what the server sends next and hands it to OpenSSL: 1, 0 at the end of the
// connection, -1 on a failure.
int fill(TlsSession* session, std::int64_t endMs) {
    char records[kRecordBytes];
    const int received = receiveSome(session->socket, records, sizeof records, endMs);
    if (received < 0) {
        failSocket(session);
        return -1;
    }
    if (received > 0) BIO_write(session->incoming, records, received);
    return received > 0;
}

TlsError verifyError(long result) {
    switch (result) {
        case X509_V_OK:
            return TlsError::handshakeFailed;
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            return TlsError::otherHost;
        case X509_V_ERR_CERT_HAS_EXPIRED:
        case X509_V_ERR_CERT_NOT_YET_VALID:
            return TlsError::expired;
        default:
            return TlsError::notTrusted;
    }
}

// Trust, protocol versions and the name to check, before the first byte goes out.
TlsError prepare(TlsSession* session, const std::string& host, const std::string& caFile) {
    session->context = SSL_CTX_new(TLS_client_method());
    if (!session->context) return TlsError::handshakeFailed;
    SSL_CTX* context = session->context;
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_default_verify_paths(context);
    if (!caFile.empty() && SSL_CTX_load_verify_locations(context, caFile.c_str(), nullptr) != 1)
        return TlsError::caFileUnusable;

    session->ssl = SSL_new(context);
    session->incoming = BIO_new(BIO_s_mem());
    session->outgoing = BIO_new(BIO_s_mem());
    if (!session->ssl || !session->incoming || !session->outgoing) {
        BIO_free(session->incoming);
        BIO_free(session->outgoing);
        return TlsError::handshakeFailed;
    }
    SSL_set_bio(session->ssl, session->incoming, session->outgoing);
    SSL_set_connect_state(session->ssl);

    X509_VERIFY_PARAM* check = SSL_get0_param(session->ssl);
    X509_VERIFY_PARAM_set_hostflags(check, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    // An address is checked against the certificate's addresses and is never sent as SNI.
    if (X509_VERIFY_PARAM_set1_ip_asc(check, host.c_str()) == 1) return TlsError::none;
    if (X509_VERIFY_PARAM_set1_host(check, host.c_str(), host.size()) != 1 ||
        SSL_set_tlsext_host_name(session->ssl, host.c_str()) != 1)
        return TlsError::handshakeFailed;
    return TlsError::none;
}

bool runHandshake(TlsSession* session, std::int64_t endMs) {
    for (;;) {
        int result = SSL_do_handshake(session->ssl);
        int status = SSL_get_error(session->ssl, result);
        // Our next flight, or the alert that tells the server why we stop.
        bool sent = flush(session, endMs);
        if (result == 1) return sent;
        if (status == SSL_ERROR_WANT_READ) {
            if (!sent) return false;
            int filled = fill(session, endMs);
            if (filled < 0) return false;
            if (filled == 0) return fail(session, TlsError::connectionLost);
            continue;
        }
        return fail(session, verifyError(SSL_get_verify_result(session->ssl)));
    }
}

}  // namespace

TlsSession* tlsHandshake(SocketHandle socket, const std::string& host, const std::string& caFile,
                         std::int64_t endMs, TlsError& error) {
    auto* session = new TlsSession;
    session->socket = socket;
    error = prepare(session, host, caFile);
    if (error == TlsError::none && !runHandshake(session, endMs)) error = session->error;
    ERR_clear_error();  // the queue is per thread; leave nothing for a later session to misread
    if (error == TlsError::none) return session;
    tlsClose(session, endMs);
    return nullptr;
}

int tlsSendSome(TlsSession* session, const char* bytes, int length, std::int64_t endMs) {
    const int chunk = std::min(length, kSendChunkBytes);
    if (SSL_write(session->ssl, bytes, chunk) != chunk) {
        ERR_clear_error();
        return fail(session, TlsError::badRecord) - 1;
    }
    return flush(session, endMs) ? chunk : -1;
}

int tlsReceiveSome(TlsSession* session, char* buffer, int capacity, std::int64_t endMs) {
    for (;;) {
        int result = SSL_read(session->ssl, buffer, capacity);
        if (result > 0) return result;
        int status = SSL_get_error(session->ssl, result);
        if (status == SSL_ERROR_ZERO_RETURN) return 0;
        if (status != SSL_ERROR_WANT_READ) {
            ERR_clear_error();
            return fail(session, TlsError::badRecord) - 1;
        }
        // A key update or the like may want an answer before more data comes.
        if (!flush(session, endMs)) return -1;
        int filled = fill(session, endMs);
        if (filled < 0) return -1;
        if (filled == 0) {
            // Closed between records: the end of the answer. Inside one: cut off.
            if (!SSL_has_pending(session->ssl) && BIO_pending(session->incoming) == 0) return 0;
            return fail(session, TlsError::connectionLost) - 1;
        }
    }
}

TlsError tlsLastError(const TlsSession* session) {
    return session->error;
}

int tlsLastSystemError(const TlsSession* session) {
    return session->systemError;
}

void tlsClose(TlsSession* session, std::int64_t endMs) {
    if (!session) return;
    if (session->ssl) {
        // After a failure the goodbye could not arrive, and OpenSSL forbids it after a fatal one.
        if (session->error == TlsError::none && SSL_is_init_finished(session->ssl) &&
            SSL_shutdown(session->ssl) >= 0)
            flush(session, endMs);
        SSL_free(session->ssl);  // frees both BIOs
    }
    SSL_CTX_free(session->context);
    ERR_clear_error();
    delete session;
}

// The module's one exported symbol (everything else in it is hidden).
extern "C" __attribute__((visibility("default"))) const TlsModuleFunctions* glimmerixTlsModule() {
    static const TlsModuleFunctions functions = {
        sizeof(TlsModuleFunctions), tlsHandshake, tlsSendSome, tlsReceiveSome, tlsLastError,
        tlsLastSystemError,         tlsClose,
    };
    return &functions;
}
