// glimmerix-server: the upload service behind Glimmerix's UPLOAD button. It stores the PNG or
// JPEG posted to /api.php and answers with the image's link. See --help for the settings.
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

#include "deletion_key.h"
#include "listen_socket.h"
#include "options.h"
#include "server_log.h"
#include "store_setup.h"
#include "upload_service.h"

namespace {

std::string hostName() {
    char name[256] = "";
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
    return name;
}

// Connections are limited by descriptors; the soft limit (often 1024) is raised to the hard one.
std::size_t raiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
        ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    return limit.rlim_cur == RLIM_INFINITY ? (1u << 20) : static_cast<std::size_t>(limit.rlim_cur);
}

// Reads the upload tokens again; a bad file keeps the tokens in use.
void reloadUploadTokens(const std::string& path, UploadService& service) {
    auto tokens = std::make_shared<UploadTokens>();
    std::string error;
    if (!tokens->load(path, &error)) {
        logMessage("SIGHUP: kept the upload tokens in use: " + error);
        return;
    }
    service.setUploadTokens(tokens);
    logMessage("SIGHUP: " + std::to_string(tokens->size()) + " upload token(s) read from " + path);
}

// Waits for SIGTERM or SIGINT, meanwhile ending overdue connections a few times a second,
// looking for dead servers' leftovers once a minute, and reading the tokens again on SIGHUP.
int waitForStopSignal(const sigset_t& signals, UploadService& service, const ImageStore& store,
                      const ServerOptions& options) {
    constexpr auto kSweepEvery = std::chrono::minutes(1);
    auto nextSweep = std::chrono::steady_clock::now() + kSweepEvery;
    const timespec tick{0, 250'000'000};
    for (;;) {
        int received = ::sigtimedwait(&signals, nullptr, &tick);
        if (received == SIGHUP) {
            if (!options.uploadTokensFile.empty()) {
                reloadUploadTokens(options.uploadTokensFile, service);
            }
        } else if (received > 0) {
            return received;
        }
        service.expireOverdue();
        if (std::chrono::steady_clock::now() >= nextSweep) {
            std::string swept = store.sweep();
            if (!swept.empty()) logMessage(swept);
            nextSweep = std::chrono::steady_clock::now() + kSweepEvery;
        }
    }
}

bool readWholeFile(const std::string& path, std::string* out) {
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open()) return false;
    out->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

// The start-up line's account of who may upload.
std::string uploadPolicyText(const ServerOptions& options, std::size_t tokens) {
    if (options.uploadFrom.any) return "uploads open to everyone (--upload-from any)";
    std::string text = "uploads accepted from " +
                       (options.uploadFrom.ranges.empty() ? "no address" : options.uploadFrom.text);
    if (tokens > 0) {
        text += ", and from anywhere with one of " + std::to_string(tokens) + " token(s) in " +
                options.uploadTokensFile;
    }
    return text;
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
    if (!options.newDeleteKey.empty()) {
        if (!DeletionKey::createFile(options.newDeleteKey, &error)) return fail(error);
        return 0;
    }

    // Who may upload: without --upload-from, loopback and private networks, unless tokens are
    // required; then only token holders.
    std::shared_ptr<UploadTokens> tokens;
    if (!options.uploadTokensFile.empty()) {
        tokens = std::make_shared<UploadTokens>();
        if (!tokens->load(options.uploadTokensFile, &error)) return fail(error);
    }
    if (!options.uploadFromGiven && !tokens) {
        parseUploadSources(defaults::kUploadFrom, &options.uploadFrom);
    }
    ServiceSettings settings;
    if (!options.tlsCertFile.empty() && (!readWholeFile(options.tlsCertFile, &settings.tlsCert) ||
                                         !readWholeFile(options.tlsKeyFile, &settings.tlsKey))) {
        return fail("cannot read --tls-cert " + options.tlsCertFile + " or --tls-key " +
                    options.tlsKeyFile);
    }

    // The stop signals and SIGHUP are taken with sigtimedwait() on this thread, so they are
    // blocked before any other thread exists and every thread inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    // Every open connection holds a descriptor (two while the deadlines watch it).
    std::size_t descriptors = raiseDescriptorLimit();
    std::size_t affordable = descriptors > 64 ? (descriptors - 64) / 2 : 1;
    if (options.maxConnections > affordable) {
        logMessage("only " + std::to_string(descriptors) + " file descriptors: --max-connections " +
                   std::to_string(options.maxConnections) + " lowered to " +
                   std::to_string(affordable));
        options.maxConnections = affordable;
    }

    OpenedStore opened;
    std::string warning;
    bool storeOpened = openStore(options, &opened, &error, &warning);
    if (!warning.empty()) logMessage(warning);
    if (!storeOpened) return fail(error);
    int port = 0;
    UniqueFd listenSocket = openListeningSocket(options.listenAddress, options.port, &port, &error);
    if (!listenSocket.valid()) return fail(error);
    if (options.publicUrl.empty()) {
        options.publicUrl = defaultPublicUrl(hostName(), port, !settings.tlsCert.empty());
    }

    settings.publicUrl = options.publicUrl;
    settings.maxImageBytes = options.maxUploadBytes;
    settings.maxConnections = options.maxConnections;
    settings.eventThreads = options.threads;
    settings.rules.perAddressLimit = options.maxConnectionsPerIp;
    settings.rules.trusted = options.trustedProxies;
    settings.rules.headTimeout = options.headerTimeout;
    settings.rules.requestTimeout = options.requestTimeout;
    settings.readTimeout = options.readTimeout;
    settings.writeTimeout = options.writeTimeout;
    settings.keepAliveTimeout = options.keepAliveTimeout;
    settings.logLinesPerSecond = options.logLinesPerSecond;
    settings.rules.minRate = options.minRate;
    settings.uploadFrom = options.uploadFrom;
    UploadService service(settings, *opened.store, opened.key);
    service.setUploadTokens(tokens);
    if (!service.start(listenSocket.release(), &error)) return fail(error);

    logMessage("listening on " + options.listenAddress + " port " + std::to_string(port) +
               ", links start with " + options.publicUrl + "/, " + opened.description);
    logMessage(uploadPolicyText(options, tokens ? tokens->size() : 0));

    int received = waitForStopSignal(stopSignals, service, *opened.store, options);
    logMessage(std::string("received SIG") + sigabbrev_np(received) +
               ", finishing the requests in progress");
    service.stop(options.stopTimeout);
    logMessage("stopped");
    return 0;
}
