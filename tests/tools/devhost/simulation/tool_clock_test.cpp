// The tool clock on a wall the test moves: stepped, tasks run in the order
// of their times (the order they were added for one time), each seeing its
// own due time, those a task adds included; running, it follows the wall at
// its speed, and a pause holds it.
#include "simulation/tool_clock.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tav::devhost {
namespace {

using namespace std::chrono_literals;

TEST(ToolClock, AStepRunsWhatFallsDueInOrderAtItsOwnTime) {
    ToolClock::WallTime wall{};
    ToolClock clock([&wall] { return wall; });
    clock.setPaused(true);
    std::vector<std::string> ran;
    const auto note = [&](std::string name) {
        return [&ran, &clock, name] { ran.push_back(name + "@" + std::to_string(clock.nowMs())); };
    };
    clock.at(300, note("c"));
    clock.at(100, note("a"));
    clock.at(100, note("b"));
    clock.at(100, [&] {
        // Added while running: one due before the step's end runs in it.
        clock.after(50, note("d"));
        clock.after(1'000, note("late"));
    });
    clock.at(301, note("next step"));
    wall += 10s;  // a paused clock ignores the wall
    clock.advance(300);
    EXPECT_EQ(ran, (std::vector<std::string>{"a@100", "b@100", "d@150", "c@300"}));
    EXPECT_EQ(clock.nowMs(), 300);
    EXPECT_EQ(clock.pendingTasks(), 2u);
}

TEST(ToolClock, RunningItFollowsTheWallAtItsSpeed) {
    ToolClock::WallTime wall{};
    ToolClock clock([&wall] { return wall; });
    wall += 1'000ms;
    EXPECT_EQ(clock.nowMs(), 1'000);
    clock.setSpeed(4);
    wall += 500ms;
    EXPECT_EQ(clock.nowMs(), 3'000);
    clock.setPaused(true);
    wall += 5s;
    EXPECT_EQ(clock.nowMs(), 3'000);
    clock.setPaused(false);
    clock.setSpeed(100);  // clamped to 16
    EXPECT_EQ(clock.speed(), ToolClock::kMaxSpeed);
    clock.at(3'160, [] {});
    ASSERT_TRUE(clock.wallUntilNextTask());
    EXPECT_EQ(*clock.wallUntilNextTask(), 10ms);
    wall += 10ms;
    clock.runDue();
    EXPECT_EQ(clock.pendingTasks(), 0u);
    clock.startFromZero();
    EXPECT_EQ(clock.nowMs(), 0);
}

}  // namespace
}  // namespace tav::devhost
