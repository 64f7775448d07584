// The shipped flow scenario played in process through the real module, its
// clock paused and stepped: what the plugin publishes as the flow goes
// (turns, another player's lock, the phases, the trade offered, the end),
// the rules the implementations keep for the local player, and the same
// events on every run. The flow section's mistakes are the scenario reader's
// test's; the clock's HTTP routes the tool's HTTP tests'.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dev_host.h"
#include "formats/json.h"
#include "server/event_stream.h"
#include "simulation/scenario.h"
#include "simulation/session_edits.h"
#include "traffic/traffic_log.h"

namespace tav::devhost {
namespace {

const std::string kFlow = std::string(TAV_SCENARIO_DIR) + "/flow.yaml";

class FlowSession {
public:
    FlowSession() {
        host_.setClockPaused(true);
        std::string error;
        started_ = host_.start(TAV_PLUGIN_MODULE_PATH, kFlow, error);
        EXPECT_TRUE(started_) << error;
    }

    // The status the plugin's route answers.
    std::uint32_t call(std::string method, std::string path, std::string body = "") {
        ApiRequest request{std::move(method), "/tav-champ-select/v1/" + path, {}, "", body};
        if (!body.empty()) {
            request.contentType = "application/json";
        }
        ApiAnswer answer;
        EndpointMatch match;
        if (!host_.callApi(request, request.target, answer, match)) {
            return 0;
        }
        last_ = answer.value;
        if (answer.status != 0) {
            return answer.status;
        }
        return answer.isError ? 400 : answer.value.kind() == BindingValueKind::Empty ? 204 : 200;
    }
    const BindingValue& last() const { return last_; }

    void advance(std::int64_t ms) { host_.advanceClock(ms); }
    BindingValue flow() { return readJson(host_.flowJson()).value; }
    // Steps a second at a time until the flow's member key reads value.
    BindingValue advanceUntil(const char* key, std::string_view value) {
        BindingValue now = flow();
        for (int step = 0; step < 200 && writeJson(now.find(key)) != value; ++step) {
            advance(1'000);
            now = flow();
        }
        return now;
    }

    // The payloads of the events the plugin published, oldest first.
    std::vector<BindingValue> published() const {
        std::vector<BindingValue> out;
        const BindingValue kept = readJson(traffic_.recent(TrafficLog::kMaxEntries)).value;
        for (const BindingValue& entry : kept.find("entries").elements()) {
            if (entry.find("kind").asString() == "event-out") {
                out.push_back(entry.find("payload"));
            }
        }
        return out;
    }

private:
    EventStream events_;
    TrafficLog traffic_;
    DevHost host_{events_, traffic_};
    bool started_ = false;
    BindingValue last_;
};

// The session updates the plugin published, one per change: its own event
// and the resource's both carry it, so only the first name is kept.
std::vector<BindingValue> sessionEvents(const std::vector<BindingValue>& published) {
    std::vector<BindingValue> out;
    for (const BindingValue& payload : published) {
        if (payload.find("uri").asString() == "/tav-champ-select/v1/session" &&
            (out.empty() || !(out.back() == payload))) {
            out.push_back(payload);
        }
    }
    return out;
}

TEST(Flow, PlaysFromPlanningToTheEndOfTheSession) {
    FlowSession session;
    // Planning: no action may be completed yet.
    EXPECT_EQ(
        session.call("PATCH", "session/actions/3", R"({"championId": 86, "completed": true})"),
        409u);
    session.advance(6'000);
    ASSERT_EQ(session.flow().find("phase").asString(), "BAN_PICK");
    EXPECT_EQ(session.flow().find("actors").size(), 10u);
    // The others lock 4 s into the turn; the local player is the last.
    session.advance(4'000);
    EXPECT_EQ(writeJson(session.flow().find("actors")), "[2]");
    struct Row {
        const char* what;
        const char* action;
        const char* body;
        std::uint32_t status;
    };
    const Row rules[] = {
        {"an action of a later turn", "14", R"({"championId": 86, "completed": true})", 409},
        {"another player's action", "1", R"({"championId": 86, "completed": true})", 403},
        {"a lock with no champion", "3", R"({"completed": true})", 409},
        {"a hover", "3", R"({"championId": 86})", 204},
        {"the lock of the hovered champion", "3", R"({"completed": true})", 204},
        {"a completed action again", "3", R"({"championId": 99, "completed": true})", 409},
    };
    for (const Row& row : rules) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(session.call("PATCH", std::string("session/actions/") + row.action, row.body),
                  row.status);
    }
    // Its lock ended the turn and banned the champion.
    EXPECT_EQ(session.flow().find("turn").asUInt64(), 1u);
    session.call("GET", "session");
    const auto bans = session.last().find("bans").find("myTeamBans").elements();
    EXPECT_TRUE(std::ranges::any_of(bans, [](const BindingValue& id) {
        return numberOf(id) == 86;
    })) << writeJson(session.last().find("bans"));

    // The local player's pick: a banned champion is refused; left alone, it
    // locks its intent when the turn runs out.
    session.advanceUntil("turn", "3");
    EXPECT_EQ(session.call("PATCH", "session/actions/14", R"({"championId": 86})"), 409u);

    // Through the picks to finalization, where cell 1 offers its trade.
    ASSERT_EQ(session.advanceUntil("phase", R"("FINALIZATION")").find("phase").asString(),
              "FINALIZATION");
    session.advance(5'000);
    EXPECT_EQ(session.call("GET", "session/trades/2"), 200u);
    EXPECT_EQ(session.last().find("state").asString(), "RECEIVED");
    const auto champions = [&] {
        session.call("GET", "session");
        const auto teams = session.last().find("myTeam").elements();
        return std::make_pair(numberOf(teams[2].find("championId")),
                              numberOf(teams[1].find("championId")));
    };
    const auto before = champions();
    EXPECT_NE(before.first.value_or(0), 0);  // locked when the turn ran out
    EXPECT_EQ(session.call("POST", "session/trades/2/accept"), 204u);
    EXPECT_EQ(champions(), std::make_pair(before.second, before.first));
    EXPECT_EQ(session.call("POST", "session/trades/1/accept"), 409u);  // nothing offered
    EXPECT_EQ(session.call("POST", "session/trades/3/request"), 200u);
    EXPECT_EQ(session.call("GET", "session/trades/3"), 200u);
    EXPECT_EQ(session.last().find("state").asString(), "SENT");
    EXPECT_EQ(session.call("POST", "session/trades/3/cancel"), 204u);
    EXPECT_EQ(session.call("POST", "session/trades/3/cancel"), 409u);  // no longer sent

    ASSERT_EQ(session.advanceUntil("phase", R"("ENDED")").find("phase").asString(), "ENDED");

    const std::vector<BindingValue> published = session.published();
    const std::vector<BindingValue> updates = sessionEvents(published);
    ASSERT_FALSE(updates.empty());
    std::vector<std::string> phases;
    bool otherLocked = false;
    bool offered = false;
    for (const BindingValue& update : updates) {
        const BindingValue& data = update.find("data");
        const std::string phase(data.find("timer").find("phase").asString());
        if (!phase.empty() && (phases.empty() || phases.back() != phase)) {
            phases.push_back(phase);
        }
        for (const BindingValue& turn : data.find("actions").elements()) {
            for (const BindingValue& action : turn.elements()) {
                otherLocked = otherLocked || (action.find("completed").asBool() &&
                                              numberOf(action.find("actorCellId")) != 2);
            }
        }
        for (const BindingValue& trade : data.find("trades").elements()) {
            offered = offered || trade.find("state").asString() == "RECEIVED";
        }
    }
    EXPECT_EQ(phases,
              (std::vector<std::string>{"PLANNING", "BAN_PICK", "FINALIZATION", "GAME_STARTING"}));
    EXPECT_TRUE(otherLocked);
    EXPECT_TRUE(offered);
    EXPECT_EQ(updates.back().find("eventType").asString(), "Delete");
}

TEST(Flow, GivesTheSameEventsOnEveryRun) {
    std::string runs[2];
    for (std::string& run : runs) {
        FlowSession session;
        for (int step = 0; step < 140; ++step) {
            session.advance(1'000);
        }
        for (const BindingValue& payload : session.published()) {
            run += writeJson(payload) + "\n";
        }
    }
    EXPECT_GT(runs[0].size(), 1000u);
    EXPECT_EQ(runs[0], runs[1]);
}

}  // namespace
}  // namespace tav::devhost
