// Every route of the module answers through the tool, with each simulated
// implementation active and with none: the status and a piece of the body.
#include <algorithm>
#include <chrono>
#include <vector>

#include <gtest/gtest.h>

#include "devhost_process.h"
#include "formats/json.h"

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
// method and a body the module cannot read (MessagePack on request is the
// hostile-request table's, its encoding the formats tests').
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
#ifndef TAV_SANITIZED
    // A sanitizer slows an answer to the order of the 40 ms told apart here.
    EXPECT_LT(milliseconds[10], 20.0);
#endif
    client->set_keep_alive(false);

    // The module did not call its handler: no status of its own, so 400.
    const auto badBody = client->Patch("/tav-champ-select/v1/session/my-selection",
                                       R"({"selectedSkinId": "x5"})", "application/json");
    ASSERT_TRUE(badBody);
    EXPECT_EQ(badBody->status, 400);
    EXPECT_EQ(badBody->body,
              R"({"errorCode":"Bad Request","httpStatus":400,"message":"Value x5 for )"
              R"('selectedSkinId' of type int32 is in an incorrect format"})");
}

// The tool of every build serves the same documents but for its server's
// address: run against another build (the Windows tool under Wine), this
// compares them with this build's own.
TEST(DevhostOpenApi, EveryBuildServesTheSameDocuments) {
    DevhostProcess tested;
    DevhostProcess native({}, true);
    ASSERT_TRUE(tested.serving() && native.serving()) << tested.stderrText() << native.stderrText();
    for (const char* path : {"/openapi.json", "/asyncapi.json"}) {
        SCOPED_TRACE(path);
        const auto document = [&](const DevhostProcess& process) {
            const auto served = process.client()->Get(path);
            std::string text = served && served->status == 200 ? served->body : "";
            const std::string server = "127.0.0.1:" + std::to_string(process.port());
            for (std::size_t at; (at = text.find(server)) != std::string::npos;) {
                text.replace(at, server.size(), "SERVER");
            }
            return text;
        };
        const std::string expected = document(native);
        EXPECT_NE(expected.find("SERVER\""), std::string::npos) << expected.substr(0, 300);
        EXPECT_EQ(document(tested), expected);
    }
}

// Every message a change sends down /events is one the served AsyncAPI
// document describes: its SSE event field, its name, its members, and the
// session's members in the session event's data.
TEST(DevhostAsyncApi, DescribesWhatTheStreamSends) {
    DevhostProcess process;
    ASSERT_TRUE(process.serving()) << process.stderrText();
    EventReader events(process);
    ASSERT_EQ(process.client()
                  ->Patch("/tav-champ-select/v1/session/actions/3", R"({"completed": true})",
                          "application/json")
                  ->status,
              204);
    ASSERT_TRUE(events.waitFor({R"("name":"OnJsonApiEvent_tav-champ-select_v1_session")",
                                R"("name":"OnJsonApiEvent","uri")"}))
        << events.text();
    const auto served = process.client()->Get("/asyncapi.json");
    ASSERT_TRUE(served && served->status == 200);
    const BindingResult document = readJson(served->body);
    ASSERT_TRUE(document.ok);
    const BindingValue& components = document.value.find("components");

    // "event: E\ndata: D\n\n", one message after the other.
    const std::string text = events.text();
    int described = 0;
    for (std::size_t at = 0; (at = text.find("event: ", at)) != std::string::npos;) {
        const std::size_t dataAt = text.find("\ndata: ", at);
        const std::size_t end = text.find('\n', dataAt + 1);
        ASSERT_NE(end, std::string::npos) << text;
        const std::string event = text.substr(at + 7, dataAt - at - 7);
        const BindingResult data = readJson(text.substr(dataAt + 7, end - dataAt - 7));
        at = end;
        ASSERT_TRUE(data.ok) << text;
        const std::string_view name =
            event == "plugin" ? data.value.find("name").asString() : std::string_view(event);
        SCOPED_TRACE(std::string(name));
        const BindingValue* message = nullptr;
        for (const auto& candidate : components.find("messages").members()) {
            if (candidate.value().find("name").asString() == name) {
                message = &candidate.value();
            }
        }
        ASSERT_NE(message, nullptr);
        EXPECT_EQ(message->find("x-sse-event").asString(), event);
        for (const BindingValue& member : message->find("payload").find("required").elements()) {
            EXPECT_NE(data.value.tryFind(member.asString()), nullptr) << member.asString();
        }
        if (event == "plugin") {
            const std::string_view ref = message->find("payload")
                                             .find("properties")
                                             .find("data")
                                             .find("anyOf")
                                             .elements()[0]
                                             .find("$ref")
                                             .asString();
            const BindingValue& session =
                components.find("schemas").find(ref.substr(ref.rfind('/') + 1));
            for (const auto& member : data.value.find("data").members()) {
                EXPECT_NE(session.find("properties").tryFind(member.key()), nullptr)
                    << member.key();
            }
            EXPECT_EQ(session.find("required").elements().size(), data.value.find("data").size());
        }
        ++described;
    }
    EXPECT_EQ(described, 3) << text;
}

}  // namespace
}  // namespace tav::testing
