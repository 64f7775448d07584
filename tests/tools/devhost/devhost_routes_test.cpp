// Every route of the module answers through the tool, with each simulated
// implementation active and with none: the status and a piece of the body.
#include <gtest/gtest.h>

#include "devhost_process.h"

namespace tav::testing {
namespace {

struct Route {
    const char* method;
    const char* path;
    const char* body;  // JSON, or null
    // Per active implementation: legacy, team-builder, none.
    int status[3];
    const char* contains[3];
};

constexpr const char* kNoDelegate = "No active delegate";

// The demo scenario's answers; both implementations share its session.
const Route kRoutes[] = {
    {"GET",
     "/tav-champ-select/v1/session",
     nullptr,
     {200, 200, 404},
     {"\"localPlayerCellId\":2", "\"localPlayerCellId\":2", kNoDelegate}},
    {"GET",
     "/tav-champ-select/v1/session/timer",
     nullptr,
     {200, 200, 404},
     {"\"phase\":\"BAN_PICK\"", "\"phase\":\"BAN_PICK\"", kNoDelegate}},
    {"GET",
     "/tav-champ-select/v1/session/trades",
     nullptr,
     {200, 200, 404},
     {"\"state\":\"AVAILABLE\"", "\"state\":\"AVAILABLE\"", kNoDelegate}},
    {"GET",
     "/tav-champ-select/v1/session/trades/2",
     nullptr,
     {200, 200, 404},
     {"\"state\":\"INVALID\"", "\"state\":\"INVALID\"", kNoDelegate}},
    {"POST",
     "/tav-champ-select/v1/session/trades/1/request",
     "",
     {200, 200, 404},
     {"\"state\":\"SENT\"", "\"state\":\"SENT\"", kNoDelegate}},
    {"POST",
     "/tav-champ-select/v1/session/trades/1/accept",
     "",
     {204, 204, 404},
     {"", "", kNoDelegate}},
    {"POST",
     "/tav-champ-select/v1/session/trades/1/decline",
     "",
     {204, 204, 404},
     {"", "", kNoDelegate}},
    {"POST",
     "/tav-champ-select/v1/session/trades/9/cancel",
     "",
     {404, 404, 404},
     {"No trade with id 9", "No trade with id 9", kNoDelegate}},
    {"PATCH",
     "/tav-champ-select/v1/session/actions/4",
     R"({"championId": 7})",
     {204, 204, 404},
     {"", "", kNoDelegate}},
    {"POST",
     "/tav-champ-select/v1/session/actions/4/complete",
     "",
     {204, 204, 404},
     {"", "", kNoDelegate}},
    {"POST",
     "/tav-champ-select/v1/session/my-selection/reroll",
     "",
     {409, 409, 404},
     {"No rerolls remaining", "No rerolls remaining", kNoDelegate}},
    {"PATCH",
     "/tav-champ-select/v1/session/my-selection",
     R"({"spell1Id": 6})",
     {204, 204, 404},
     {"", "", kNoDelegate}},
    {"GET",
     "/tav-champ-select/v1/pickable-champions",
     nullptr,
     {200, 200, 404},
     {"\"championIds\":[1,", "\"championIds\":[1,", kNoDelegate}},
    {"GET",
     "/tav-champ-select/v1/bannable-champions",
     nullptr,
     {200, 200, 404},
     {"\"championIds\":[1,", "\"championIds\":[1,", kNoDelegate}},
    {"GET",
     "/tav-champ-select/v1/disabled-champions",
     nullptr,
     {404, 200, 404},
     {"Only team builder champ select sessions provide a disabled champion list",
      "\"championIds\":[222]",
      "Only team builder champ select sessions provide a disabled champion list"}},
    {"GET",
     "/tav-champ-select/v1/pickable-skins",
     nullptr,
     {404, 200, 404},
     {"Only team builder champ select sessions provide a pickable skin list",
      "\"skinIds\":[103000,",
      "Only team builder champ select sessions provide a pickable skin list"}},
    {"GET",
     "/tav-champ-select/v1/team-boost",
     nullptr,
     {200, 200, 404},
     {"\"price\":95", "\"price\":95", kNoDelegate}},
    {"POST",
     "/tav-champ-select/v1/team-boost/purchase",
     "",
     {204, 204, 404},
     {"", "", kNoDelegate}},
    {"POST",
     "/tav-champ-select/v1/battle-training/launch",
     "",
     {200, 404, 404},
     {"{\"launched\":true}", "Only legacy champ select implements battle training.",
      "Only legacy champ select implements battle training."}},
};

httplib::Result send(httplib::Client& client, const Route& route) {
    const std::string method = route.method;
    const std::string body = route.body != nullptr ? route.body : "";
    if (method == "GET") {
        return client.Get(route.path);
    }
    if (method == "POST") {
        return client.Post(route.path, body, "application/json");
    }
    return client.Patch(route.path, body, "application/json");
}

class DevhostRoutes : public ::testing::Test {
protected:
    static void SetUpTestSuite() { process_ = new DevhostProcess(); }
    static void TearDownTestSuite() {
        delete process_;
        process_ = nullptr;
    }

    // Runs every route with implementation ("legacy", "team-builder" or
    // "null") active; column is its index in Route.
    static void runAll(const char* implementation, int column) {
        ASSERT_TRUE(process_->serving()) << process_->stderrText();
        auto client = process_->client();
        httplib::Headers token{{"X-Tav-Dev-Token", process_->token()}};
        ASSERT_TRUE(client->Post("/_dev/reload", token, "", "application/json"));
        const std::string active =
            std::string(R"({"implementation":)") +
            (std::string(implementation) == "null" ? "null"
                                                   : "\"" + std::string(implementation) + "\"") +
            "}";
        const auto switched = client->Post("/_dev/active", token, active, "application/json");
        ASSERT_TRUE(switched);
        ASSERT_EQ(switched->status, 200) << switched->body;
        for (const Route& route : kRoutes) {
            SCOPED_TRACE(std::string(route.method) + " " + route.path);
            const httplib::Result result = send(*client, route);
            ASSERT_TRUE(result);
            EXPECT_EQ(result->status, route.status[column]) << result->body;
            EXPECT_NE(result->body.find(route.contains[column]), std::string::npos) << result->body;
            if (result->status >= 400) {
                EXPECT_NE(result->body.find("\"httpStatus\":" + std::to_string(result->status)),
                          std::string::npos);
            }
        }
    }

    static DevhostProcess* process_;
};

DevhostProcess* DevhostRoutes::process_ = nullptr;

TEST_F(DevhostRoutes, AnswerWithLegacyActive) {
    runAll("legacy", 0);
}

TEST_F(DevhostRoutes, AnswerWithTeamBuilderActive) {
    runAll("team-builder", 1);
}

TEST_F(DevhostRoutes, AnswerWithNoImplementationActive) {
    runAll("null", 2);
}

// Not routes of the module: an unknown path, a known path with another
// method, a body the module cannot read, and MessagePack on request.
TEST_F(DevhostRoutes, AnswersOutsideTheRoutes) {
    ASSERT_TRUE(process_->serving());
    auto client = process_->client();
    ASSERT_TRUE(client->Post("/_dev/reload", {{"X-Tav-Dev-Token", process_->token()}}, "",
                             "application/json"));

    const auto unknown = client->Get("/tav-champ-select/v1/nothing");
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->status, 404);
    EXPECT_EQ(unknown->body, R"({"errorCode":"Not Found","httpStatus":404,)"
                             R"("message":"No route of the module matches this path"})");

    const auto wrongMethod = client->Delete("/tav-champ-select/v1/session");
    ASSERT_TRUE(wrongMethod);
    EXPECT_EQ(wrongMethod->status, 405);
    EXPECT_EQ(wrongMethod->get_header_value("Allow"), "GET");

    // The module did not call its handler: no status of its own, so 400.
    const auto badBody = client->Patch("/tav-champ-select/v1/session/my-selection",
                                       R"({"selectedSkinId": "x5"})", "application/json");
    ASSERT_TRUE(badBody);
    EXPECT_EQ(badBody->status, 400);
    EXPECT_EQ(badBody->body,
              R"({"errorCode":"Bad Request","httpStatus":400,"message":"Value x5 for )"
              R"('selectedSkinId' of type int32 is in an incorrect format"})");

    const auto packed =
        client->Get("/tav-champ-select/v1/session/timer", {{"Accept", "application/x-msgpack"}});
    ASSERT_TRUE(packed);
    EXPECT_EQ(packed->get_header_value("Content-Type"), "application/x-msgpack");
    // A map of the timer's 8 members, the first key "adjustedTimeLeftInPhase".
    ASSERT_GE(packed->body.size(), 25u);
    EXPECT_EQ(static_cast<unsigned char>(packed->body[0]), 0x88);
    EXPECT_EQ(packed->body.substr(2, 23), "adjustedTimeLeftInPhase");
}

}  // namespace
}  // namespace tav::testing
