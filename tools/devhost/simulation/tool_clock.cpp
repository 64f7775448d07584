#include "simulation/tool_clock.h"

#include <algorithm>
#include <cmath>

namespace tav::devhost {

ToolClock::ToolClock(Wall wall) : wall_(std::move(wall)), baseWall_(wall_()) {
    using std::chrono::duration_cast;
    epochAtZero_ =
        static_cast<std::uint64_t>(duration_cast<std::chrono::milliseconds>(
                                       std::chrono::system_clock::now().time_since_epoch())
                                       .count());
}

std::int64_t ToolClock::flowingMs() const {
    if (paused_) {
        return baseMs_;
    }
    const double wallMs = std::chrono::duration<double, std::milli>(wall_() - baseWall_).count();
    return baseMs_ + static_cast<std::int64_t>(std::floor(std::max(0.0, wallMs) * speed_));
}

std::int64_t ToolClock::nowMs() const {
    return running_ ? *running_ : flowingMs();
}

void ToolClock::startFromZero() {
    baseMs_ = 0;
    baseWall_ = wall_();
    tasks_ = {};
}

void ToolClock::setPaused(bool paused) {
    if (paused == paused_) {
        return;
    }
    baseMs_ = flowingMs();
    baseWall_ = wall_();
    paused_ = paused;
}

void ToolClock::setSpeed(double speed) {
    baseMs_ = flowingMs();
    baseWall_ = wall_();
    speed_ = std::clamp(speed, kMinSpeed, kMaxSpeed);
}

void ToolClock::at(std::int64_t dueMs, Task task) {
    tasks_.push({dueMs, nextOrder_++, std::move(task)});
}

void ToolClock::clearTasks() {
    tasks_ = {};
}

void ToolClock::runUntil(std::int64_t limitMs) {
    while (!tasks_.empty() && tasks_.top().dueMs <= limitMs) {
        // The queue gives only a const top; the entry is popped before its
        // task runs, so that the task may add others.
        Entry entry = std::move(const_cast<Entry&>(tasks_.top()));
        tasks_.pop();
        const std::optional<std::int64_t> outer = running_;
        // Never back in time: a task added late for a time gone runs now.
        running_ = std::max(entry.dueMs, outer.value_or(entry.dueMs));
        entry.task();
        if (afterTask_) {
            afterTask_();
        }
        running_ = outer;
    }
}

void ToolClock::runDue() {
    runUntil(nowMs());
}

void ToolClock::advance(std::int64_t ms) {
    if (ms <= 0) {
        return;
    }
    const std::int64_t target = flowingMs() + ms;
    baseMs_ += ms;
    // Tasks see their own due times on the way, though the wall already
    // reads the target.
    runUntil(target);
}

std::optional<std::chrono::milliseconds> ToolClock::wallUntilNextTask() const {
    if (paused_ || tasks_.empty()) {
        return std::nullopt;
    }
    const std::int64_t ahead = std::max<std::int64_t>(0, tasks_.top().dueMs - flowingMs());
    return std::chrono::milliseconds(static_cast<std::int64_t>(std::ceil(ahead / speed_)));
}

}  // namespace tav::devhost
