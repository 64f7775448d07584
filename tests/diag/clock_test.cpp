#include "diag/clock.h"

#include <cstdint>

#include <gtest/gtest.h>

using namespace tav::diag;

TEST(Uptime, TicksSplitIntoSecondsAndMilliseconds) {
    const struct {
        std::int64_t ticks;
        std::int64_t frequency;
        std::int64_t seconds;
        std::int32_t milliseconds;
    } rows[] = {
        {123'456'789, 10'000'000, 12, 345},      // the usual Windows counter
        {1'999'999'999, 1'000'000'000, 1, 999},  // nanoseconds, just short of 2 s
        {3'000'000'000'000, 1'000'000'000, 3000, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.ticks);
        const UptimeParts parts = splitTicks(row.ticks, row.frequency);
        EXPECT_EQ(parts.seconds, row.seconds);
        EXPECT_EQ(parts.milliseconds, row.milliseconds);
    }
}
