#include "upload/transfer_limits.h"

#include <gtest/gtest.h>

// Sending gives up at the stall time after the last progress, or once the average rate since the
// start falls below the minimum, which counts only after the grace time.
TEST(SendGiveUp, StallOrTooLowAnAverageAfterTheGraceTime) {
    const TransferLimits limits;  // stall 30 s, 1 KiB/s after 60 s
    struct Case {
        std::int64_t progressMs, sentBytes, giveUpMs;
    };
    for (Case c : {Case{0, 0, 30000},                   // nothing moves
                   Case{50000, 1000, 60000},            // 1 byte per 2 s: the grace time ends it
                   Case{70000, 6 * 1024 * 70, 100000},  // 6 KiB/s: the stall time is the bound
                   Case{190000, 200 * 1024, 200000}})   // 200 KiB hold the rate up to 200 s
        EXPECT_EQ(1000 + c.giveUpMs, sendGiveUpMs(limits, 1000, 1000 + c.progressMs, c.sentBytes))
            << c.progressMs << " " << c.sentBytes;
}
