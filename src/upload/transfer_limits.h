// How long an upload may take. A slow link that keeps moving must work, a stalled or trickling
// one must not hold the program: connecting, sending and waiting for the answer each have their
// own bound.
#pragma once

#include <cstdint>

struct TransferLimits {
    int connectMs = 30000;
    // Sending gives up after this long without the peer taking a byte...
    int stallMs = 30000;
    // ...or, from rateGraceMs after its start on, when the average rate since that start falls
    // below minBytesPerSecond.
    int minBytesPerSecond = 1024;
    int rateGraceMs = 60000;
    // The whole answer must be in this long after the request's last byte was sent.
    int answerMs = 30000;
    // Small enough that the peer reading the request shows as progress while it is sent.
    int sendBufferBytes = 64 * 1024;
};

// Milliseconds on a clock that only moves forward, for deadlines.
std::int64_t steadyMs();

// The steadyMs() reading at which a send that started at `startMs`, has handed `sentBytes` on and
// last moved at `progressMs` gives up if nothing more moves. Pure arithmetic on the readings, so
// that the rule can be checked without waiting.
std::int64_t sendGiveUpMs(const TransferLimits& limits, std::int64_t startMs,
                          std::int64_t progressMs, std::int64_t sentBytes);

// Milliseconds from now until `endMs`, 0 when it has passed; never more than a day, so that it
// fits every platform's wait call.
int msUntil(std::int64_t endMs);
