// On Linux, OpenSSL lives in a module of its own, glimmerix-tls.so, that the program loads at
// its first https upload: linked into the program, libcrypto and libssl would be mapped, and
// over a megabyte and a half of their pages resident, for as long as it waits, although most
// users never configure https. The module exports one C function that hands over its tls.h
// functions; the program's tls.h functions forward to them (tls_module_posix.cpp).
#pragma once

#include <cstdint>

#include "upload/tls.h"

struct TlsModuleFunctions {
    std::uint32_t size;  // sizeof(TlsModuleFunctions) in the module, to refuse a stray one
    decltype(&tlsHandshake) handshake;
    decltype(&tlsSendSome) sendSome;
    decltype(&tlsReceiveSome) receiveSome;
    decltype(&tlsLastError) lastError;
    decltype(&tlsLastSystemError) lastSystemError;
    decltype(&tlsClose) close;
};

#define GLIMMERIX_TLS_MODULE_FILE "glimmerix-tls.so"
#define GLIMMERIX_TLS_MODULE_ENTRY "glimmerixTlsModule"

extern "C" const TlsModuleFunctions* glimmerixTlsModule();
