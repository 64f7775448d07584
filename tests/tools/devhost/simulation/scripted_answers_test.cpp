// Scripted answers against the simulation: those with times answer that
// many requests and go, a delay or a hang is handed to the API answer the
// request was made for, and answers are listed and removed one by one or
// all at once. (What the HTTP side does with a hold: devhost_runner_test.)
#include <string>

#include <gtest/gtest.h>

#include "formats/json.h"
#include "simulation/simulation.h"
#include "simulation_test_support.h"

namespace tav::devhost {
namespace {

class ScriptedAnswersTest : public ::testing::Test {
protected:
    ScriptedAnswersTest() {
        Scenario scenario;
        scenario.active = Implementation::Legacy;
        scenario.implementations[0].resources["v1/team-boost"] = readJson(R"({"price":95})").value;
        simulation_.apply(std::move(scenario));
    }

    void script(Implementation implementation, std::string_view json) {
        ScriptedAnswer answer;
        ASSERT_EQ(readScriptedAnswer(readJson(json).value, answer), "") << json;
        simulation_.script(implementation, std::move(answer));
    }

    // The status the module gets for a GET of url; 200 for a value.
    std::uint32_t ask(std::string_view url,
                      Implementation implementation = Implementation::Legacy) {
        TavResponse response = answerGet(simulation_, implementation, url);
        const std::uint32_t status = response.isError != 0 ? response.status : 200;
        response.release(&response);
        return status;
    }

    std::string listed() const { return writeJson(simulation_.scriptedAnswers()); }

    ToolClock clock_;
    Simulation simulation_{[](const std::string&, std::string_view, const BindingValue&) {},
                           clock_};
};

TEST_F(ScriptedAnswersTest, TimesCountDownThenTheSimulationAnswersAgain) {
    script(Implementation::Legacy,
           R"({"method": "GET", "url": "v1/team-boost", "status": 503, "times": 2})");
    struct Row {
        std::uint32_t status;
        const char* listedAfter;
    };
    const Row rows[] = {
        {503, R"({"legacy":[{"message":"Scripted error","method":"GET","status":503,"times":1,)"
              R"("url":"v1/team-boost"}],"team-builder":[]})"},
        {503, R"({"legacy":[],"team-builder":[]})"},
        {200, R"({"legacy":[],"team-builder":[]})"},
    };
    int request = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE("request " + std::to_string(++request));
        EXPECT_EQ(ask("v1/team-boost"), row.status);
        EXPECT_EQ(listed(), row.listedAfter);
    }
    // Without times it holds, and a query it did not name still matches.
    script(Implementation::Legacy, R"({"method": "GET", "url": "v1/team-boost", "status": 409})");
    EXPECT_EQ(ask("v1/team-boost?x=1"), 409);
    EXPECT_EQ(ask("v1/team-boost"), 409);
}

TEST_F(ScriptedAnswersTest, DelaysAndHangsAreHeldForTheApiAnswer) {
    script(Implementation::Legacy,
           R"({"method": "GET", "url": "v1/team-boost", "value": {}, "delayMs": 300})");
    // A delay alone holds what the simulation answers: here, no session.
    script(Implementation::Legacy, R"({"method": "GET", "url": "v1/session", "delayMs": 100})");
    EXPECT_EQ(ask("v1/team-boost"), 200);
    EXPECT_EQ(ask("v1/session"), 404);
    AnswerHold hold = simulation_.takeHold();
    EXPECT_EQ(hold.delay.count(), 300);  // the longest
    EXPECT_EQ(hold.hung, "");
    EXPECT_EQ(simulation_.takeHold().delay.count(), 0);  // taken once

    script(Implementation::TeamBuilder, R"({"method": "GET", "url": "v1/session", "hang": true})");
    EXPECT_EQ(ask("v1/session", Implementation::TeamBuilder), 504);
    hold = simulation_.takeHold();
    EXPECT_EQ(hold.hung, "GET v1/session of the team-builder implementation");
}

TEST_F(ScriptedAnswersTest, RemovedOneByOneOrAll) {
    script(Implementation::Legacy, R"({"method": "GET", "url": "v1/session", "value": 1})");
    script(Implementation::TeamBuilder, R"({"method": "GET", "url": "v1/session", "value": 2})");
    script(Implementation::Legacy, R"({"method": "POST", "url": "v1/team-boost/purchase"})");
    EXPECT_FALSE(
        simulation_.unscript(Implementation::TeamBuilder, "POST", "v1/team-boost/purchase"));
    EXPECT_FALSE(simulation_.unscript(std::nullopt, "GET", "v1/session?x=1"));
    EXPECT_TRUE(simulation_.unscript(std::nullopt, "GET", "v1/session"));  // of either
    EXPECT_EQ(listed(),
              R"({"legacy":[{"method":"POST","url":"v1/team-boost/purchase","value":null}],)"
              R"("team-builder":[]})");
    EXPECT_FALSE(simulation_.unscript(std::nullopt, "GET", "v1/session"));
    simulation_.unscriptAll();
    EXPECT_EQ(listed(), R"({"legacy":[],"team-builder":[]})");
}

}  // namespace
}  // namespace tav::devhost
