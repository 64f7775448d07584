#include "platform/clock.h"

#include <ctime>

namespace tav::platform {

LocalTime localTime() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return localTimeAt(now.tv_sec, static_cast<std::int32_t>(now.tv_nsec));
}

LocalTime localTimeAt(std::int64_t seconds, std::int32_t nanoseconds) {
    const auto moment = static_cast<time_t>(seconds);
    tm parts{};
    localtime_r(&moment, &parts);
    LocalTime result;
    result.year = parts.tm_year + 1900;
    result.month = parts.tm_mon + 1;
    result.day = parts.tm_mday;
    result.hour = parts.tm_hour;
    result.minute = parts.tm_min;
    result.second = parts.tm_sec;
    result.millisecond = nanoseconds / 1000000;
    return result;
}

std::int64_t performanceCounter() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

std::int64_t performanceFrequency() {
    return 1000000000;
}

}  // namespace tav::platform
