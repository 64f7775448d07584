// The tool's one clock: what every timer, delay and scripted entry of the
// simulation reads, and the tasks due at its times. It runs from 0 at a
// speed (against the steady wall clock) or stands paused; advance() moves it
// by hand and runs what falls due on the way, in order. A task runs with the
// clock reading its due time, so what it does is the same whether the ticker
// came late or the clock was stepped.
//
// Not thread-safe: the development host calls it under its one lock.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <queue>
#include <vector>

namespace tav::devhost {

class ToolClock {
public:
    using WallTime = std::chrono::steady_clock::time_point;
    using Wall = std::function<WallTime()>;
    using Task = std::function<void()>;

    static constexpr double kMinSpeed = 0.25;
    static constexpr double kMaxSpeed = 16;

    // The epoch time at clock 0 is the system's at construction; tests pass
    // a wall they move.
    explicit ToolClock(Wall wall = &std::chrono::steady_clock::now);

    std::int64_t nowMs() const;
    // Milliseconds since the Unix epoch that nowMs() stands for.
    std::uint64_t epochMs() const { return epochAtZero_ + static_cast<std::uint64_t>(nowMs()); }
    void setEpochAtZero(std::uint64_t epochMs) { epochAtZero_ = epochMs; }

    // Reads 0 from now on, paused or not, with no task queued: a session
    // starts the clock this way.
    void startFromZero();

    bool paused() const { return paused_; }
    double speed() const { return speed_; }
    void setPaused(bool paused);
    // Clamped to [kMinSpeed, kMaxSpeed].
    void setSpeed(double speed);

    // Runs task once the clock reaches dueMs (at once on the next run when
    // it has). Tasks due at the same time run in the order they were added.
    void at(std::int64_t dueMs, Task task);
    void after(std::int64_t delayMs, Task task) { at(nowMs() + delayMs, std::move(task)); }
    // Called after every task run, as the development host delivers what
    // the task changed before the next one runs.
    void afterEachTask(Task hook) { afterTask_ = std::move(hook); }
    // Drops every task not yet run.
    void clearTasks();
    std::size_t pendingTasks() const { return tasks_.size(); }

    // Runs the tasks due by now; what they add that is due runs too.
    void runDue();
    // Moves the clock forward by ms, running on the way each task due up to
    // the new time at its own due time.
    void advance(std::int64_t ms);
    // How long the wall must go on before the next task is due; nothing when
    // none is or the clock is paused.
    std::optional<std::chrono::milliseconds> wallUntilNextTask() const;

private:
    struct Entry {
        std::int64_t dueMs;
        std::uint64_t order;
        Task task;
    };
    struct Later {
        bool operator()(const Entry& a, const Entry& b) const {
            return a.dueMs != b.dueMs ? a.dueMs > b.dueMs : a.order > b.order;
        }
    };
    // The clock as the wall makes it, ignoring a task being run.
    std::int64_t flowingMs() const;
    void runUntil(std::int64_t limitMs);

    Wall wall_;
    Task afterTask_;
    bool paused_ = false;
    double speed_ = 1;
    // The clock read baseMs_ when the wall read baseWall_.
    std::int64_t baseMs_ = 0;
    WallTime baseWall_;
    std::uint64_t epochAtZero_ = 0;
    std::optional<std::int64_t> running_;  // the due time of the task being run
    std::uint64_t nextOrder_ = 0;
    std::priority_queue<Entry, std::vector<Entry>, Later> tasks_;
};

}  // namespace tav::devhost
