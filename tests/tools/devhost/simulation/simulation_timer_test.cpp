// The session timer of the simulated implementations, on a clock the test
// moves: it runs from when its resource was loaded or put, stops at 0, holds
// while infinite, and reports the clock's wall time.
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "binding/host_value.h"
#include "formats/json.h"
#include "simulation/simulation.h"
#include "simulation_test_support.h"

namespace tav::devhost {
namespace {

constexpr std::uint64_t kEpochAtLoad = 1'700'000'000'000;

class SimulationTimerTest : public ::testing::Test {
protected:
    SimulationTimerTest()
        : simulation_([](const std::string&, std::string_view, const BindingValue&) {}, clock_) {
        clock_.setPaused(true);
        clock_.setEpochAtZero(kEpochAtLoad);
        clock_.advance(123'456);
        Scenario scenario;
        scenario.active = Implementation::Legacy;
        resource(scenario, Implementation::Legacy, "v1/session",
                 R"({"timer": {"timeLeftInPhase": 600000, "timeLeftInPhaseInSec": 600,
                                "adjustedTimeLeftInPhase": 1000, "isInfinite": false}})");
        resource(scenario, Implementation::TeamBuilder, "v1/session/timer",
                 R"({"timeLeftInPhase": 1, "isInfinite": "1"})");
        resource(scenario, Implementation::TeamBuilder, "v1/session",
                 R"({"timer": {"timeLeftInPhase": 5000, "isInfinite": true}})");
        simulation_.apply(std::move(scenario));
    }

    static void resource(Scenario& scenario, Implementation implementation, std::string path,
                         std::string_view json) {
        scenario.implementations[static_cast<int>(implementation)].resources[std::move(path)] =
            readJson(json).value;
    }

    // The timer as a GET of url (relative to the implementation's base) answers.
    BindingValue timer(Implementation implementation, std::string_view url) {
        TavResponse response = answerGet(simulation_, implementation, url);
        BindingValue value;
        BindingErrorSink sink;
        EXPECT_EQ(response.isError, 0) << url;
        EXPECT_TRUE(hostToValue(sink, value, response.value, "answer"));
        response.release(&response);
        return url == "v1/session" ? value.find("timer") : value;
    }

    ToolClock clock_;
    Simulation simulation_;
};

std::int64_t number(const BindingValue& timer, const char* key) {
    const BindingValue& n = timer.find(key);
    return n.kind() == BindingValueKind::Unsigned ? static_cast<std::int64_t>(n.asUInt64())
                                                  : n.asInt64();
}

TEST_F(SimulationTimerTest, RunsFromTheLoadAndStopsAtZero) {
    struct Row {
        std::int64_t sinceLoadMs;
        const char* url;  // the session's own timer or its member
        std::int64_t left, leftInSec, adjustedLeft;
    };
    const Row rows[] = {
        {0, "v1/session", 600000, 600, 1000},
        {1, "v1/session/timer", 599999, 600, 999},  // a second started counts whole
        {1500, "v1/session", 598500, 599, 0},       // each member stops at 0 on its own
        {600000, "v1/session/timer", 0, 0, 0},
        {900000, "v1/session", 0, 0, 0},  // and stays there
    };
    std::int64_t sinceLoad = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.sinceLoadMs) + " ms after the load, " + row.url);
        clock_.advance(row.sinceLoadMs - sinceLoad);
        sinceLoad = row.sinceLoadMs;
        const BindingValue read = timer(Implementation::Legacy, row.url);
        EXPECT_EQ(number(read, "timeLeftInPhase"), row.left);
        EXPECT_EQ(number(read, "timeLeftInPhaseInSec"), row.leftInSec);
        EXPECT_EQ(number(read, "adjustedTimeLeftInPhase"), row.adjustedLeft);
        EXPECT_EQ(number(read, "internalNowInEpochMs"),
                  static_cast<std::int64_t>(kEpochAtLoad) + clock_.nowMs());
    }
}

TEST_F(SimulationTimerTest, APutRestartsItAndAnInfiniteTimerHolds) {
    clock_.advance(10'000);
    // The team builder's timer is a resource of its own: paused by the text
    // "1", while the session's is paused by true.
    EXPECT_EQ(number(timer(Implementation::TeamBuilder, "v1/session/timer"), "timeLeftInPhase"), 1);
    EXPECT_EQ(number(timer(Implementation::TeamBuilder, "v1/session"), "timeLeftInPhase"), 5000);

    simulation_.putResource(Implementation::Legacy, "v1/session",
                            readJson(R"({"timer": {"timeLeftInPhase": 3000}})").value);
    clock_.advance(1'000);
    EXPECT_EQ(number(timer(Implementation::Legacy, "v1/session"), "timeLeftInPhase"), 2000);
    // The state keeps the timer as it was given.
    EXPECT_EQ(number(simulation_.state()
                         .find("implementations")
                         .find("legacy")
                         .find("resources")
                         .find("v1/session")
                         .find("timer"),
                     "timeLeftInPhase"),
              3000);
}

}  // namespace
}  // namespace tav::devhost
