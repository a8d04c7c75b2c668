#include "upload/tls_module.h"

const char* tlsErrorText(TlsError error) {
    switch (error) {
        case TlsError::none:
            return "";
        case TlsError::notTrusted:
            return "TLS: certificate not trusted";
        case TlsError::otherHost:
            return "TLS: certificate is for another host";
        case TlsError::expired:
            return "TLS: certificate expired";
        case TlsError::caFileUnusable:
            return "TLS: ca_file holds no usable certificate";
        case TlsError::handshakeFailed:
            return "TLS: handshake failed";
        case TlsError::timedOut:
            return "TLS: timed out";
        case TlsError::connectionLost:
            return "TLS: connection lost";
        case TlsError::badRecord:
            return "TLS: bad record from the server";
        case TlsError::noModule:
            return "TLS: cannot load " GLIMMERIX_TLS_MODULE_FILE;
    }
    return "TLS: failed";
}
