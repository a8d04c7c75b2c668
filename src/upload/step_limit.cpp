#include "upload/step_limit.h"

#include <algorithm>
#include <chrono>

namespace {
constexpr std::int64_t kLongestWaitMs = 24 * 60 * 60 * 1000;
}

std::int64_t steadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::int64_t stallEnd(const StepLimit& limit, std::int64_t progressMs) {
    return std::min(progressMs + limit.stallMs, limit.deadlineMs);
}

int msUntil(std::int64_t endMs) {
    return int(std::clamp<std::int64_t>(endMs - steadyMs(), 0, kLongestWaitMs));
}
