#include "platform/clock.h"

#include <windows.h>

namespace tav::platform {

namespace {

LocalTime fromSystemTime(const SYSTEMTIME& now) {
    LocalTime result;
    result.year = now.wYear;
    result.month = now.wMonth;
    result.day = now.wDay;
    result.hour = now.wHour;
    result.minute = now.wMinute;
    result.second = now.wSecond;
    result.millisecond = now.wMilliseconds;
    return result;
}

}  // namespace

LocalTime localTime() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return fromSystemTime(now);
}

LocalTime localTimeAt(std::int64_t seconds, std::int32_t nanoseconds) {
    // A FILETIME counts 100-nanosecond steps since 1601.
    constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600;
    const auto steps = static_cast<std::uint64_t>((seconds + kSecondsFrom1601To1970) * 10000000 +
                                                  nanoseconds / 100);
    const FILETIME utc{static_cast<DWORD>(steps), static_cast<DWORD>(steps >> 32)};
    SYSTEMTIME universal{};
    SYSTEMTIME local{};
    FileTimeToSystemTime(&utc, &universal);
    SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local);
    return fromSystemTime(local);
}

std::int64_t performanceCounter() {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

std::int64_t performanceFrequency() {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

}  // namespace tav::platform
