#include "framework/remote_request.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "binding/host_value.h"
#include "binding/record_description.h"
#include "diag/allocation.h"
#include "fake_host.h"
#include "formats/json.h"
#include "framework/framework_types.h"
#include "framework/plugin_base.h"
#include "plugin_start.h"

namespace requesttest {

using tav::BindingDescribe;
using tav::BindingValue;
using tav::MethodCode;
using tav::StructuredError;
using tav::testing::FakeHost;
using tav::testing::ReleaseCounter;

struct Reply {
    std::int32_t count = 0;
    std::string state;
};
constexpr auto describe(BindingDescribe<Reply>) {
    return tav::record(tav::field("count", &Reply::count).required(),
                       tav::field("state", &Reply::state));
}

enum class Mode : std::int32_t { Quiet = 0, Loud = 1 };
constexpr auto describe(BindingDescribe<Mode>) {
    return tav::enumeration<Mode>({{"Quiet", Mode::Quiet}, {"Loud", Mode::Loud}});
}

struct Selection {
    std::int64_t id = 0;
    Mode mode = Mode::Quiet;
};
constexpr auto describe(BindingDescribe<Selection>) {
    return tav::record(tav::field("id", &Selection::id), tav::field("mode", &Selection::mode));
}

// Described but never registered: converting it fails.
struct Unregistered {
    std::int32_t a = 0;
};
constexpr auto describe(BindingDescribe<Unregistered>) {
    return tav::record(tav::field("a", &Unregistered::a));
}

// Keeps the custom method word of every request it sends.
struct TestPlugin : tav::PluginBase {
    void SendRequest(TavResponse* response, const TavRequest* request) override {
        customMethods.push_back(request->customMethod);
        PluginBase::SendRequest(response, request);
    }
    std::vector<const char*> customMethods;
};

// A stream answering from a script of reads; every read and the close are
// logged into the host's call list, so that yields show up between them.
struct ScriptedStream {
    struct Read {
        std::uint32_t count = 0;
        bool more = false;
        bool ok = true;
    };
    std::string bytes;
    std::vector<Read> reads;
    std::vector<std::string>* log = nullptr;
    std::size_t next = 0;
    std::size_t offset = 0;

    static std::uint8_t TAV_ABI read(void* handle, std::uint8_t* buffer, std::uint32_t* count,
                                     std::uint8_t* more) {
        auto& self = *static_cast<ScriptedStream*>(handle);
        self.log->push_back("read");
        if (self.next == self.reads.size()) {
            ADD_FAILURE() << "read past the end of the script";
            return 0;
        }
        const Read& step = self.reads[self.next++];
        if (!step.ok) {
            return 0;
        }
        EXPECT_EQ(*count, 4096u);
        const std::size_t copied =
            std::min<std::size_t>({step.count, *count, self.bytes.size() - self.offset});
        std::memcpy(buffer, self.bytes.data() + self.offset, copied);
        self.offset += copied;
        *count = step.count;
        *more = step.more ? 1 : 0;
        return 1;
    }
    static void TAV_ABI close(void* handle) {
        static_cast<ScriptedStream*>(handle)->log->push_back("close");
    }
};

// A JSON string literal exactly size bytes long.
std::string jsonTextOfSize(std::size_t size) {
    return '"' + std::string(size - 2, 'a') + '"';
}

// A host record of the JSON text, kept for the rest of the program.
TavHostValue hostValue(const char* json) {
    static std::vector<std::unique_ptr<tav::HostValueRecord>> kept;
    auto& record = *kept.emplace_back(std::make_unique<tav::HostValueRecord>());
    EXPECT_TRUE(tav::valueToHost(nullptr, record, tav::readJson(json).value));
    return record.root();
}

void expectError(const StructuredError& error, std::int32_t code, const std::string& message) {
    EXPECT_EQ(error.code(), code);
    EXPECT_EQ(error.message(), message);
}

class RemoteRequestTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tav::testing::startPlugin(plugin, host));
        tav::registerRecord<Reply>(plugin.registry(), {.name = "TestReply"});
        tav::registerEnum<Mode>(plugin.registry(), {.name = "TestMode"});
        tav::registerRecord<Selection>(plugin.registry(), {.name = "TestSelection"});
        host.calls.clear();
        ReleaseCounter::calls = 0;
    }

    // Answers every request with the stream (and a counted release).
    void answerWithStream(ScriptedStream& stream, std::uint32_t hint = 0) {
        stream.log = &host.calls;
        host.answer = [&stream, hint](TavResponse& response, const tav::testing::RecordedRequest&) {
            response.streamRead = &ScriptedStream::read;
            response.streamClose = &ScriptedStream::close;
            response.stream = &stream;
            response.streamLengthHint = hint;
            response.release = &ReleaseCounter::release;
        };
    }

    void answerWithValue(TavHostValue value) {
        host.answer = [value](TavResponse& response, const tav::testing::RecordedRequest&) {
            response.value = value;
            response.status = 200;
            response.release = &ReleaseCounter::release;
        };
    }

    FakeHost host;
    TestPlugin plugin;
};

TEST_F(RemoteRequestTest, SendsMethodCodeUrlAndContextWithoutArguments) {
    struct Row {
        MethodCode method;
        std::uint32_t sentCode;
    };
    const Row rows[] = {
        {MethodCode::Get, 2},    {MethodCode::Delete, 1}, {MethodCode::Put, 7},
        {MethodCode::Custom, 8}, {MethodCode::None, 0},   {static_cast<MethodCode>(42), 0},
    };
    answerWithValue(hostValue("5"));
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<std::uint32_t>(row.method));
        host.requests.clear();
        const auto outcome = tav::request<std::int32_t>(plugin, row.method, "/x/v1/a?b=1");
        ASSERT_TRUE(outcome.ok());
        EXPECT_EQ(outcome.value(), 5);
        ASSERT_EQ(host.requests.size(), 1u);
        EXPECT_EQ(host.requests[0].method, row.sentCode);
        EXPECT_EQ(host.requests[0].url, "/x/v1/a?b=1");
        EXPECT_EQ(host.requests[0].argumentCount, 0u);
        EXPECT_EQ(host.requests[0].requestContext, reinterpret_cast<void*>(0x5EED));
        // No method is sent by name, so the custom method word stays 0.
        ASSERT_FALSE(plugin.customMethods.empty());
        EXPECT_EQ(plugin.customMethods.back(), nullptr);
    }
}

TEST_F(RemoteRequestTest, AnErrorFailsTheRequestWhateverElseTheResponseCarries) {
    struct Row {
        const char* name;
        MethodCode method;
        std::string url;
        std::uint32_t status;
        const char* errorText;
        std::string message;
    };
    const Row rows[] = {
        {"status becomes the code", MethodCode::Put, "/x/v1/a", 409, "busy",
         "Error response for PUT /x/v1/a: busy"},
        {"no status", MethodCode::Get, "/x", 0, "", "Error response for GET /x: "},
        {"custom method has no name", MethodCode::Custom, "/x", 500, "e",
         "Error response for  /x: e"},
        {"placeholders in the url stay", MethodCode::Post, "/x/{error}/%1", 404, "{url}",
         "Error response for POST /x/{error}/%1: {url}"},
        {"the error byte without a text", MethodCode::Get, "/x", 500, nullptr,
         "Error response for GET /x: "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ReleaseCounter::calls = 0;
        host.answer = [&row](TavResponse& response, const tav::testing::RecordedRequest&) {
            response.value = hostValue("1");  // a value, yet the error text wins
            response.errorText = row.errorText;
            response.isError = 1;
            response.status = row.status;
            response.release = &ReleaseCounter::release;
        };
        const auto outcome = tav::request<std::int32_t>(plugin, row.method, row.url);
        ASSERT_FALSE(outcome.ok());
        const StructuredError& error = outcome.error();
        expectError(error, static_cast<std::int32_t>(row.status), row.message);
        EXPECT_EQ(error.findAttribute("errorCode_int") != nullptr, row.status != 0);
        EXPECT_EQ(ReleaseCounter::calls, 1);
    }
}

TEST_F(RemoteRequestTest, ErrorAttributesFollowTheCodeInPlaceholderOrder) {
    host.answer = [](TavResponse& response, const tav::testing::RecordedRequest&) {
        response.errorText = "gone";
        response.status = 410;
    };
    const auto outcome = tav::request<BindingValue>(plugin, MethodCode::Get, "/x");
    ASSERT_FALSE(outcome.ok());
    EXPECT_EQ(tav::errorText(outcome.error()),
              R"({"message":"Error response for GET /x: gone","errorCode_int":410,)"
              R"("method_str":"GET","url_str":"/x","error_str":"gone"})");
}

// A failing read, or a count beyond the buffer, stops the stream: it is
// closed and the answer released all the same.
TEST_F(RemoteRequestTest, StreamedAnswerYieldsAfterShortReadsAndStopsAtAFailingRead) {
    using Read = ScriptedStream::Read;
    struct Row {
        const char* name;
        std::vector<Read> reads;
        std::vector<std::string> calls;
        bool fails;
    };
    const std::vector<std::string> yield = {"wait7:Wait: yield", "wait6", "wait8"};
    auto join = [](std::initializer_list<std::vector<std::string>> parts) {
        std::vector<std::string> all;
        for (const auto& part : parts) {
            all.insert(all.end(), part.begin(), part.end());
        }
        return all;
    };
    const std::vector<std::string> read = {"read"};
    const Row rows[] = {
        {"full reads never yield",
         {{4096, true}, {4096, true}, {4096, false}},
         {"send", "read", "read", "read", "close"},
         false},
        {"10000 bytes yield once after the third read",
         {{4096, true}, {4096, true}, {1808, true}, {0, false}},
         join({{"send"}, read, read, read, yield, read, {"close"}}),
         false},
        {"a short last read does not yield", {{300, false}}, {"send", "read", "close"}, false},
        {"each short read with more yields",
         {{10, true}, {4096, true}, {10, true}, {4, false}},
         join({{"send"}, read, yield, read, read, yield, read, {"close"}}),
         false},
        {"read fails", {{4096, true}, {0, true, false}}, {"send", "read", "read", "close"}, true},
        {"count beyond the buffer", {{4097, true}}, {"send", "read", "close"}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::size_t total = 0;
        for (const Read& step : row.reads) {
            total += step.count;
        }
        ScriptedStream stream;
        stream.bytes = jsonTextOfSize(total);
        stream.reads = row.reads;
        answerWithStream(stream, static_cast<std::uint32_t>(total));
        host.calls.clear();
        ReleaseCounter::calls = 0;

        const auto outcome = tav::request<std::string>(plugin, MethodCode::Get, "/x/v1/big");
        if (row.fails) {
            ASSERT_FALSE(outcome.ok());
            expectError(outcome.error(), 0,
                        "Error reading streamed response for GET /x/v1/big: Stream read error");
        } else {
            ASSERT_TRUE(outcome.ok()) << outcome.error().message();
            EXPECT_EQ(outcome.value(), std::string(total - 2, 'a'));
            EXPECT_EQ(stream.next, row.reads.size());
        }
        EXPECT_EQ(host.calls, row.calls);
        EXPECT_EQ(ReleaseCounter::calls, 1);
    }
}

TEST_F(RemoteRequestTest, StreamThatIsNotJsonReportsTheParseError) {
    ScriptedStream stream;
    stream.bytes = "{\"a\":";
    stream.reads = {{5, false}};
    answerWithStream(stream);
    const auto outcome = tav::request<BindingValue>(plugin, MethodCode::Get, "/x");
    ASSERT_FALSE(outcome.ok());
    const tav::BindingResult parsed = tav::readJson("{\"a\":");
    ASSERT_FALSE(parsed.ok);
    expectError(outcome.error(), 0,
                "Error reading streamed response for GET /x: " + std::string(parsed.error()));
}

// The hint is another plugin's number: it must not size an allocation of
// gigabytes (on 32-bit targets, such a reservation would not even be possible).
TEST_F(RemoteRequestTest, LengthHintReservesAtMostAMebibyte) {
    ScriptedStream stream;
    stream.bytes = "[1]";
    stream.reads = {{3, false}};
    answerWithStream(stream, 0xFFFFFFFFu);
    const std::uint64_t before = tav::diag::readAllocationCounters().bytesAllocated;
    const auto outcome = tav::request<std::vector<std::int32_t>>(plugin, MethodCode::Get, "/x");
    const std::uint64_t after = tav::diag::readAllocationCounters().bytesAllocated;
    ASSERT_TRUE(outcome.ok()) << outcome.error().message();
    EXPECT_EQ(outcome.value(), std::vector<std::int32_t>{1});
    EXPECT_LT(after - before, std::uint64_t{4} << 20);
}

TEST_F(RemoteRequestTest, ConversionFailuresNameTheResultAndReleaseOnce) {
    struct Row {
        const char* name;
        TavHostValue value;
        std::string message;
    };
    TavHostValue badTag{};
    badTag.tag = 11;
    const Row rows[] = {
        {"unknown host tag", badTag,
         "Error converting response for GET /x: Couldn't assign value to '<result>' of type "
         "object because the input is of an incompatible type ''."},
        {"required field missing", hostValue(R"({"state": "x"})"),
         "Error converting response for GET /x: Couldn't assign value to '<result>' of type "
         "TestReply because the input structure doesn't have required field 'count'."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ReleaseCounter::calls = 0;
        answerWithValue(row.value);
        const auto outcome = tav::request<Reply>(plugin, MethodCode::Get, "/x");
        ASSERT_FALSE(outcome.ok());
        expectError(outcome.error(), 0, row.message);
        EXPECT_EQ(outcome.error().findAttribute("errorCode_int"), nullptr);
        EXPECT_EQ(ReleaseCounter::calls, 1);
    }
}

// Named values and a record alike travel as one unnamed structure argument;
// a record field by field, its enums by name.
TEST_F(RemoteRequestTest, ParametersTravelAsOneStructureArgument) {
    std::vector<tav::NamedValue> parameters(2);
    parameters[0].name = "zeta";
    parameters[0].value.setInt64(7);
    parameters[1].name = "alpha";
    parameters[1].value.setString("x");
    host.answer = [](TavResponse& response, const tav::testing::RecordedRequest&) {
        response.release = &ReleaseCounter::release;
    };
    ASSERT_TRUE(tav::requestWithParameters(plugin, MethodCode::Patch, "/x/v1/p", parameters).ok());
    ASSERT_TRUE(
        tav::requestWithParameters(plugin, MethodCode::Post, "/x/v1/p", Selection{42, Mode::Loud})
            .ok());
    ASSERT_EQ(host.requests.size(), 2u);
    EXPECT_EQ(host.requests[0].method, 5u);
    for (const tav::testing::RecordedRequest& request : host.requests) {
        ASSERT_EQ(request.argumentCount, 1u);
        EXPECT_EQ(request.arguments.elementAt(0).find("name").asString(), "");
    }
    const BindingValue& named = host.requests[0].arguments.elementAt(0).find("value");
    ASSERT_EQ(named.kind(), tav::BindingValueKind::Structure);
    EXPECT_EQ(named.size(), 2u);
    EXPECT_EQ(named.find("zeta").asInt64(), 7);
    EXPECT_EQ(named.find("alpha").asString(), "x");
    const BindingValue& record = host.requests[1].arguments.elementAt(0).find("value");
    EXPECT_EQ(record.find("id").asInt64(), 42);
    EXPECT_EQ(record.find("mode").asString(), "Loud");
    EXPECT_EQ(ReleaseCounter::calls, 2);
}

TEST_F(RemoteRequestTest, ParametersThatDoNotConvertAreNotSent) {
    const auto outcome =
        tav::requestWithParameters(plugin, MethodCode::Post, "/x/v1/p", Unregistered{});
    ASSERT_FALSE(outcome.ok());
    expectError(outcome.error(), 400,
                "Request not sent: Error converting parameters for POST /x/v1/p: Couldn't convert "
                "native value because it's an unregistered structure.");
    EXPECT_TRUE(host.requests.empty());
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(RemoteRequestTest, SendEventPublishesUnderTheDerivedNameThenTheGivenOne) {
    using Type = tav::PluginResourceEventType;
    const std::string derived = "OnJsonApiEvent_tav-champ-select_v1_session";
    struct Row {
        std::string eventName;
        Type type;
        const char* typeName;
        std::uint32_t word;
        std::vector<std::string> published;
    };
    const Row rows[] = {
        {"OnJsonApiEvent", Type::Create, "Create", 0, {derived, "OnJsonApiEvent"}},
        {derived, Type::Delete, "Delete", 9, {derived}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.eventName);
        host.published.clear();
        tav::PluginResourceEvent event;
        event.uri = "/tav-champ-select/v1/session";
        event.eventType = row.type;
        event.data.member("timer").setInt64(30);
        const auto outcome = tav::SendEvent(plugin, row.eventName, event, row.word);
        ASSERT_TRUE(outcome.ok());
        std::vector<std::string> names;
        for (const tav::testing::RecordedEvent& published : host.published) {
            names.push_back(published.name);
            EXPECT_EQ(published.payload.find("uri").asString(), event.uri);
            EXPECT_EQ(published.payload.find("eventType").asString(), row.typeName);
            EXPECT_EQ(published.payload.find("data").find("timer").asInt64(), 30);
            EXPECT_EQ(published.word, row.word);
            EXPECT_EQ(published.userData, nullptr);
        }
        EXPECT_EQ(names, row.published);
    }
}

}  // namespace requesttest
