#include "upload/transfer_limits.h"

#include <algorithm>
#include <chrono>

namespace {
constexpr std::int64_t kLongestWaitMs = 24 * 60 * 60 * 1000;
}

std::int64_t steadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::int64_t sendGiveUpMs(const TransferLimits& limits, std::int64_t startMs,
                          std::int64_t progressMs, std::int64_t sentBytes) {
    // The average sent / (t - start) stays at or above the minimum until
    // t = start + sent / minimum; before the grace time is over the rate does not count.
    const std::int64_t rateHoldsMs = sentBytes * 1000 / std::max(1, limits.minBytesPerSecond);
    const std::int64_t rateEnd = startMs + std::max<std::int64_t>(limits.rateGraceMs, rateHoldsMs);
    return std::min(progressMs + limits.stallMs, rateEnd);
}

int msUntil(std::int64_t endMs) {
    return int(std::clamp<std::int64_t>(endMs - steadyMs(), 0, kLongestWaitMs));
}
