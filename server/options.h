// Command-line configuration of glimmerix-server. Every setting has a flag and a default that
// suits a small team's box; there is no configuration file to go stale.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "trusted_addresses.h"

struct ServerOptions {
    std::string listenAddress = "0.0.0.0";
    int port = 80;
    std::string dataDir = "/var/lib/glimmerix";
    // Start of every link, without a trailing '/'. Empty until main() fills in the default,
    // which needs the host name and the port actually bound.
    std::string publicUrl;
    std::uint64_t maxUploadBytes = 32ull << 20;
    // Event threads; connections are multiplexed over them and cost no thread of their own.
    std::size_t threads = 8;
    std::size_t maxConnections = 4096;
    std::size_t maxConnectionsPerIp = 64;
    TrustedAddresses trustedProxies;
    std::chrono::milliseconds headerTimeout{10'000};
    std::chrono::milliseconds readTimeout{10'000};
    std::chrono::milliseconds writeTimeout{10'000};
    std::chrono::milliseconds requestTimeout{120'000};
    std::chrono::milliseconds keepAliveTimeout{5'000};
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

// "http://HOST" for port 80, "http://HOST:PORT" otherwise.
std::string defaultPublicUrl(const std::string& hostName, int port);
