// Command-line configuration of glimmerix-server. Every setting has a flag and a default that
// suits a small team's box; there is no configuration file to go stale.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "server_defaults.h"
#include "trusted_addresses.h"
#include "upload_access.h"

struct ServerOptions {
    std::string listenAddress = defaults::kListenAddress;
    int port = defaults::kPort;
    std::string dataDir = defaults::kDataDir;
    // Start of every link, without a trailing '/'. Empty until main() fills in the default,
    // which needs the host name and the port actually bound.
    std::string publicUrl;
    std::uint64_t maxUploadBytes = defaults::kMaxImageBytes;
    // Event threads; connections are multiplexed over them and cost no thread of their own.
    std::size_t threads = defaults::kThreads;
    std::size_t maxConnections = defaults::kMaxConnections;
    std::size_t maxConnectionsPerIp = defaults::kMaxConnectionsPerIp;
    TrustedAddresses trustedProxies;
    std::chrono::milliseconds headerTimeout = defaults::kHeaderTimeout;
    std::chrono::milliseconds readTimeout = defaults::kReadTimeout;
    std::chrono::milliseconds writeTimeout = defaults::kWriteTimeout;
    std::chrono::milliseconds requestTimeout = defaults::kRequestTimeout;
    std::chrono::milliseconds keepAliveTimeout = defaults::kKeepAliveTimeout;
    std::chrono::milliseconds stopTimeout = defaults::kStopTimeout;
    std::uint64_t minRate = defaults::kMinRate;
    std::size_t logLinesPerSecond = defaults::kLogLinesPerSecond;
    std::string uploadTokensFile;  // empty: no tokens
    // Addresses that upload without a token. Unless given: loopback and private networks when
    // there are no tokens, nobody when there are.
    UploadSources uploadFrom;
    bool uploadFromGiven = false;
    std::string tlsCertFile, tlsKeyFile;  // both or neither
    // The S3 store, used when an endpoint is given; its keys come from the environment or
    // the credentials file, never from a flag.
    std::string s3Endpoint;
    std::string s3Bucket;
    std::string s3Region = "us-east-1";
    std::string s3Prefix;
    std::string s3CredentialsFile;
    std::chrono::milliseconds s3ConnectTimeout{3'000};
    std::chrono::milliseconds s3StallTimeout{10'000};
    std::chrono::milliseconds s3Timeout{30'000};
    std::string deleteKeyFile;  // instead of DATA_DIR/delete.key
    std::string newDeleteKey;   // make a key file here and exit
};

enum class ParseOutcome { Run, ShowHelp, ShowVersion, Error };

// Reads flags of the form "--name value" or "--name=value". On Error, `error` says which flag
// was wrong and why.
ParseOutcome parseOptions(int argc, const char* const* argv, ServerOptions* options,
                          std::string* error);

std::string usageText();

// "http://HOST" for port 80, "http://HOST:PORT" otherwise; with `tls`, https and port 443.
std::string defaultPublicUrl(const std::string& hostName, int port, bool tls = false);
