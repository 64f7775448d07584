// The control routes change what the module's API answers and what the event
// stream shows, and the front end's own changes travel back as events.
#include <memory>

#include <gtest/gtest.h>

#include "devhost_process.h"

namespace tav::testing {
namespace {

class DevhostControl : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(process_.serving()) << process_.stderrText(); }
    void TearDown() override { expectCleanExit(process_); }

    using Answer = std::shared_ptr<httplib::Response>;

    Answer control(const char* method, const std::string& path, const std::string& body = "") {
        httplib::Request request;
        request.method = method;
        request.path = path;
        request.headers = {{"X-Tav-Dev-Token", process_.token()}};
        if (!body.empty()) {
            request.headers.emplace("Content-Type", "application/json");
            request.body = body;
        }
        return answer(client_->send(request));
    }

    Answer get(const std::string& path) { return answer(client_->Get(path)); }

    // A request that got no answer fails the test with the tool's stderr and
    // reads as status -1, so the checks after it fail rather than crash.
    Answer answer(httplib::Result result) {
        auto response = std::make_shared<httplib::Response>();
        if (result) {
            *response = std::move(result.value());
        } else {
            ADD_FAILURE() << "no answer: " << httplib::to_string(result.error()) << "\n"
                          << process_.stderrText();
            response->status = -1;
        }
        return response;
    }

    DevhostProcess process_;
    std::unique_ptr<httplib::Client> client_ = process_.client();
};

TEST_F(DevhostControl, ResourcesReachTheApiAndTheStream) {
    EventReader events(process_, "/events?log=1");
    const auto put = control("PUT", "/_dev/resources/legacy/v1/pickable-champions",
                             R"({"championIds": [5, 6]})");
    ASSERT_TRUE(put);
    EXPECT_EQ(put->status, 204) << put->body;
    EXPECT_EQ(get("/tav-champ-select/v1/pickable-champions")->body, R"({"championIds":[5,6]})");
    EXPECT_TRUE(
        events.waitFor({R"(event: plugin)",
                        R"(data: {"data":{"championIds":[5,6]},"eventType":"Update",)"
                        R"("name":"OnJsonApiEvent_tav-champ-select_v1_pickable-champions",)"
                        R"("uri":"/tav-champ-select/v1/pickable-champions"})",
                        // The same publication under its second name.
                        R"("name":"OnJsonApiEvent","uri":"/tav-champ-select/v1/pickable-)"}))
        << events.text();

    // The other implementation's resources reach the module only once it is
    // the active one.
    ASSERT_EQ(
        control("PUT", "/_dev/resources/team-builder/v1/team-boost", R"({"price": 7})")->status,
        204);
    EXPECT_NE(get("/tav-champ-select/v1/team-boost")->body.find("\"price\":95"), std::string::npos);

    ASSERT_EQ(control("DELETE", "/_dev/resources/legacy/v1/session")->status, 204);
    EXPECT_TRUE(events.waitFor({R"({"level":"ALWAYS","message":"Deleting champ select session."})",
                                R"("eventType":"Delete","name":"OnJsonApiEvent_tav-champ-select)"
                                R"(_v1_session","uri":"/tav-champ-select/v1/session"})"}))
        << events.text();
    EXPECT_EQ(get("/tav-champ-select/v1/session")->status, 404);
    EXPECT_EQ(control("DELETE", "/_dev/resources/legacy/v1/session")->status, 404);

    const auto unknown = control("PUT", "/_dev/resources/legacy/v1/sesion", "{}");
    EXPECT_EQ(unknown->status, 400);
    EXPECT_NE(unknown->body.find("unknown resource 'v1/sesion'"), std::string::npos);

    const auto state = control("GET", "/_dev/state");
    ASSERT_EQ(state->status, 200);
    EXPECT_NE(state->body.find(R"("activeImplementation":"legacy")"), std::string::npos);
    EXPECT_NE(state->body.find(R"("v1/team-boost":{"price":7})"), std::string::npos);
}

TEST_F(DevhostControl, SwitchingAndReloadingAreAnnounced) {
    EventReader events(process_);
    ASSERT_EQ(control("POST", "/_dev/active", R"({"implementation": null})")->status, 200);
    EXPECT_EQ(get("/tav-champ-select/v1/session")->status, 404);
    ASSERT_EQ(control("POST", "/_dev/active", R"({"implementation": "team-builder"})")->status,
              200);
    EXPECT_EQ(get("/tav-champ-select/v1/pickable-skins")->status, 200);
    ASSERT_EQ(control("POST", "/_dev/reload")->status, 200);
    EXPECT_EQ(get("/tav-champ-select/v1/pickable-skins")->status, 404);
    EXPECT_TRUE(events.waitFor({R"(data: {"activeImplementation":"legacy"})",
                                R"(data: {"activeImplementation":null})",
                                R"(data: {"activeImplementation":"team-builder"})",
                                R"(data: {"activeImplementation":"legacy"})"}))
        << events.text();

    EXPECT_EQ(control("POST", "/_dev/active", R"({"implementation": "modern"})")->status, 400);
}

TEST_F(DevhostControl, ScriptedAnswersReplaceTheSimulatedOnes) {
    ASSERT_EQ(control("POST", "/_dev/answers",
                      R"({"implementation": "legacy", "method": "GET", "url": "v1/session/timer",)"
                      R"( "status": 409, "message": "Timer busy"})")
                  ->status,
              204);
    const auto failed = get("/tav-champ-select/v1/session/timer");
    EXPECT_EQ(failed->status, 409);
    EXPECT_NE(failed->body.find("Timer busy"), std::string::npos);

    ASSERT_EQ(control("POST", "/_dev/answers",
                      R"({"implementation": "legacy", "method": "GET", "url": "v1/session/timer",)"
                      R"( "value": {"phase": "FINALIZATION"}})")
                  ->status,
              204);
    EXPECT_NE(get("/tav-champ-select/v1/session/timer")->body.find("FINALIZATION"),
              std::string::npos);

    // Refused as the scenario's answers are (their table has the messages).
    for (const char* refused : {R"("url": "v1/session/timer", "value": 1, "status": 500})",
                                R"("url": "tav-champ-select/v1/session", "status": 409})"}) {
        EXPECT_EQ(
            control("POST", "/_dev/answers",
                    std::string(R"({"implementation": "legacy", "method": "GET", )") + refused)
                ->status,
            400)
            << refused;
    }
    EXPECT_EQ(get("/tav-champ-select/v1/session")->status, 200);
}

}  // namespace
}  // namespace tav::testing
