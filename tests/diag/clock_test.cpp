#include "diag/clock.h"

#include <gtest/gtest.h>

using namespace tav::diag;

TEST(UptimeClock, StartsAtFirstReadingAndNeverGoesBack) {
    const double first = uptimeSeconds();
    EXPECT_GE(first, 0.0);
    EXPECT_LT(first, 60.0);
    const UptimeParts parts = uptimeParts();
    EXPECT_GE(parts.seconds, 0);
    EXPECT_GE(parts.milliseconds, 0);
    EXPECT_LT(parts.milliseconds, 1000);
    EXPECT_GE(uptimeSeconds(), first);
}
