// Every route of the module answers through the tool, with each simulated
// implementation active and with none: the status and a piece of the body.
#include <algorithm>
#include <chrono>
#include <vector>

#include <gtest/gtest.h>

#include "devhost_process.h"

namespace tav::testing {
namespace {

struct Route {
    const char* method;
    const char* path;  // below /tav-champ-select/v1/
    const char* body;  // JSON, or null
    // With an implementation active that implements the route.
    int status;
    const char* contains;
    // The only implementation that implements it, and what the others and
    // none answer instead (404); null where both implement it.
    const char* onlyFor;
    const char* restriction;
};

constexpr const char* kPrefix = "/tav-champ-select/v1/";
constexpr const char* kNoDelegate = "No active delegate";
constexpr const char* kOnlyLegacy = "Only legacy champ select implements battle training.";

// The demo scenario's answers; both implementations share its session.
const Route kRoutes[] = {
    {"GET", "session", nullptr, 200, "\"localPlayerCellId\":2", nullptr, nullptr},
    {"GET", "session/timer", nullptr, 200, "\"phase\":\"BAN_PICK\"", nullptr, nullptr},
    {"GET", "session/trades", nullptr, 200, "\"state\":\"AVAILABLE\"", nullptr, nullptr},
    {"GET", "session/trades/2", nullptr, 200, "\"state\":\"INVALID\"", nullptr, nullptr},
    {"POST", "session/trades/1/request", "", 200, "\"state\":\"SENT\"", nullptr, nullptr},
    {"POST", "session/trades/1/accept", "", 204, "", nullptr, nullptr},
    {"POST", "session/trades/1/decline", "", 204, "", nullptr, nullptr},
    {"POST", "session/trades/9/cancel", "", 404, "No trade with id 9", nullptr, nullptr},
    {"PATCH", "session/actions/4", R"({"championId": 7})", 204, "", nullptr, nullptr},
    {"POST", "session/actions/4/complete", "", 204, "", nullptr, nullptr},
    {"POST", "session/my-selection/reroll", "", 409, "No rerolls remaining", nullptr, nullptr},
    {"PATCH", "session/my-selection", R"({"spell1Id": 6})", 204, "", nullptr, nullptr},
    {"GET", "pickable-champions", nullptr, 200, "\"championIds\":[1,", nullptr, nullptr},
    {"GET", "bannable-champions", nullptr, 200, "\"championIds\":[1,", nullptr, nullptr},
    {"GET", "disabled-champions", nullptr, 200, "\"championIds\":[222]", "team-builder",
     "Only team builder champ select sessions provide a disabled champion list"},
    {"GET", "pickable-skins", nullptr, 200, "\"skinIds\":[103000,", "team-builder",
     "Only team builder champ select sessions provide a pickable skin list"},
    {"GET", "team-boost", nullptr, 200, "\"price\":95", nullptr, nullptr},
    {"POST", "team-boost/purchase", "", 204, "", nullptr, nullptr},
    {"POST", "battle-training/launch", "", 200, "{\"launched\":true}", "legacy", kOnlyLegacy},
};

httplib::Result send(httplib::Client& client, const Route& route) {
    const std::string method = route.method;
    const std::string path = kPrefix + std::string(route.path);
    const std::string body = route.body != nullptr ? route.body : "";
    if (method == "GET") {
        return client.Get(path);
    }
    if (method == "POST") {
        return client.Post(path, body, "application/json");
    }
    return client.Patch(path, body, "application/json");
}

class DevhostRoutes : public SharedDevhostTest {
protected:
    // Runs every route with implementation ("legacy", "team-builder" or
    // null) active.
    static void runAll(const char* implementation) {
        auto client = process_->client();
        httplib::Headers token{{"X-Tav-Dev-Token", process_->token()}};
        ASSERT_TRUE(client->Post("/_dev/reload", token, "", "application/json"));
        const std::string active =
            std::string(R"({"implementation":)") +
            (implementation == nullptr ? "null" : "\"" + std::string(implementation) + "\"") + "}";
        const auto switched = client->Post("/_dev/active", token, active, "application/json");
        ASSERT_TRUE(switched);
        ASSERT_EQ(switched->status, 200) << switched->body;
        for (const Route& route : kRoutes) {
            SCOPED_TRACE(std::string(route.method) + " " + route.path);
            const bool implemented =
                implementation != nullptr &&
                (route.onlyFor == nullptr || std::string(route.onlyFor) == implementation);
            const char* refusal = route.onlyFor != nullptr ? route.restriction : kNoDelegate;
            const httplib::Result result = send(*client, route);
            ASSERT_TRUE(result);
            EXPECT_EQ(result->status, implemented ? route.status : 404) << result->body;
            EXPECT_NE(result->body.find(implemented ? route.contains : refusal), std::string::npos)
                << result->body;
            if (result->status >= 400) {
                EXPECT_NE(result->body.find("\"httpStatus\":" + std::to_string(result->status)),
                          std::string::npos);
            }
        }
    }
};

TEST_F(DevhostRoutes, AnswerWithLegacyActive) {
    runAll("legacy");
}

TEST_F(DevhostRoutes, AnswerWithTeamBuilderActive) {
    runAll("team-builder");
}

TEST_F(DevhostRoutes, AnswerWithNoImplementationActive) {
    runAll(nullptr);
}

// Not routes of the module: an unknown path, a known path with another
// method, a body the module cannot read, and MessagePack on request.
TEST_F(DevhostRoutes, AnswersOutsideTheRoutes) {
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

    // An empty segment fills no parameter: the path is a segment short of
    // the action route, not that route with another method.
    const auto shortPath = client->Get("/tav-champ-select/v1/session/actions/");
    ASSERT_TRUE(shortPath);
    EXPECT_EQ(shortPath->status, 404);
    EXPECT_FALSE(shortPath->has_header("Allow"));

    // Kept alive, an answer with a body goes out in one write: no wait for
    // the client's delayed acknowledgement (40 ms) between its parts.
    client->set_keep_alive(true);
    std::vector<double> milliseconds;
    for (int i = 0; i < 20; ++i) {
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(client->Get("/tav-champ-select/v1/session"));
        milliseconds.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::nth_element(milliseconds.begin(), milliseconds.begin() + 10, milliseconds.end());
    EXPECT_LT(milliseconds[10], 20.0);
    client->set_keep_alive(false);

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

// The tool of every build serves the same document but for its server's
// address: run against another build (the Windows tool under Wine), this
// compares it with this build's own.
TEST(DevhostOpenApi, EveryBuildServesTheSameDocument) {
    DevhostProcess tested;
    DevhostProcess native({}, true);
    ASSERT_TRUE(tested.serving() && native.serving()) << tested.stderrText() << native.stderrText();
    const auto document = [](const DevhostProcess& process) {
        const auto served = process.client()->Get("/openapi.json");
        std::string text = served && served->status == 200 ? served->body : "";
        const std::string server = process.base();
        for (std::size_t at; (at = text.find(server)) != std::string::npos;) {
            text.replace(at, server.size(), "SERVER");
        }
        return text;
    };
    const std::string expected = document(native);
    EXPECT_NE(expected.find("\"SERVER\""), std::string::npos) << expected.substr(0, 300);
    EXPECT_EQ(document(tested), expected);
}

}  // namespace
}  // namespace tav::testing
