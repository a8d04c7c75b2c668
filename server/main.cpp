// glimmerix-server: the upload service behind Glimmerix's UPLOAD button. It stores the PNG or
// JPEG posted to /api.php and answers with the image's link. See --help for the settings.
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

#include "deletion_key.h"
#include "listener.h"
#include "options.h"
#include "server_log.h"
#include "storage.h"
#include "upload_service.h"

namespace {

std::string hostName() {
    char name[256] = "";
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
    return name;
}

int fail(const std::string& message) {
    logMessage(message);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    ServerOptions options;
    std::string error;
    switch (parseOptions(argc, argv, &options, &error)) {
        case ParseOutcome::ShowHelp:
            std::fputs(usageText().c_str(), stdout);
            return 0;
        case ParseOutcome::ShowVersion:
            std::puts("glimmerix-server " GLIMMERIX_VERSION);
            return 0;
        case ParseOutcome::Error:
            std::fprintf(stderr, "glimmerix-server: %s\nTry 'glimmerix-server --help'.\n",
                         error.c_str());
            return 2;
        case ParseOutcome::Run:
            break;
    }

    // The stop signals are taken with sigwait() on this thread, so they are blocked before any
    // other thread exists and every thread inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    Storage storage;
    if (!storage.open(options.dataDir, &error)) return fail(error);
    DeletionKey key;
    if (!key.loadOrCreate(options.dataDir + "/delete.key", &error)) return fail(error);
    Listener listener;
    if (!listener.open(options.listenAddress, options.port, &error)) return fail(error);
    if (options.publicUrl.empty())
        options.publicUrl = defaultPublicUrl(hostName(), listener.port());

    ServiceSettings settings;
    settings.publicUrl = options.publicUrl;
    settings.maxImageBytes = options.maxUploadBytes;
    settings.limits.read = options.readTimeout;
    settings.limits.write = options.writeTimeout;
    settings.limits.request = options.requestTimeout;
    settings.keepAliveTimeout = options.keepAliveTimeout;
    UploadService service(settings, storage, key);

    logMessage("listening on " + options.listenAddress + " port " +
               std::to_string(listener.port()) + ", links start with " + options.publicUrl +
               "/, data in " + options.dataDir);

    std::atomic<bool> listenerFailed{false};
    std::thread serving([&] {
        auto serve = [&](int fd) { service.serveConnection(fd, listener); };
        if (!listener.run(options.threads, serve)) {
            // The accept loop gave up on its own; wake the main thread to shut down.
            listenerFailed = true;
            ::kill(::getpid(), SIGTERM);
        }
    });

    int received = 0;
    sigwait(&stopSignals, &received);
    if (!listenerFailed) {
        logMessage(std::string("received SIG") + sigabbrev_np(received) +
                   ", finishing the requests in progress");
    }
    listener.stop();
    serving.join();
    logMessage("stopped");
    return listenerFailed ? 1 : 0;
}
