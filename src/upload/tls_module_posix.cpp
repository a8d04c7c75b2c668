// The program's side of tls_module.h: finds glimmerix-tls.so beside the executable (the Debian
// package's layout) or in lib/glimmerix/ beside the executable's folder (the build tree's, for the
// program, the tests and the benchmarks alike), loads it at the first handshake and forwards to
// it. A module that is missing, fails to load or was built for another program fails that
// handshake with TlsError::noModule, and the next handshake tries again.
#include <dlfcn.h>
#include <unistd.h>

#include <mutex>
#include <string>

#include "upload/tls_module.h"

namespace {

// Empty when the system will not say: never the current folder, which is the user's working
// folder and no place to load code from.
std::string executableFolder() {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return "";
    std::string folder(path, size_t(length));
    return folder.substr(0, folder.rfind('/'));
}

const TlsModuleFunctions* load(const std::string& file) {
    void* module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) return nullptr;
    auto entry =
        reinterpret_cast<decltype(&glimmerixTlsModule)>(dlsym(module, GLIMMERIX_TLS_MODULE_ENTRY));
    const TlsModuleFunctions* functions = entry ? entry() : nullptr;
    if (functions && functions->size == sizeof(TlsModuleFunctions)) return functions;
    dlclose(module);
    return nullptr;
}

// Loaded once and kept for the life of the process: sessions point into it.
const TlsModuleFunctions* module() {
    static std::mutex loading;
    static const TlsModuleFunctions* loaded = nullptr;
    std::lock_guard<std::mutex> lock(loading);
    if (loaded) return loaded;
    const std::string folder = executableFolder();
    if (folder.empty()) return nullptr;
    loaded = load(folder + "/" GLIMMERIX_TLS_MODULE_FILE);
    if (!loaded) loaded = load(folder + "/../lib/glimmerix/" GLIMMERIX_TLS_MODULE_FILE);
    return loaded;
}

}  // namespace

// A session exists only after a handshake through the loaded module, so the calls that take one
// go straight to it.
TlsSession* tlsHandshake(SocketHandle socket, const std::string& host, const std::string& caFile,
                         std::int64_t endMs, TlsError& error) {
    const TlsModuleFunctions* functions = module();
    if (!functions) {
        error = TlsError::noModule;
        return nullptr;
    }
    return functions->handshake(socket, host, caFile, endMs, error);
}

int tlsSendSome(TlsSession* session, const char* bytes, int length, std::int64_t endMs) {
    return module()->sendSome(session, bytes, length, endMs);
}

int tlsReceiveSome(TlsSession* session, char* buffer, int capacity, std::int64_t endMs) {
    return module()->receiveSome(session, buffer, capacity, endMs);
}

TlsError tlsLastError(const TlsSession* session) {
    return module()->lastError(session);
}

int tlsLastSystemError(const TlsSession* session) {
    return module()->lastSystemError(session);
}

void tlsClose(TlsSession* session, std::int64_t endMs) {
    if (session) module()->close(session, endMs);
}
