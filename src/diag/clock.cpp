#include "diag/clock.h"

namespace tav::diag {
namespace {

struct CounterOrigin {
    std::int64_t start;
    std::int64_t frequency;
};

// Read once, on first use: the uptime counts from the first reading.
const CounterOrigin& origin() {
    static const CounterOrigin value{platform::performanceCounter(),
                                     platform::performanceFrequency()};
    return value;
}

std::int64_t elapsedTicks(const CounterOrigin& o) {
    return platform::performanceCounter() - o.start;
}

}  // namespace

double uptimeSeconds() {
    const CounterOrigin& o = origin();
    return static_cast<double>(elapsedTicks(o)) / static_cast<double>(o.frequency);
}

UptimeParts uptimeParts() {
    const CounterOrigin& o = origin();
    return splitTicks(elapsedTicks(o), o.frequency);
}

UptimeParts splitTicks(std::int64_t ticks, std::int64_t frequency) {
    UptimeParts parts;
    parts.seconds = ticks / frequency;
    parts.milliseconds = static_cast<std::int32_t>((ticks % frequency) * 1000 / frequency);
    return parts;
}

LocalTime localTime() {
    return platform::localTime();
}

}  // namespace tav::diag
