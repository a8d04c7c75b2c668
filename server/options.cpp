#include "options.h"

#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>

namespace {

bool parseInteger(const std::string& text, std::uint64_t limit, std::uint64_t* out) {
    if (text.empty() || text.size() > 19) return false;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value > limit) return false;
    *out = value;
    return true;
}

// Bytes, with an optional binary suffix: "65536", "512K", "32M", "1G".
bool parseSize(std::string text, std::uint64_t* out) {
    unsigned shift = 0;
    if (!text.empty()) {
        switch (text.back()) {
            case 'K':
            case 'k':
                shift = 10;
                break;
            case 'M':
            case 'm':
                shift = 20;
                break;
            case 'G':
            case 'g':
                shift = 30;
                break;
            default:
                break;
        }
        if (shift) text.pop_back();
    }
    std::uint64_t value = 0;
    if (!parseInteger(text, (1ull << 40) >> shift, &value) || value == 0) return false;
    *out = value << shift;
    return true;
}

// Seconds, fractions allowed ("0.5"), more than 0 and at most a day.
bool parseSeconds(const std::string& text, std::chrono::milliseconds* out) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) return false;
    char* end = nullptr;
    double seconds = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !(seconds > 0) || seconds > 86400) return false;
    auto ms = static_cast<long long>(std::llround(seconds * 1000));
    if (ms < 1) return false;
    *out = std::chrono::milliseconds(ms);
    return true;
}

bool parsePublicUrl(std::string text, std::string* out) {
    std::size_t schemeLength = text.rfind("http://", 0) == 0    ? 7
                               : text.rfind("https://", 0) == 0 ? 8
                                                                : 0;
    if (schemeLength == 0) return false;
    for (unsigned char c : text) {
        if (c <= ' ' || c >= 0x7F) return false;
    }
    while (text.size() > schemeLength && text.back() == '/') text.pop_back();
    if (text.size() == schemeLength || text[schemeLength] == '/') return false;  // no host
    *out = text;
    return true;
}

bool parseCount(const std::string& text, std::uint64_t limit, std::size_t* out) {
    std::uint64_t value = 0;
    if (!parseInteger(text, limit, &value) || value == 0) return false;
    *out = static_cast<std::size_t>(value);
    return true;
}

// An http or https URL with a host and no path; the trailing '/' is dropped.
bool parseEndpoint(const std::string& text, std::string* out) {
    std::string url;
    if (!parsePublicUrl(text, &url)) return false;
    std::size_t host = url.find("://") + 3;
    if (url.find_first_of("/?#", host) != std::string::npos) return false;
    *out = url;
    return true;
}

bool setText(const std::string& value, std::string* out) {
    *out = value;
    return !value.empty();
}

using Setter = std::function<bool(const std::string&, ServerOptions*)>;

const std::map<std::string, Setter>& setters() {
    static const std::map<std::string, Setter> table = {
        {"listen",
         [](const std::string& v, ServerOptions* o) {
             o->listenAddress = v;
             return !v.empty();
         }},
        {"port",
         [](const std::string& v, ServerOptions* o) {
             std::uint64_t port = 0;
             if (!parseInteger(v, 65535, &port)) return false;
             o->port = static_cast<int>(port);
             return true;
         }},
        {"data-dir",
         [](const std::string& v, ServerOptions* o) {
             o->dataDir = v;
             return !v.empty();
         }},
        {"public-url",
         [](const std::string& v, ServerOptions* o) { return parsePublicUrl(v, &o->publicUrl); }},
        {"max-size",
         [](const std::string& v, ServerOptions* o) { return parseSize(v, &o->maxUploadBytes); }},
        {"threads",
         [](const std::string& v, ServerOptions* o) { return parseCount(v, 1024, &o->threads); }},
        {"max-connections",
         [](const std::string& v, ServerOptions* o) {
             return parseCount(v, 1 << 20, &o->maxConnections);
         }},
        {"max-connections-per-ip",
         [](const std::string& v, ServerOptions* o) {
             return parseCount(v, 1 << 20, &o->maxConnectionsPerIp);
         }},
        {"trusted-proxies",
         [](const std::string& v, ServerOptions* o) {
             return parseTrustedAddresses(v, &o->trustedProxies);
         }},
        {"header-timeout",
         [](const std::string& v, ServerOptions* o) { return parseSeconds(v, &o->headerTimeout); }},
        {"read-timeout",
         [](const std::string& v, ServerOptions* o) { return parseSeconds(v, &o->readTimeout); }},
        {"write-timeout",
         [](const std::string& v, ServerOptions* o) { return parseSeconds(v, &o->writeTimeout); }},
        {"request-timeout", [](const std::string& v,
                               ServerOptions* o) { return parseSeconds(v, &o->requestTimeout); }},
        {"keep-alive-timeout",
         [](const std::string& v, ServerOptions* o) {
             return parseSeconds(v, &o->keepAliveTimeout);
         }},
        {"stop-timeout",
         [](const std::string& v, ServerOptions* o) { return parseSeconds(v, &o->stopTimeout); }},
        {"min-rate",
         [](const std::string& v, ServerOptions* o) { return parseSize(v, &o->minRate); }},
        {"upload-tokens",
         [](const std::string& v, ServerOptions* o) {
             o->uploadTokensFile = v;
             return !v.empty();
         }},
        {"upload-from",
         [](const std::string& v, ServerOptions* o) {
             o->uploadFromGiven = true;
             return parseUploadSources(v, &o->uploadFrom);
         }},
        {"tls-cert",
         [](const std::string& v, ServerOptions* o) {
             o->tlsCertFile = v;
             return !v.empty();
         }},
        {"tls-key",
         [](const std::string& v, ServerOptions* o) {
             o->tlsKeyFile = v;
             return !v.empty();
         }},
        {"log-rate",
         [](const std::string& v, ServerOptions* o) {
             return parseCount(v, 1 << 20, &o->logLinesPerSecond);
         }},
        {"s3-endpoint",
         [](const std::string& v, ServerOptions* o) { return parseEndpoint(v, &o->s3Endpoint); }},
        {"s3-bucket",
         [](const std::string& v, ServerOptions* o) { return setText(v, &o->s3Bucket); }},
        {"s3-region",
         [](const std::string& v, ServerOptions* o) { return setText(v, &o->s3Region); }},
        {"s3-prefix",
         [](const std::string& v, ServerOptions* o) {
             o->s3Prefix = v;
             return true;
         }},
        {"s3-credentials",
         [](const std::string& v, ServerOptions* o) { return setText(v, &o->s3CredentialsFile); }},
        {"s3-connect-timeout",
         [](const std::string& v, ServerOptions* o) {
             return parseSeconds(v, &o->s3ConnectTimeout);
         }},
        {"s3-stall-timeout", [](const std::string& v,
                                ServerOptions* o) { return parseSeconds(v, &o->s3StallTimeout); }},
        {"s3-timeout",
         [](const std::string& v, ServerOptions* o) { return parseSeconds(v, &o->s3Timeout); }},
        {"delete-key-file",
         [](const std::string& v, ServerOptions* o) { return setText(v, &o->deleteKeyFile); }},
        {"new-delete-key",
         [](const std::string& v, ServerOptions* o) { return setText(v, &o->newDeleteKey); }},
    };
    return table;
}

}  // namespace

ParseOutcome parseOptions(int argc, const char* const* argv, ServerOptions* options,
                          std::string* error) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") return ParseOutcome::ShowHelp;
        if (arg == "--version") return ParseOutcome::ShowVersion;
        if (arg.rfind("--", 0) != 0) {
            *error = "unexpected argument '" + arg + "'";
            return ParseOutcome::Error;
        }
        std::string name = arg.substr(2);
        std::string value;
        std::size_t equals = name.find('=');
        if (equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.erase(equals);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            *error = "--" + name + " needs a value";
            return ParseOutcome::Error;
        }
        auto setter = setters().find(name);
        if (setter == setters().end()) {
            *error = "unknown option --" + name;
            return ParseOutcome::Error;
        }
        if (!setter->second(value, options)) {
            *error = "invalid value '" + value + "' for --" + name;
            return ParseOutcome::Error;
        }
    }
    if (options->tlsCertFile.empty() != options->tlsKeyFile.empty()) {
        *error = "--tls-cert and --tls-key go together";
        return ParseOutcome::Error;
    }
    if (!options->s3Endpoint.empty() && options->s3Bucket.empty()) {
        *error = "--s3-endpoint needs --s3-bucket";
        return ParseOutcome::Error;
    }
    if (options->s3Endpoint.empty() && !options->s3Bucket.empty()) {
        *error = "--s3-bucket needs --s3-endpoint";
        return ParseOutcome::Error;
    }
    return ParseOutcome::Run;
}

std::string usageText() {
    return "Usage: glimmerix-server [OPTION]...\n"
           "Stores PNG and JPEG screenshots posted to /api.php and answers with their link.\n"
           "\n"
           "  --listen ADDR            address to listen on (default 0.0.0.0; :: for IPv6)\n"
           "  --port N                 TCP port (default 80; 0 picks a free port)\n"
           "  --data-dir DIR           images and the deletion key (default /var/lib/glimmerix)\n"
           "  --public-url URL         start of every link, e.g. https://shots.example.com\n"
           "                           (default http://HOSTNAME, plus :PORT when not 80);\n"
           "                           never taken from the request's Host header\n"
           "  --max-size SIZE          largest image accepted, in bytes or with K, M or G\n"
           "                           (default 32M)\n"
           "  --max-connections N      connections open at once, idle ones included\n"
           "                           (default 4096); from 7/8 of it on, each new one sheds\n"
           "                           an unfinished head or a body below --min-rate\n"
           "  --max-connections-per-ip N  connections open at once from one address\n"
           "                           (default 64)\n"
           "  --trusted-proxies LIST   proxies or load balancers: exempt from the per-address\n"
           "                           limit, and their X-Forwarded-For names the client;\n"
           "                           comma-separated addresses and the word 'loopback', or\n"
           "                           'none' (default loopback)\n"
           "  --header-timeout SEC     longest time for a request's head (default 10)\n"
           "  --read-timeout SEC       longest silence while a request arrives (default 10)\n"
           "  --write-timeout SEC      longest wait for a client to take more (default 10)\n"
           "  --request-timeout SEC    longest time one request may take from the end of its\n"
           "                           head to the end of its answer (default 120)\n"
           "  --keep-alive-timeout SEC how long an idle connection is kept open (default 5)\n"
           "  --min-rate BYTES         slowest average rate, in bytes a second, of a request's\n"
           "                           head or body once past its first 5 s (default 1024)\n"
           "  --stop-timeout SEC       after SIGTERM, how long requests in progress may take\n"
           "                           to finish before they are cut off (default 10)\n"
           "  --log-rate N             request lines logged a second at most; the rest are\n"
           "                           counted in one line (default 1000)\n"
           "  --upload-tokens FILE     tokens that allow an upload (Authorization: Bearer),\n"
           "                           one a line; read again on SIGHUP\n"
           "  --upload-from LIST       addresses that upload without a token: addresses,\n"
           "                           CIDR ranges, 'loopback', 'private' or 'any' (default\n"
           "                           loopback,private without --upload-tokens, else none)\n"
           "  --tls-cert FILE          serve HTTPS with this PEM certificate (chain) ...\n"
           "  --tls-key FILE           ... and this PEM private key\n"
           "  --threads N              threads that carry all connections (default 8); a\n"
           "                           thread waits only on the disk, never on a client\n"
           "  --delete-key-file FILE   the deletion key (32 bytes, mode 0600), instead of\n"
           "                           DIR/delete.key; needed with the S3 store, the same\n"
           "                           file on every instance\n"
           "  --new-delete-key FILE    make a new deletion key file and exit\n"
           "\n"
           "Images in an S3 bucket instead of DIR/images (DIR then holds temporary files):\n"
           "  --s3-endpoint URL        http:// or https:// address of the S3 service, used\n"
           "                           path-style (URL/BUCKET/KEY)\n"
           "  --s3-bucket NAME         the bucket, which must exist\n"
           "  --s3-region NAME         region for request signing (default us-east-1)\n"
           "  --s3-prefix TEXT         put before each image's name in its key (default none)\n"
           "  --s3-credentials FILE    access key id and secret key, one per line, mode 0600;\n"
           "                           default: AWS_ACCESS_KEY_ID and AWS_SECRET_ACCESS_KEY\n"
           "  --s3-connect-timeout SEC longest wait to connect to the store (default 3)\n"
           "  --s3-stall-timeout SEC   longest time a store request may move no byte\n"
           "                           (default 10)\n"
           "  --s3-timeout SEC         longest time of one store request (default 30)\n"
           "\n"
           "  --help                   show this text\n"
           "  --version                show the version\n"
           "\n"
           "The read, write and keep-alive time-outs count in whole seconds, rounded up.\n"
           "SIGTERM or SIGINT stop accepting, let the requests in progress finish for at most\n"
           "--stop-timeout, close the rest and exit with status 0.\n"
           "One line per request is logged on standard error.\n";
}

std::string defaultPublicUrl(const std::string& hostName, int port, bool tls) {
    std::string url = (tls ? "https://" : "http://") + hostName;
    if (port != (tls ? 443 : 80)) url += ":" + std::to_string(port);
    return url;
}
