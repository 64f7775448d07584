// The dispatcher through the endpoint entry, as the host calls it: functions
// registered on a real API object, a handler that records what it was given
// and answers as told, requests sent as host records and their response read
// back into plain values and released.
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <tav/plugin_abi.h>

#include "api/api_object.h"
#include "api/endpoint_handler.h"
#include "api/response_record.h"
#include "binding/binding_value.h"
#include "binding/host_value.h"
#include "binding/record_description.h"
#include "binding/type_registry.h"
#include "diag/allocation.h"
#include "formats/json.h"

using namespace tav;

namespace {

using Kind = BindingTypeKind;
using Location = ArgumentLocation;

struct Parameter {
    const char* name;
    BindingTypeKind kind = BindingTypeKind::String;
    ArgumentLocation location = ArgumentLocation::Any;
};

// Records the parameters it is given; invoke runs answer (if any).
class RecordingHandler final : public EndpointHandler {
public:
    std::function<void(CallResult&, const EndpointRequestInfo*)> answer;
    bool wantsInfo = false;
    std::vector<BindingValue> seen;
    int prepared = 0;
    int released = 0;

    std::uintptr_t prepare(CallResult& /*call*/, std::span<BindingValue> parameters,
                           void* /*requestContext*/) override {
        seen.assign(parameters.begin(), parameters.end());
        return static_cast<std::uintptr_t>(++prepared);
    }
    void invoke(CallResult& call, const EndpointRequestInfo* info, std::uintptr_t /*state*/,
                void* /*requestContext*/) override {
        if (answer) {
            answer(call, info);
        }
    }
    void release(std::uintptr_t /*state*/) override { ++released; }
    const StaticTypeInfo* requestInfoType() const override {
        return wantsInfo ? &staticTypeInfo<EndpointRequestInfo>() : nullptr;
    }
};

// A constructor, not an aggregate: rows name only the fields they need.
struct Request {
    Request(std::uint32_t method_, std::string url_,
            std::vector<std::pair<std::string, std::string>> headers_ = {},
            std::string contentType_ = {}, std::string body_ = {})
        : method(method_),
          url(std::move(url_)),
          headers(std::move(headers_)),
          contentType(std::move(contentType_)),
          body(std::move(body_)) {}

    std::uint32_t method = TAV_METHOD_GET;
    std::string url;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string contentType;
    std::string body;
    std::vector<TavHostArgument> arguments;
    std::string customMethod;
};

// A response read back: the error text (or none), status and value.
struct Answer {
    std::optional<std::string> error;
    std::uint32_t status = 0;
    BindingValue value;
    std::string contentType;
    std::vector<std::pair<std::string, std::string>> headers;
    std::uint8_t flag = 0;
    std::uint32_t mode = 0;
};

class DispatchHarness {
public:
    // Registers a function named name with the parameters, its path and method.
    RouteRegistration& add(const char* name, const char* path, std::uint32_t method,
                           std::vector<Parameter> parameters,
                           std::shared_ptr<EndpointHandler> handler) {
        BindingFunctionDescriptor& function = registry.registerFunction(name, parameters.size());
        for (std::size_t i = 0; i < parameters.size(); ++i) {
            function.arguments[i].name = parameters[i].name;
            function.arguments[i].type.kind = parameters[i].kind;
        }
        RouteRegistration& registration = api.registerRoute(function);
        registration.setPath(path).setMethod(method);
        for (std::size_t i = 0; i < parameters.size(); ++i) {
            registration.locations[i] = parameters[i].location;
        }
        registration.handler = std::move(handler);
        return registration;
    }

    // Sends request to registration through the entry; the record is left
    // filled for the caller to inspect and release.
    static void send(const RouteRegistration& registration, const Request& request,
                     TavResponse& response) {
        std::vector<TavHostHeader> headers;
        for (const auto& [name, value] : request.headers) {
            headers.push_back({name.c_str(), value.c_str()});
        }
        TavRequest record{};
        record.method = request.method;
        record.url = request.url.c_str();
        record.arguments = request.arguments.data();
        record.argumentCount = static_cast<std::uint32_t>(request.arguments.size());
        record.endpoint = &registration.binding;
        record.headers = headers.data();
        record.headerCount = static_cast<std::uint32_t>(headers.size());
        record.contentType = request.contentType.c_str();
        record.body = reinterpret_cast<const std::uint8_t*>(request.body.data());
        record.bodyLength = static_cast<std::uint32_t>(request.body.size());
        record.customMethod = request.customMethod.c_str();
        response = TavResponse{};
        ApiObject::endpointEntry()(&response, &record);
    }

    // Sends, reads the answer and releases the record.
    static Answer call(const RouteRegistration& registration, const Request& request) {
        TavResponse response;
        send(registration, request, response);
        Answer answer;
        if (response.isError != 0) {
            answer.error = response.errorText;
        }
        answer.status = response.status;
        BindingErrorSink sink;
        EXPECT_TRUE(hostToValue(sink, answer.value, response.value, "<result>"));
        answer.contentType = response.contentType;
        for (std::uint32_t i = 0; i < response.headerCount; ++i) {
            answer.headers.emplace_back(response.headers[i].name, response.headers[i].value);
        }
        answer.flag = response.flag;
        answer.mode = response.mode;
        if (response.streamClose != nullptr) {
            response.streamClose(response.stream);
        }
        response.release(&response);
        return answer;
    }

    BindingTypeRegistry registry;
    ApiObject api;
};

// The outcome as one comparable text: the error, or the parameters as JSON.
std::string outcome(const Answer& answer, const RecordingHandler& handler) {
    if (answer.error) {
        return "error: " + *answer.error;
    }
    BindingValue all;
    all.makeCollection();
    for (const BindingValue& parameter : handler.seen) {
        all.append() = parameter;
    }
    return writeJson(all);
}

class Dispatcher : public ::testing::Test {
protected:
    DispatchHarness harness;
    std::shared_ptr<RecordingHandler> handler = std::make_shared<RecordingHandler>();
};

TEST_F(Dispatcher, PathOrMethodThatDoesNotFitIsAnInvalidFunction) {
    const auto& route = harness.add("F", "/items/{id}", TAV_METHOD_GET, {{"id"}}, handler);
    for (const auto& [method, url] :
         {std::pair{TAV_METHOD_GET, "/items/5/6"}, std::pair{TAV_METHOD_POST, "/items/5"},
          std::pair{TAV_METHOD_GET, "/other"}}) {
        const Answer answer = DispatchHarness::call(route, {method, url});
        EXPECT_EQ(answer.error, "Invalid function") << url;
        EXPECT_EQ(answer.status, 404u);
    }
    EXPECT_EQ(handler->prepared, 0);
}

// What the handler of Arguments sees for the query text: ids and name as
// JSON texts, no body.
std::string queryOutcome(const std::string& query, const std::string& ids,
                         const std::string& name = "null") {
    return R"([")" + ("1" + query) + R"(",false,null,)" + ids + "," + name + ",null]";
}

// A collection of n nulls and "1", as an index path to n leaves it, then
// the elements in more.
std::string nullsThenOne(std::size_t n, const std::string& more = {}) {
    std::string list = "[";
    for (std::size_t i = 0; i < n; ++i) {
        list += "null,";
    }
    return list + R"("1")" + more + "]";
}

// Arguments from the path, the query, the host's argument list and the body,
// and the limits on what an index path in the query may build.
TEST_F(Dispatcher, ArgumentsFromQueryListAndBody) {
    const auto& route = harness.add("F", "/items/{id}", TAV_METHOD_PATCH,
                                    {{"id", Kind::String, Location::Path},
                                     {"flag", Kind::Bool, Location::Query},
                                     {"count", Kind::Int32},
                                     {"ids", Kind::Vector},
                                     {"name"},
                                     {"data", Kind::Struct, Location::Body}},
                                    handler);
    TavHostValue one{};
    one.tag = TAV_HOST_SIGNED;
    one.payload.signedValue = 1;
    TavHostValue bad{};
    bad.tag = 77;
    const std::string packed = "\x81\xA1k\x01";
    const char* const withData = R"(["1",false,null,null,null,{"k":1}])";
    // Index paths may create as many elements as the path has characters,
    // and at least 4096; and may be as deep as the readers nest.
    const std::string padding(5000, 'x');
    const std::string longQuery = "?name=" + padding + "&ids.";
    const std::size_t longPath = std::string("/items/1").size() + longQuery.size() + 6;
    std::string deep = "?ids";
    std::string deepValue = R"("1")";
    for (int i = 511; i >= 0; --i) {
        deep.insert(4, ".m" + std::to_string(i));
        deepValue = R"({"m)" + std::to_string(i) + R"(":)" + deepValue + "}";
    }
    struct Row {
        std::string query;
        std::string expected;
        std::vector<TavHostArgument> arguments = {};
        std::string contentType = {};
        std::string body = {};
    };
    const Row rows[] = {
        {"", R"(["1",false,null,null,null,null])"},
        {"?flag", R"(["1?flag",true,null,null,null,null])"},
        {"?flag=", R"(["1?flag=",true,null,null,null,null])"},
        {"?count=", "error: Expected value for argument 'count'."},
        {"?count=7&name=a+b%21", R"(["1?count=7&name=a b!",false,"7",null,"a b!",null])"},
        {"?ids.0=1&ids.1=2", R"(["1?ids.0=1&ids.1=2",false,null,["1","2"],null,null])"},
        {"?ids.x1=1", R"(["1?ids.x1=1",false,null,{"x1":"1"},null,null])"},
        {"?ids.0.a=1", R"(["1?ids.0.a=1",false,null,[{"a":"1"}],null,null])"},
        {"?ids.0x3=1", R"(["1?ids.0x3=1",false,null,[null,null,null,"1"],null,null])"},
        {"?ids=[1,2]", R"(["1?ids=[1,2]",false,null,[1,2],null,null])"},
        {"?ids.1a=1", "error: Index 1a is in an incorrect format"},
        {"?ids.4294967296=1", "error: Index 4294967296 is out of range"},
        {"?ids.2147483648=1", "error: Index 2147483648 is out of range"},
        // Beyond what a request of this length could describe.
        {"?ids.2147483647=1", "error: Index 2147483647 is out of range"},
        {"?ids.5000=1", "error: Index 5000 is out of range"},
        {"?ids.3000.3000=1", "error: Index 3000 is out of range"},
        // Exactly at the bounds, and one past.
        {"?ids.4095=1", queryOutcome("?ids.4095=1", nullsThenOne(4095))},
        {"?ids.4096=1", "error: Index 4096 is out of range"},
        {"?ids.2047=1&ids.2048.2046=1",  // 2048 + 1 + 2047 elements
         queryOutcome("?ids.2047=1&ids.2048.2046=1", nullsThenOne(2047, "," + nullsThenOne(2046)))},
        {"?ids.2047=1&ids.2048.2047=1", "error: Index 2047 is out of range"},
        {longQuery + std::to_string(longPath - 1) + "=1",
         queryOutcome(longQuery + std::to_string(longPath - 1) + "=1", nullsThenOne(longPath - 1),
                      '"' + padding + '"')},
        {longQuery + std::to_string(longPath) + "=1",
         "error: Index " + std::to_string(longPath) + " is out of range"},
        {deep + "=1", queryOutcome(deep + "=1", deepValue)},
        {deep + ".m512=1", "error: Index m512 is out of range"},
        {"?nope=1", "error: Unknown argument 'nope' for 'F'."},
        {"?id=2", "error: Argument 'id' for 'F' was specified in an invalid location."},
        // Unnamed entries go to the parameters after the path's; entries
        // overwrite path arguments.
        {"", R"(["1",1,null,null,null,null])", {{nullptr, one}}},
        {"", R"(["1",false,1,null,1,null])", {{"name", one}, {nullptr, one}}},
        {"", R"([1,false,null,null,null,null])", {{"id", one}}},
        {"", "error: Unknown argument '6' for 'F'.",
         std::vector<TavHostArgument>(6, {nullptr, one})},
        {"", "error: Unknown argument 'third' for 'F'.", {{"third", one}}},
        {"",
         "error: Couldn't assign value to 'count' of type object because the input is of an "
         "incompatible type ''.",
         {{"count", bad}}},
        // The body by its content type.
        {"", withData, {}, "application/json", R"({"k":1})"},
        {"", withData, {}, "Application/JSON; charset=utf-8", R"({"k":1})"},
        {"", withData, {}, "application/vnd.api+json", R"({"k":1})"},
        {"", withData, {}, "application/x-msgpack", packed},
        {"", withData, {}, "application/x-yaml", "k: 1\n"},
        {"",
         "error: Extra MessgePack data found in body",
         {},
         "application/x-msgpack",
         packed + '\x01'},
        {"", "error: Unsupported body content type", {}, "text/json", R"({"k":1})"},
        {"", "error: Unsupported body content type", {}, "text/x-yaml", "k: 1\n"},
        {"", "error: Unsupported body content type", {}, "", "{}"},
        {"", R"(["1",false,null,null,null,null])", {}, "application/json", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.query.substr(0, 40));
        handler->seen.clear();
        Request request{TAV_METHOD_PATCH, "/items/1" + row.query, {}, row.contentType, row.body};
        request.arguments = row.arguments;
        EXPECT_EQ(outcome(DispatchHarness::call(route, request), *handler), row.expected);
    }
    const Answer broken = DispatchHarness::call(route, {TAV_METHOD_PATCH, "/items/1?ids=[1,"});
    ASSERT_TRUE(broken.error);
    EXPECT_TRUE(
        broken.error->starts_with("Couldn't deserialize JSON value for parameter 'ids' of 'F': "))
        << *broken.error;
    EXPECT_EQ(broken.status, 0u);
    const Answer brokenBody =
        DispatchHarness::call(route, {TAV_METHOD_PATCH, "/items/1", {}, "application/json", "{"});
    EXPECT_TRUE(brokenBody.error && !brokenBody.error->empty());
    // Without a body parameter, the body is not read.
    const auto& noBody = harness.add("G", "/n", TAV_METHOD_PATCH, {{"q"}}, handler);
    EXPECT_EQ(DispatchHarness::call(noBody, {TAV_METHOD_PATCH, "/n", {}, "text/json", "{"}).error,
              std::nullopt);
}

TEST_F(Dispatcher, HeadersAreFoundByTheLowerCasedParameterName) {
    struct Row {
        const char* parameter;
        Location location;
        const char* header;
        bool reached;
    };
    const Row rows[] = {{"Content-Type", Location::Header, "content-type", true},
                        {"content-type", Location::Header, "content-type", true},
                        {"content-type", Location::Header, "Content-Type", false},
                        {"content-type", Location::Any, "content-type", true},
                        {"content-type", Location::Query, "content-type", false}};
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.parameter) + " <- " + row.header + " at " +
                     std::to_string(static_cast<int>(row.location)));
        const std::string name = "H" + std::to_string(n++);
        const auto& route = harness.add(name.c_str(), "/h", TAV_METHOD_GET,
                                        {{row.parameter, Kind::String, row.location}}, handler);
        Request request{TAV_METHOD_GET, "/h"};
        request.headers = {{"x-other", "1"}, {row.header, "text/plain"}};
        ASSERT_EQ(DispatchHarness::call(route, request).error, std::nullopt);
        EXPECT_EQ(handler->seen.at(0).asString(), row.reached ? "text/plain" : "");
    }
}

TEST_F(Dispatcher, HandlerAnswerReachesTheRecord) {
    std::uint32_t mode = 0;
    handler->answer = [&](CallResult& call, const EndpointRequestInfo* info) {
        EXPECT_EQ(info, nullptr);
        call.result.value.member("ok").setBool(true);
        call.status = 201;
        call.flag = 1;
        call.mode = mode;
        call.contentType = "application/json";
        call.headers["x-a"] = "b";
    };
    const auto& route = harness.add("F", "/r", TAV_METHOD_POST, {}, handler);
    // Modes 0 to 3 are kept, any other is written as 0.
    const std::pair<std::uint32_t, std::uint32_t> modes[] = {
        {0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 0}, {9, 0}, {0xFFFFFFFF, 0},
    };
    for (const auto& [set, written] : modes) {
        SCOPED_TRACE(set);
        mode = set;
        const Answer answer = DispatchHarness::call(route, {TAV_METHOD_POST, "/r"});
        EXPECT_EQ(answer.error, std::nullopt);
        EXPECT_EQ(writeJson(answer.value), R"({"ok":true})");
        EXPECT_EQ(answer.status, 201u);
        EXPECT_EQ(answer.flag, 1);
        EXPECT_EQ(answer.mode, written);
        EXPECT_EQ(answer.contentType, "application/json");
        EXPECT_EQ(answer.headers, (std::vector<std::pair<std::string, std::string>>{{"x-a", "b"}}));
    }
    EXPECT_EQ(handler->released, static_cast<int>(std::size(modes)));
}

TEST_F(Dispatcher, RequestInformationWhenTheHandlerAsksForIt) {
    handler->wantsInfo = true;
    std::string seen;
    handler->answer = [&](CallResult& /*call*/, const EndpointRequestInfo* info) {
        ASSERT_NE(info, nullptr);
        seen = std::string(info->path) + " " + std::to_string(info->method) + " " +
               std::string(info->customMethod) + " " + info->headers.at("X-Id");
        EXPECT_GT(info->receivedAt, 116444736000000000ull);
    };
    auto& route = harness.add("F", "/i", TAV_METHOD_CUSTOM, {}, handler);
    route.customMethod = "PURGE";
    Request request{TAV_METHOD_CUSTOM, "/i", {{"X-Id", "7"}}};
    request.customMethod = "PURGE";
    EXPECT_EQ(DispatchHarness::call(route, request).error, std::nullopt);
    EXPECT_EQ(seen, "/i 8 PURGE 7");
    request.customMethod = "FETCH";
    EXPECT_EQ(DispatchHarness::call(route, request).error, "Invalid function");
}

struct Unregistered {
    int x = 0;
};
// Only looked up for its type, never called.
[[maybe_unused]] constexpr auto describe(BindingDescribe<Unregistered> /*tag*/) {
    return record(field("x", &Unregistered::x));
}

TEST_F(Dispatcher, TypedHandlersConvertArgumentsAndAnswers) {
    BindingFunctionDescriptor& function = harness.registry.registerFunction("T", 1);
    function.arguments[0] = {"id", "", false, {Kind::Int64}};
    RouteRegistration& route = harness.api.registerRoute(function);
    route.setPath("/t/{id}").setMethod(TAV_METHOD_GET);
    route.handler = makeEndpointHandler<std::int64_t>(
        function, [](std::int64_t id) -> HandlerAnswer<std::int64_t> {
            if (id < 0) {
                return HandlerError{409, "negative"};
            }
            return id * 2;
        });
    const std::pair<const char*, const char*> rows[] = {
        {"/t/0x10", "32 status 0"},
        {"/t/-1", "error negative status 409"},
        {"/t/x", "error Value x for 'id' of type int64 is in an incorrect format status 0"},
    };
    for (const auto& [url, expected] : rows) {
        const Answer answer = DispatchHarness::call(route, {TAV_METHOD_GET, url});
        const std::string got =
            (answer.error ? "error " + *answer.error : writeJson(answer.value)) + " status " +
            std::to_string(answer.status);
        EXPECT_EQ(got, expected) << url;
    }

    BindingFunctionDescriptor& other = harness.registry.registerFunction("U", 0);
    RouteRegistration& unconvertible = harness.api.registerRoute(other);
    unconvertible.setPath("/u");
    unconvertible.handler = makeEndpointHandler<>(
        other, []() -> HandlerAnswer<Unregistered> { return Unregistered{}; });
    EXPECT_EQ(DispatchHarness::call(unconvertible, {TAV_METHOD_GET, "/u"}).status, 400u);
}

class CountedStream final : public ResponseStream {
public:
    explicit CountedStream(int& destroyed) : destroyed_(destroyed) {}
    ~CountedStream() override { ++destroyed_; }
    bool read(std::uint8_t* buffer, std::uint32_t& count, bool& more) override {
        count = std::min<std::uint32_t>(count, 3);
        std::memcpy(buffer, "abc", count);
        more = false;
        return true;
    }
    std::uint32_t expectedLength() const override { return 3; }

private:
    int& destroyed_;
};

TEST_F(Dispatcher, StreamsAreHandedToTheHostUnlessTheAnswerIsAnError) {
    int destroyed = 0;
    bool fail = false;
    handler->answer = [&](CallResult& call, const EndpointRequestInfo* /*info*/) {
        call.stream = std::make_unique<CountedStream>(destroyed);
        if (fail) {
            respondError(call, "no");
        }
    };
    const auto& route = harness.add("F", "/s", TAV_METHOD_GET, {}, handler);
    TavResponse response;
    DispatchHarness::send(route, {TAV_METHOD_GET, "/s"}, response);
    ASSERT_NE(TavStreamRead(response.streamRead), nullptr);
    EXPECT_EQ(std::uint32_t(response.streamLengthHint), 3u);
    std::uint8_t buffer[8];
    std::uint32_t count = sizeof buffer;
    std::uint8_t more = 1;
    EXPECT_EQ(response.streamRead(response.stream, buffer, &count, &more), 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), count), "abc");
    EXPECT_EQ(more, 0);
    void* stream = response.stream;
    const TavStreamClose close = response.streamClose;
    response.release(&response);
    EXPECT_EQ(destroyed, 0);  // the host owns it until it closes it
    close(stream);
    EXPECT_EQ(destroyed, 1);

    fail = true;
    DispatchHarness::send(route, {TAV_METHOD_GET, "/s"}, response);
    EXPECT_EQ(destroyed, 2);
    EXPECT_EQ(TavStreamRead(response.streamRead), nullptr);
    response.release(&response);
}

TEST_F(Dispatcher, ReleaseFreesEverythingOnceAndOnlyOnce) {
    handler->answer = [](CallResult& call, const EndpointRequestInfo* /*info*/) {
        BindingValue& items = call.result.value.member("items");
        for (int i = 0; i < 20; ++i) {
            items.append().setString("item number " + std::to_string(i));
        }
        call.contentType = "application/json";
        call.headers["x-a"] = "b";
        call.headers["x-c"] = "d";
    };
    const auto& route = harness.add("F", "/r/{id}", TAV_METHOD_POST,
                                    {{"id"}, {"body", Kind::Struct, Location::Body}}, handler);
    const auto& failing = harness.add("G", "/g", TAV_METHOD_POST, {{"n", Kind::Int32}}, handler);
    const Request requests[] = {
        {TAV_METHOD_POST, "/r/1?id=2", {{"h", "v"}}, "application/json", R"({"a":[1,2,3]})"},
        {TAV_METHOD_POST, "/g?n="},
        {TAV_METHOD_POST, "/nothing"},
    };
    const RouteRegistration* routes[] = {&route, &failing, &failing};
    TavResponse warmUp;
    DispatchHarness::send(route, requests[0], warmUp);
    ASSERT_EQ(warmUp.isError, 0);
    ASSERT_EQ(+warmUp.headerCount, 2u);  // the handler ran: everything is there to free
    warmUp.release(&warmUp);

    const std::uint64_t live = diag::readAllocationCounters().liveBytes();
    std::vector<TavResponse> responses(60);
    for (std::size_t i = 0; i < responses.size(); ++i) {
        DispatchHarness::send(*routes[i % 3], requests[i % 3], responses[i]);
    }
    EXPECT_GT(diag::readAllocationCounters().liveBytes(), live);
    for (TavResponse& response : responses) {
        const TavResponseRelease release = response.release;
        release(&response);
        release(&response);  // a second call does nothing
    }
    EXPECT_EQ(diag::readAllocationCounters().liveBytes(), live);

    TavResponse never{};
    releaseResponse(&never);  // a record never filled
    EXPECT_EQ(diag::readAllocationCounters().liveBytes(), live);
}

TEST_F(Dispatcher, ExceptionsBecomeAnErrorResponse) {
    handler->answer = [](CallResult& call, const EndpointRequestInfo* /*info*/) {
        call.headers["x"] = "y";
        throw std::runtime_error("boom");
    };
    const auto& route = harness.add("F", "/e", TAV_METHOD_GET, {}, handler);
    const Answer answer = DispatchHarness::call(route, {TAV_METHOD_GET, "/e"});
    EXPECT_EQ(answer.error, "Internal error");
    EXPECT_EQ(answer.status, 500u);
    EXPECT_EQ(handler->released, 1);
}

TEST(ApiObject, RegistrationsKeepOrderAndAreReplacedInPlace) {
    BindingTypeRegistry registry;
    ApiObject api;
    const BindingFunctionDescriptor& a = registry.registerFunction("A", 2);
    const BindingFunctionDescriptor& b = registry.registerFunction("B", 0);
    RouteRegistration& first = api.registerRoute(a);
    first.setPath("/a/");
    api.registerRoute(b);
    RouteRegistration& again = api.registerRoute(a);
    EXPECT_EQ(&again, &first);
    EXPECT_EQ(again.path, "");
    EXPECT_EQ(again.locations, (std::vector<ArgumentLocation>{Location::Any, Location::Any}));
    const auto list = api.registrations();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]->function, &a);
    EXPECT_EQ(list[1]->function, &b);
    EXPECT_EQ(&api.buildDescription(registry), &api.buildDescription(registry));
}

}  // namespace
