// How long a blocking network step may wait. A step gives up when nothing has moved for its
// stall time, and in any case at the deadline of the whole exchange, so a peer that trickles a
// byte now and then cannot hold the program for long either.
#pragma once

#include <cstdint>

struct StepLimit {
    int stallMs;              // the longest wait without progress
    std::int64_t deadlineMs;  // a steadyMs() reading: the step gives up then at the latest
};

// Milliseconds on a clock that only moves forward, for deadlines.
std::int64_t steadyMs();

// When a step that last made progress at `progressMs` gives up if nothing moves from then on.
std::int64_t stallEnd(const StepLimit& limit, std::int64_t progressMs);

// Milliseconds from now until `endMs`, 0 when it has passed; never more than a day, so that it
// fits every platform's wait call.
int msUntil(std::int64_t endMs);
