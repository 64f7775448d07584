// What HTTP adds to the module's answers: a status where the module gives
// none (200 for a value, 204 for nothing, 400 for a request its handler never
// saw), the error object with its status, the media type, Allow on 405. The
// routes' forwarding and answers per implementation are the facade's tests
// (tests/plugin/facade_routes_test.cpp) and the golden traces'; HEAD and the
// hostile requests are devhost_security_test.cpp's.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "devhost_process.h"
#include "formats/json.h"

namespace tav::testing {
namespace {

class DevhostRoutes : public SharedDevhostTest {};

TEST_F(DevhostRoutes, TheModulesAnswersAsHttp) {
    auto client = process_->client();
    const httplib::Headers token{{"X-Tav-Dev-Token", process_->token()}};
    ASSERT_TRUE(client->Post("/_dev/reload", token, "", "application/json"));
    const auto activate = [&](const char* implementation) {
        const auto switched =
            client->Post("/_dev/active", token, implementation, "application/json");
        ASSERT_TRUE(switched);
        ASSERT_EQ(switched->status, 200) << switched->body;
    };
    struct Row {
        const char* active;  // the /_dev/active body
        const char* method;
        const char* path;
        const char* body;
        int status;
        const char* answer;  // the whole body, or a piece of a value's
    };
    const char* const legacy = R"({"implementation":"legacy"})";
    const Row rows[] = {
        {legacy, "GET", "session/timer", nullptr, 200, "\"phase\":\"BAN_PICK\""},
        {legacy, "POST", "session/trades/1/accept", "", 204, ""},
        {legacy, "POST", "session/my-selection/reroll", "", 409,
         R"({"errorCode":"Conflict","httpStatus":409,"message":"Error response for POST )"
         R"(/tav-champ-select-legacy/v1/session/my-selection/reroll: No rerolls remaining"})"},
        {legacy, "PATCH", "session/my-selection", R"({"selectedSkinId": "x5"})", 400,
         R"({"errorCode":"Bad Request","httpStatus":400,"message":"Value x5 for )"
         R"('selectedSkinId' of type int32 is in an incorrect format"})"},
        {R"({"implementation":null})", "GET", "session", nullptr, 404,
         R"({"errorCode":"Not Found","httpStatus":404,"message":"No active delegate"})"},
        {legacy, "GET", "nothing", nullptr, 404,
         R"({"errorCode":"Not Found","httpStatus":404,)"
         R"("message":"No route of the module matches this path"})"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.method) + " " + row.path);
        activate(row.active);
        const std::string path = "/tav-champ-select/v1/" + std::string(row.path);
        const std::string method = row.method;
        const httplib::Result result = method == "GET" ? client->Get(path)
                                       : method == "POST"
                                           ? client->Post(path, row.body, "application/json")
                                           : client->Patch(path, row.body, "application/json");
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, row.status) << result->body;
        if (row.status == 200) {
            EXPECT_NE(result->body.find(row.answer), std::string::npos) << result->body;
        } else {
            EXPECT_EQ(result->body, row.answer);
        }
        EXPECT_FALSE(result->has_header("Allow"));
        EXPECT_EQ(result->has_header("Content-Length"), row.status != 204);  // 204 has no body
        EXPECT_EQ(result->get_header_value("Content-Type"),
                  row.status == 204 ? "" : "application/json");
    }

    const auto wrongMethod = client->Delete("/tav-champ-select/v1/session");
    ASSERT_TRUE(wrongMethod);
    EXPECT_EQ(wrongMethod->status, 405);
    EXPECT_EQ(wrongMethod->get_header_value("Allow"), "GET");
}

// The tool of every build serves the same documents but for its server's
// address: run against another build (the Windows tool under Wine), this
// compares them with this build's own. (This build's own documents: the
// validators', the page test's server.)
TEST(DevhostOpenApi, EveryBuildServesTheSameDocuments) {
    if (std::getenv("TAV_DEVHOST_COMMAND") == nullptr) {
        GTEST_SKIP() << "no other build named by TAV_DEVHOST_COMMAND";
    }
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
