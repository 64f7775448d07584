// Wall-clock local time with milliseconds and the high-resolution
// performance counter.
#pragma once

#include <cstdint>

namespace tav::platform {

struct LocalTime {
    std::int32_t year = 0;
    std::int32_t month = 0;  // 1 to 12
    std::int32_t day = 0;    // 1 to 31
    std::int32_t hour = 0;
    std::int32_t minute = 0;
    std::int32_t second = 0;
    std::int32_t millisecond = 0;
};

LocalTime localTime();

// The local time of a moment given in seconds and nanoseconds since 1970 UTC:
// localTime() splits the present moment through it.
LocalTime localTimeAt(std::int64_t seconds, std::int32_t nanoseconds);

// Monotonic tick count and its ticks per second.
std::int64_t performanceCounter();
std::int64_t performanceFrequency();

}  // namespace tav::platform
