// TLS for the upload client through Schannel (SSPI), so nothing beyond Windows' own DLLs ships.
// Supports: TLS 1.2 and, where the system has it, 1.3; SNI; verification done here rather than
// by Schannel (SCH_CRED_MANUAL_CRED_VALIDATION), because Schannel's own knows only the system
// store: the server's chain is built with the certificates of the PEM file as an extra store,
// a root found in that file counts as trusted, and the SSL chain policy checks the host name.
// Records move with sendSome and receiveSome, whose waits end at the caller's deadline.
#define SECURITY_WIN32
#define SCHANNEL_USE_BLACKLISTS  // declares SCH_CREDENTIALS
// Order matters: winsock2 before windows, which the crypto and SSPI headers need first.
#include <winsock2.h>

#include <windows.h>

#include <subauth.h>  // UNICODE_STRING, for SCH_CREDENTIALS

#include <schannel.h>
#include <security.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "upload/tls.h"

struct TlsSession {
    SocketHandle socket = kNoSocket;
    std::string host;
    CredHandle credentials{};
    bool haveCredentials = false;
    CtxtHandle context{};
    bool haveContext = false;
    SecPkgContext_StreamSizes sizes{};
    std::string incoming;  // records received and not yet decrypted
    std::string plain;     // decrypted bytes not yet handed out
    bool ended = false;    // the server said goodbye
    TlsError error = TlsError::none;
    int systemError = 0;
};

namespace {

constexpr int kReceiveBytes = 16 * 1024 + 512;
// Plain text encrypted at a time: four records, so a large request is never held twice.
constexpr int kSendChunkBytes = 64 * 1024;
constexpr char kAlertRecord = 0x15;
constexpr DWORD kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                                ISC_REQ_CONFIDENTIALITY | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                                ISC_REQ_MANUAL_CRED_VALIDATION;

bool fail(TlsSession* session, TlsError error) {
    session->error = error;
    return false;
}

// The socket call that just failed, by its recorded code.
bool failSocket(TlsSession* session) {
    session->systemError = lastSocketError();
    return fail(session, session->systemError == WSAETIMEDOUT ? TlsError::timedOut
                                                              : TlsError::connectionLost);
}

bool sendAll(TlsSession* session, const char* bytes, std::size_t length, std::int64_t endMs) {
    for (std::size_t sent = 0; sent < length;) {
        const int taken = sendSome(session->socket, bytes + sent, int(length - sent), endMs);
        if (taken < 0) return failSocket(session);
        sent += std::size_t(taken);
    }
    return true;
}

// Receives what the server sends next onto `incoming`: 1, 0 at the end of the connection, -1
// on a failure.
int fill(TlsSession* session, std::int64_t endMs) {
    char records[kReceiveBytes];
    const int received = receiveSome(session->socket, records, sizeof records, endMs);
    if (received < 0) {
        failSocket(session);
        return -1;
    }
    if (received > 0) session->incoming.append(records, std::size_t(received));
    return received > 0;
}

// Only TLS 1.2 and newer. SCH_CREDENTIALS says so where the system knows it (and can then offer
// 1.3); older systems take SCHANNEL_CRED, limited to 1.2.
bool acquireCredentials(TlsSession* session) {
    const DWORD flags =
        SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
    TLS_PARAMETERS parameters{};
    parameters.grbitDisabledProtocols =
        SP_PROT_SSL2_CLIENT | SP_PROT_SSL3_CLIENT | SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT;
    SCH_CREDENTIALS modern{};
    modern.dwVersion = SCH_CREDENTIALS_VERSION;
    modern.dwFlags = flags;
    modern.cTlsParameters = 1;
    modern.pTlsParameters = &parameters;
    SCHANNEL_CRED classic{};
    classic.dwVersion = SCHANNEL_CRED_VERSION;
    classic.dwFlags = flags;
    classic.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
    for (void* data : {static_cast<void*>(&modern), static_cast<void*>(&classic)}) {
        SECURITY_STATUS status = AcquireCredentialsHandleA(
            nullptr, const_cast<char*>(UNISP_NAME_A), SECPKG_CRED_OUTBOUND, nullptr, data, nullptr,
            nullptr, &session->credentials, nullptr);
        if (status == SEC_E_OK) return session->haveCredentials = true;
    }
    return false;
}

// One step of the handshake (or of a message after it) with `incoming` as input: sends what
// Schannel answers and keeps whatever input it did not use.
SECURITY_STATUS step(TlsSession* session, bool first, std::int64_t endMs) {
    SecBuffer in[2] = {
        {DWORD(session->incoming.size()), SECBUFFER_TOKEN, &session->incoming[0]},
        {0, SECBUFFER_EMPTY, nullptr},
    };
    SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
    SecBuffer out[1] = {{0, SECBUFFER_TOKEN, nullptr}};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, out};
    DWORD granted = 0;
    SECURITY_STATUS status = InitializeSecurityContextA(
        &session->credentials, first ? nullptr : &session->context,
        const_cast<char*>(session->host.c_str()), kContextFlags, 0, 0, first ? nullptr : &inDesc, 0,
        first ? &session->context : nullptr, &outDesc, &granted, nullptr);
    if (first && !FAILED(status)) session->haveContext = true;
    if (status == SEC_E_INCOMPLETE_MESSAGE) return status;
    if (out[0].pvBuffer) {
        sendAll(session, static_cast<const char*>(out[0].pvBuffer), out[0].cbBuffer, endMs);
        FreeContextBuffer(out[0].pvBuffer);
    }
    if (first) return status;
    if (in[1].BufferType == SECBUFFER_EXTRA && in[1].cbBuffer > 0)
        session->incoming.erase(0, session->incoming.size() - in[1].cbBuffer);
    else
        session->incoming.clear();
    return status;
}

bool runHandshake(TlsSession* session, std::int64_t endMs) {
    SECURITY_STATUS status = step(session, true, endMs);
    while (status == SEC_I_CONTINUE_NEEDED || status == SEC_E_INCOMPLETE_MESSAGE ||
           status == SEC_I_INCOMPLETE_CREDENTIALS) {
        if (session->error != TlsError::none) return false;
        if (session->incoming.empty() || status == SEC_E_INCOMPLETE_MESSAGE) {
            int filled = fill(session, endMs);
            if (filled < 0) return false;
            if (filled == 0) return fail(session, TlsError::connectionLost);
        }
        status = step(session, false, endMs);
    }
    if (status != SEC_E_OK) return fail(session, TlsError::handshakeFailed);
    return session->error == TlsError::none;
}

// The certificates of a PEM file in a store of their own; nullptr when there are none.
HCERTSTORE loadCaFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return nullptr;
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
    if (!store) return nullptr;
    const std::string begin = "-----BEGIN CERTIFICATE-----";
    const std::string end = "-----END CERTIFICATE-----";
    int count = 0;
    for (std::size_t at = text.find(begin); at != std::string::npos; at = text.find(begin, at)) {
        std::size_t stop = text.find(end, at);
        if (stop == std::string::npos) break;
        stop += end.size();
        const DWORD pemLength = DWORD(stop - at);
        DWORD derLength = 0;
        std::string der;
        if (CryptStringToBinaryA(text.data() + at, pemLength, CRYPT_STRING_BASE64HEADER, nullptr,
                                 &derLength, nullptr, nullptr)) {
            der.resize(derLength);
            if (CryptStringToBinaryA(text.data() + at, pemLength, CRYPT_STRING_BASE64HEADER,
                                     reinterpret_cast<BYTE*>(&der[0]), &derLength, nullptr,
                                     nullptr) &&
                CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING,
                                                 reinterpret_cast<const BYTE*>(der.data()),
                                                 derLength, CERT_STORE_ADD_ALWAYS, nullptr))
                ++count;
        }
        at = stop;
    }
    if (count > 0) return store;
    CertCloseStore(store, 0);
    return nullptr;
}

TlsError policyError(DWORD error) {
    switch (error) {
        case 0:
            return TlsError::none;
        case DWORD(CERT_E_CN_NO_MATCH):
            return TlsError::otherHost;
        case DWORD(CERT_E_EXPIRED):
            return TlsError::expired;
        default:
            return TlsError::notTrusted;
    }
}

// Whether the chain ends in a root that the PEM file holds.
bool rootFromCaFile(PCCERT_CHAIN_CONTEXT chain, HCERTSTORE caStore) {
    if (!caStore || chain->cChain == 0) return false;
    const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
    if (simple->cElement == 0) return false;
    PCCERT_CONTEXT root = simple->rgpElement[simple->cElement - 1]->pCertContext;
    PCCERT_CONTEXT found = CertFindCertificateInStore(caStore, X509_ASN_ENCODING, 0,
                                                      CERT_FIND_EXISTING, root, nullptr);
    if (!found) return false;
    CertFreeCertificateContext(found);
    return true;
}

// Whether the certificate lists the IPv4 `address` (network byte order) among its addresses.
// The SSL policy compares names only, so an address in the URL is checked here.
bool namesAddress(PCCERT_CONTEXT certificate, unsigned long address) {
    const CERT_INFO* info = certificate->pCertInfo;
    PCERT_EXTENSION names =
        CertFindExtension(szOID_SUBJECT_ALT_NAME2, info->cExtension, info->rgExtension);
    CERT_ALT_NAME_INFO* list = nullptr;
    DWORD size = 0;
    if (!names ||
        !CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, names->Value.pbData,
                             names->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &list, &size))
        return false;
    bool found = false;
    for (DWORD i = 0; i < list->cAltEntry; ++i) {
        const CERT_ALT_NAME_ENTRY& entry = list->rgAltEntry[i];
        found =
            found || (entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS &&
                      entry.IPAddress.cbData == sizeof(std::uint32_t) &&
                      std::memcmp(entry.IPAddress.pbData, &address, sizeof(std::uint32_t)) == 0);
    }
    LocalFree(list);
    return found;
}

// The chain's own verdict, in the order OpenSSL reports: trust first, then (by the policy) the
// name, then the dates. Not left to the policy alone, because Wine's SSL policy passes a chain
// that never reached a root.
TlsError checkChain(PCCERT_CHAIN_CONTEXT chain, HCERTSTORE caStore, const std::string& host) {
    DWORD errors = chain->TrustStatus.dwErrorStatus;
    if (rootFromCaFile(chain, caStore)) errors &= ~DWORD(CERT_TRUST_IS_UNTRUSTED_ROOT);
    if ((errors & ~DWORD(CERT_TRUST_IS_NOT_TIME_VALID)) != 0) return TlsError::notTrusted;
    const unsigned long address = inet_addr(host.c_str());
    std::wstring name(host.begin(), host.end());
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = address == INADDR_NONE ? &name[0] : nullptr;
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    // The root's trust was settled above; the policy still checks everything else.
    policy.dwFlags =
        CERT_CHAIN_POLICY_ALLOW_UNKNOWN_CA_FLAG | CERT_CHAIN_POLICY_IGNORE_ALL_NOT_TIME_VALID_FLAGS;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status))
        return TlsError::notTrusted;
    if (status.dwError != 0) return policyError(status.dwError);
    if (address != INADDR_NONE &&
        !namesAddress(chain->rgpChain[0]->rgpElement[0]->pCertContext, address))
        return TlsError::otherHost;
    return errors != 0 ? TlsError::expired : TlsError::none;
}

// Builds the server's chain (its own intermediates and the PEM file's certificates as extra
// stores) and runs the SSL policy for our host name on it.
TlsError verifyServer(TlsSession* session, HCERTSTORE caStore) {
    PCCERT_CONTEXT server = nullptr;
    if (QueryContextAttributesA(&session->context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &server) !=
            SEC_E_OK ||
        !server)
        return TlsError::notTrusted;
    HCERTSTORE extra = CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr);
    if (extra) {
        CertAddStoreToCollection(extra, server->hCertStore, 0, 0);
        if (caStore) CertAddStoreToCollection(extra, caStore, 0, 0);
    }
    char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
    char* usages[] = {serverAuth};
    CERT_CHAIN_PARA chainPara{};
    chainPara.cbSize = sizeof chainPara;
    chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    TlsError error = TlsError::notTrusted;
    if (CertGetCertificateChain(nullptr, server, nullptr, extra, &chainPara, 0, nullptr, &chain)) {
        error = checkChain(chain, caStore, session->host);
        CertFreeCertificateChain(chain);
    }
    if (extra) CertCloseStore(extra, 0);
    CertFreeCertificateContext(server);
    return error;
}

// Schannel may agree on less than the credentials asked for where a system ignores them; the
// version is checked again before anything is sent.
bool modernProtocol(TlsSession* session) {
    SecPkgContext_ConnectionInfo info{};
    if (QueryContextAttributesA(&session->context, SECPKG_ATTR_CONNECTION_INFO, &info) != SEC_E_OK)
        return false;
    const DWORD tls12OrNewer = SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT;
    return (info.dwProtocol & tls12OrNewer) != 0;
}

TlsError startSession(TlsSession* session, const std::string& caFile, std::int64_t endMs) {
    HCERTSTORE caStore = nullptr;
    if (!caFile.empty() && !(caStore = loadCaFile(caFile))) return TlsError::caFileUnusable;
    TlsError error = TlsError::none;
    if (!acquireCredentials(session))
        error = TlsError::handshakeFailed;
    else if (!runHandshake(session, endMs))
        error = session->error;
    else if (!modernProtocol(session))
        error = TlsError::handshakeFailed;
    else if (QueryContextAttributesA(&session->context, SECPKG_ATTR_STREAM_SIZES,
                                     &session->sizes) != SEC_E_OK)
        error = TlsError::handshakeFailed;
    else
        error = verifyServer(session, caStore);
    if (caStore) CertCloseStore(caStore, 0);
    return error;
}

// Decrypts the records in `incoming` onto `plain`: true when that made progress or needs more
// input, false on a failure. A message after the handshake (a session ticket, a key update) goes
// back to Schannel as a handshake step.
bool decrypt(TlsSession* session, bool& needMore, std::int64_t endMs) {
    needMore = false;
    SecBuffer buffers[4] = {
        {DWORD(session->incoming.size()), SECBUFFER_DATA, &session->incoming[0]},
        {0, SECBUFFER_EMPTY, nullptr},
        {0, SECBUFFER_EMPTY, nullptr},
        {0, SECBUFFER_EMPTY, nullptr},
    };
    SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
    // Wine answers a TLS 1.2 close_notify with SEC_E_OK and no data instead of
    // SEC_I_CONTEXT_EXPIRED; an alert record is visible by its type byte there.
    const bool alert = session->incoming[0] == kAlertRecord;
    SECURITY_STATUS status = DecryptMessage(&session->context, &desc, 0, nullptr);
    if (status == SEC_E_INCOMPLETE_MESSAGE) {
        needMore = true;
        return true;
    }
    if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE && status != SEC_I_CONTEXT_EXPIRED)
        return fail(session, TlsError::badRecord);
    std::string extra;
    for (const SecBuffer& buffer : buffers) {
        if (buffer.BufferType == SECBUFFER_DATA && buffer.cbBuffer > 0)
            session->plain.append(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
        if (buffer.BufferType == SECBUFFER_EXTRA && buffer.cbBuffer > 0)
            extra.assign(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
    }
    session->incoming.swap(extra);
    if (status == SEC_I_CONTEXT_EXPIRED || (alert && session->plain.empty())) session->ended = true;
    if (status == SEC_I_RENEGOTIATE) {
        SECURITY_STATUS answer = step(session, false, endMs);
        if (answer != SEC_E_OK && answer != SEC_I_CONTINUE_NEEDED)
            return fail(session, TlsError::badRecord);
    }
    return session->error == TlsError::none;
}

void freeSession(TlsSession* session) {
    if (session->haveContext) DeleteSecurityContext(&session->context);
    if (session->haveCredentials) FreeCredentialsHandle(&session->credentials);
    delete session;
}

}  // namespace

TlsSession* tlsHandshake(SocketHandle socket, const std::string& host, const std::string& caFile,
                         std::int64_t endMs, TlsError& error) {
    auto* session = new TlsSession;
    session->socket = socket;
    session->host = host;
    error = startSession(session, caFile, endMs);
    if (error == TlsError::none) return session;
    freeSession(session);
    return nullptr;
}

int tlsSendSome(TlsSession* session, const char* bytes, int length, std::int64_t endMs) {
    const SecPkgContext_StreamSizes& sizes = session->sizes;
    const int chunk = std::min(length, kSendChunkBytes);
    std::string records;
    std::string record;
    for (int done = 0; done < chunk;) {
        const DWORD part = std::min<DWORD>(DWORD(chunk - done), sizes.cbMaximumMessage);
        record.assign(sizes.cbHeader + part + sizes.cbTrailer, '\0');
        std::memcpy(&record[sizes.cbHeader], bytes + done, part);
        SecBuffer buffers[4] = {
            {sizes.cbHeader, SECBUFFER_STREAM_HEADER, &record[0]},
            {part, SECBUFFER_DATA, &record[sizes.cbHeader]},
            {sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, &record[sizes.cbHeader + part]},
            {0, SECBUFFER_EMPTY, nullptr},
        };
        SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
        if (EncryptMessage(&session->context, 0, &desc, 0) != SEC_E_OK)
            return fail(session, TlsError::badRecord) - 1;
        // The trailer may come out shorter than the most it could be.
        records.append(record, 0, buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
        done += int(part);
    }
    return sendAll(session, records.data(), records.size(), endMs) ? chunk : -1;
}

int tlsReceiveSome(TlsSession* session, char* buffer, int capacity, std::int64_t endMs) {
    for (;;) {
        if (!session->plain.empty()) {
            const std::size_t count = std::min(session->plain.size(), std::size_t(capacity));
            std::memcpy(buffer, session->plain.data(), count);
            session->plain.erase(0, count);
            return int(count);
        }
        if (session->ended) return 0;
        bool needMore = session->incoming.empty();
        if (!needMore && !decrypt(session, needMore, endMs)) return -1;
        if (!needMore) continue;
        int filled = fill(session, endMs);
        if (filled < 0) return -1;
        if (filled == 0) {
            // Closed between records: the end of the answer. Inside one: cut off.
            if (session->incoming.empty()) return 0;
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
    DWORD shutdown = SCHANNEL_SHUTDOWN;
    SecBuffer token{sizeof shutdown, SECBUFFER_TOKEN, &shutdown};
    SecBufferDesc desc{SECBUFFER_VERSION, 1, &token};
    if (session->haveContext && !session->ended && session->error == TlsError::none &&
        ApplyControlToken(&session->context, &desc) == SEC_E_OK) {
        SecBuffer out[1] = {{0, SECBUFFER_TOKEN, nullptr}};
        SecBufferDesc outDesc{SECBUFFER_VERSION, 1, out};
        DWORD granted = 0;
        InitializeSecurityContextA(&session->credentials, &session->context,
                                   const_cast<char*>(session->host.c_str()), kContextFlags, 0, 0,
                                   nullptr, 0, nullptr, &outDesc, &granted, nullptr);
        if (out[0].pvBuffer) {
            sendAll(session, static_cast<const char*>(out[0].pvBuffer), out[0].cbBuffer, endMs);
            FreeContextBuffer(out[0].pvBuffer);
        }
    }
    freeSession(session);
}
