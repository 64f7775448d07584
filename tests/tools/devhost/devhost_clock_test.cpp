// The tool clock and the flow over HTTP: what the control routes take and
// refuse, the module's timer following a stepped clock, the flow's changes
// reaching /events as the plugin's own, a dodge ending the session, and the
// shutdown route stopping the tool. What the flow does step by step is the
// in-process flow test's.
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "devhost_process.h"

namespace tav::testing {
namespace {

TEST(DevhostClock, StepsTheFlowThroughTheControlRoutes) {
    DevhostProcess process({"--scenario", TAV_DEVHOST_SCENARIOS "/flow.yaml", "--paused"});
    ASSERT_TRUE(process.serving()) << process.stderrText();
    std::unique_ptr<httplib::Client> client = process.client();
    const httplib::Headers token{{"X-Tav-Dev-Token", process.token()}};
    const auto post = [&](const std::string& path, const std::string& body) {
        httplib::Result result = client->Post(path, token, body, "application/json");
        return result ? std::make_pair(result->status, result->body)
                      : std::make_pair(-1, std::string());
    };

    const httplib::Result clock = client->Get("/_dev/clock", token);
    ASSERT_TRUE(clock);
    EXPECT_EQ(clock->body, R"({"nowMs":0,"paused":true,"speed":1.0})");
    struct Row {
        const char* body;
        int status;
        const char* answer;  // its start, for a 200
    };
    const Row rows[] = {
        {R"({"advanceMs": 0})", 400, nullptr},
        {R"({"advanceMs": 1.5})", 400, nullptr},
        {R"({"speed": 32})", 400, nullptr},
        {R"({"speed": 0.1})", 400, nullptr},
        {R"({"paused": "yes"})", 400, nullptr},
        {R"({"paused": true, "advanceMs": 5})", 400, nullptr},
        {"advance", 400, nullptr},
        {R"({"speed": 2})", 200, R"({"nowMs":0,"paused":true,"speed":2.0})"},
        {R"({"speed": 1})", 200, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.body);
        const auto [status, body] = post("/_dev/clock", row.body);
        EXPECT_EQ(status, row.status) << body;
        if (row.answer != nullptr) {
            EXPECT_EQ(body, row.answer);
        }
    }
    const httplib::Result untokened =
        client->Post("/_dev/clock", R"({"advanceMs": 1})", "application/json");
    ASSERT_TRUE(untokened);
    EXPECT_EQ(untokened->status, 403);

    // Planning lasts 6 s; 500 ms into the bans the module's timer reads the
    // clock's time, from the scenario's epoch.
    EventReader events(process);
    EXPECT_EQ(post("/_dev/clock", R"({"advanceMs": 6500})").second,
              R"({"nowMs":6500,"paused":true,"speed":1.0})");
    const httplib::Result session = client->Get("/tav-champ-select/v1/session");
    ASSERT_TRUE(session);
    EXPECT_NE(session->body.find(R"("internalNowInEpochMs":1765000006500)"), std::string::npos);
    EXPECT_NE(session->body.find(R"("phase":"BAN_PICK")"), std::string::npos);
    EXPECT_NE(session->body.find(R"("timeLeftInPhase":19500)"), std::string::npos);
    EXPECT_TRUE(events.waitFor(
        {"event: plugin", R"("uri":"/tav-champ-select/v1/session")", R"("phase":"BAN_PICK")"}));

    const httplib::Result flow = client->Get("/_dev/flow", token);
    ASSERT_TRUE(flow);
    EXPECT_NE(flow->body.find(R"("phase":"BAN_PICK","phaseEndsAtMs":26000,"turn":0)"),
              std::string::npos)
        << flow->body;
    EXPECT_EQ(post("/_dev/flow/dodge", "").first, 204);
    EXPECT_EQ(client->Get("/tav-champ-select/v1/session")->status, 404);
    EXPECT_TRUE(events.waitFor({R"("eventType":"Delete")"}));
    // Stopped over HTTP as by a signal: through the module's Shutdown, with 0.
    EXPECT_EQ(post("/_dev/shutdown", "").first, 202);
    EXPECT_TRUE(process.waitForStderr("tav-devhost: stopped"));
    expectCleanExit(process);
}

}  // namespace
}  // namespace tav::testing
