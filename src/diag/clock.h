// The process clocks used by logging: the uptime since the high-resolution
// counter was first read, and local time.
#pragma once

#include <cstdint>

#include "platform/clock.h"

namespace tav::diag {

using platform::LocalTime;

// Seconds since the first reading of the uptime clock in this process.
double uptimeSeconds();

// The same instant split into whole seconds and milliseconds.
struct UptimeParts {
    std::int64_t seconds = 0;
    std::int32_t milliseconds = 0;
};
UptimeParts uptimeParts();

// The split itself, of ticks counted at frequency ticks per second.
UptimeParts splitTicks(std::int64_t ticks, std::int64_t frequency);

LocalTime localTime();

}  // namespace tav::diag
