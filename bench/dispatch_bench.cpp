// One request through the endpoint entry, from the host's request record to
// the released response, next to RapidJSON parsing and writing the same JSON
// in the same run: (a) a PATCH whose 100-byte JSON body becomes a
// ChampSelectMySelection record, (b) a GET whose handler answers the
// champ-select session (about 8 KB as JSON). Both report the JSON's bytes
// per second, so the ratio is one of times per request; the goals: the PATCH
// at 0.7x of RapidJSON's parse and write, the GET within three times it.
//
// The PATCH fails if a request takes a heap block (operator new or the
// framework's); a third benchmark matches a request path against a literal
// route and fails if that allocates at all.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <variant>
#include <vector>

#include <benchmark/benchmark.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "api/api_object.h"
#include "api/endpoint_handler.h"
#include "api/route.h"
#include "counting_new.h"
#include "diag/allocation.h"
#include "format_inputs.h"
#include "plugin/api_types.h"
#include "ratio_reporter.h"

namespace tav::bench {
namespace {

using namespace Kelvo::Client::ChampSelect::Api;

// About 100 bytes, as a front end sends it.
constexpr const char* kSelectionJson =
    R"({"selectedSkinId":145012,"spell1Id":4,"spell2Id":14,"wardSkinId":270,"extra":"padding-x"})";

struct Api {
    BindingTypeRegistry registry;
    ApiObject api;
    RouteRegistration* patch = nullptr;
    RouteRegistration* get = nullptr;
    ChampSelectSession session;

    Api() {
        registry.reset();
        RegisterApiTypes(registry, "TavChampSelect", {"Plugins"});
        const BindingResult converted =
            fromValue(session, sessionInput().value, "<result>", registry);
        if (!converted) {
            std::abort();
        }

        BindingFunctionDescriptor& patchFunction =
            registry.registerFunction("PatchTavChampSelectV1SessionMySelection", 1);
        patchFunction.arguments[0] = {"selection",
                                      "",
                                      false,
                                      {BindingTypeKind::Struct, BindingTypeKind::None,
                                       registry.find(staticTypeInfo<ChampSelectMySelection>())}};
        patch = &api.registerRoute(patchFunction);
        patch->setPath("/tav-champ-select/v1/session/my-selection").setMethod(TAV_METHOD_PATCH);
        patch->locations = {ArgumentLocation::Body};
        patch->handler = makeEndpointHandler<ChampSelectMySelection>(
            patchFunction, [](const ChampSelectMySelection& selection) {
                benchmark::DoNotOptimize(selection.spell1Id);
                return HandlerAnswer<std::monostate>();
            });

        BindingFunctionDescriptor& getFunction =
            registry.registerFunction("GetTavChampSelectV1Session", 0);
        get = &api.registerRoute(getFunction);
        get->setPath("/tav-champ-select/v1/session").setMethod(TAV_METHOD_GET);
        get->handler = makeEndpointHandler<>(
            getFunction, [this]() { return HandlerAnswer<ChampSelectSession>(session); });
    }
};

Api& api() {
    static Api instance;
    return instance;
}

void countBytes(benchmark::State& state, std::size_t bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(bytes));
}

// The heap blocks taken so far, through operator new or the framework's
// functions.
std::uint64_t heapBlocks() {
    return tav::bench::globalNewCalls.load(std::memory_order_relaxed) +
           diag::readAllocationCounters().allocations;
}

// Times requests to route; returns the heap blocks that ten of them took.
std::uint64_t request(benchmark::State& state, const RouteRegistration& route, std::uint32_t method,
                      const char* url, const std::string& body, std::size_t bytes) {
    TavRequest record{};
    record.method = method;
    record.url = url;
    record.endpoint = &route.binding;
    record.contentType = "application/json";
    record.body = reinterpret_cast<const std::uint8_t*>(body.data());
    record.bodyLength = static_cast<std::uint32_t>(body.size());
    const TavEndpointEntry entry = ApiObject::endpointEntry();
    const auto send = [&] {
        TavResponse response{};
        entry(&response, &record);
        if (response.isError != 0) {
            state.SkipWithError(response.errorText);
        }
        benchmark::DoNotOptimize(response.value);
        response.release(&response);
    };
    // Counted before the timed loop, which may allocate on its own; the first
    // request of a route may set up what later ones reuse.
    send();
    const std::uint64_t before = heapBlocks();
    for (int i = 0; i < 10; ++i) {
        send();
    }
    const std::uint64_t taken = heapBlocks() - before;
    for (auto _ : state) {
        send();
    }
    countBytes(state, bytes);
    return taken;
}

// A small body takes no heap block once the route has served a request: its
// tree lives in pool pages and the handler keeps its arguments' block.
void patchOurs(benchmark::State& state) {
    Api& a = api();
    const std::string body = kSelectionJson;
    if (request(state, *a.patch, TAV_METHOD_PATCH, "/tav-champ-select/v1/session/my-selection",
                body, body.size()) != 0) {
        state.SkipWithError("a PATCH took a heap block");
    }
}

void getOurs(benchmark::State& state) {
    Api& a = api();
    (void)request(state, *a.get, TAV_METHOD_GET, "/tav-champ-select/v1/session", {},
                  sessionInput().json.size());
}

void parseAndWriteRapidJson(benchmark::State& state, const std::string& json) {
    for (auto _ : state) {
        rapidjson::Document document;
        document.Parse(json.c_str(), json.size());
        rapidjson::StringBuffer buffer;
        rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
        document.Accept(writer);
        benchmark::DoNotOptimize(buffer.GetString());
    }
    countBytes(state, json.size());
}

void patchRapidJson(benchmark::State& state) {
    parseAndWriteRapidJson(state, kSelectionJson);
}

void getRapidJson(benchmark::State& state) {
    parseAndWriteRapidJson(state, sessionInput().json);
}

// Matching a literal route allocates nothing, neither through operator new nor
// through the framework's functions.
void matchLiteral(benchmark::State& state) {
    const Route& route = *api().get->route;
    std::uint64_t allocations = 0;
    for (auto _ : state) {
        const std::uint64_t before = heapBlocks();
        MatchRecord match;
        match.method = TAV_METHOD_GET;
        match.path = "/tav-champ-select/v1/session";
        benchmark::DoNotOptimize(findRoute(match, std::span(&route, 1), true));
        allocations += heapBlocks() - before;
    }
    if (allocations != 0) {
        state.SkipWithError("matching a literal route allocated");
    }
}

std::vector<RatioGoal> registerAll() {
    struct Pair {
        const char* name;
        const char* label;
        void (*ours)(benchmark::State&);
        void (*anchor)(benchmark::State&);
        double goal;
    };
    const Pair pairs[] = {
        {"Patch", "request, PATCH my-selection (100 B body)", patchOurs, patchRapidJson, 0.7},
        {"Get", "request, GET session (8 KB answer)", getOurs, getRapidJson, 1.0 / 3},
    };
    std::vector<RatioGoal> goals;
    for (const Pair& pair : pairs) {
        const std::string ours = std::string("Request/") + pair.name + "/tav";
        const std::string anchor = std::string("Request/") + pair.name + "/RapidJSON";
        benchmark::RegisterBenchmark(ours.c_str(), pair.ours)->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(anchor.c_str(), pair.anchor)->Unit(benchmark::kMicrosecond);
        goals.push_back({pair.label, ours, anchor, "RapidJSON parse and write", pair.goal});
    }
    benchmark::RegisterBenchmark("MatchLiteralRoute", matchLiteral);
    return goals;
}

}  // namespace
}  // namespace tav::bench

int main(int argc, char** argv) {
    return tav::bench::runRatioBenchmarks(argc, argv, tav::bench::registerAll);
}
