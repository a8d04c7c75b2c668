// Every default of the service's settings, in one place: the flags (options.h) start from these,
// and so do the settings the service's parts take (upload_service.h, connection_table.h), so a
// test that builds those parts directly runs with what a plain start runs with.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace defaults {

using std::chrono::milliseconds;

constexpr int kPort = 80;
constexpr const char* kListenAddress = "0.0.0.0";
constexpr const char* kDataDir = "/var/lib/glimmerix";
constexpr std::uint64_t kMaxImageBytes = 32ull << 20;
constexpr std::size_t kThreads = 8;
constexpr std::size_t kMaxConnections = 4096;
constexpr std::size_t kMaxConnectionsPerIp = 64;
constexpr milliseconds kHeaderTimeout{10'000};
constexpr milliseconds kReadTimeout{10'000};
constexpr milliseconds kWriteTimeout{10'000};
constexpr milliseconds kRequestTimeout{120'000};
constexpr milliseconds kKeepAliveTimeout{5'000};
constexpr milliseconds kStopTimeout{10'000};
// A head or body slower than this on average, once past its first kMinRateGrace, is closed.
constexpr std::uint64_t kMinRate = 1024;  // bytes per second
constexpr milliseconds kMinRateGrace{5'000};
constexpr std::size_t kLogLinesPerSecond = 1000;
// Who uploads without a token when neither --upload-from nor --upload-tokens is given.
constexpr const char* kUploadFrom = "loopback,private";

}  // namespace defaults
