// One session Update mirrored end to end through the plugin as the host drives
// it, next to RapidJSON parsing and writing the same session JSON in the same
// run. The plugin is loaded through its exported entry and initialised with a
// host table of our own whose publish and log slots only count; the legacy
// implementation reports itself active. Each iteration hands the callback the
// plugin subscribed with a TavHostEvent whose payload is the host value record
// of a 5-versus-5 session: the plugin converts it into a ChampSelectSession,
// logs the session as compact JSON, converts it back and publishes it twice.
// Both report the session JSON's bytes per second, so the ratio is one of
// times per Update; the goal is 0.6x of RapidJSON's parse and write.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <benchmark/benchmark.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <tav/plugin_abi.h>

#include "bench_host.h"
#include "format_inputs.h"
#include "framework/resource_events.h"
#include "ratio_reporter.h"

namespace tav::bench {
namespace {

constexpr std::string_view kSessionLinePrefix = "/tav-champ-select/v1/session: {";

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "tav-bench-mirror: %s\n", what.c_str());
    std::exit(1);
}

// The loaded and initialised plugin and the session Update the host delivers
// to it.
struct Mirror {
    BenchHost host;
    TavLoadRecord load{};
    SessionUpdate update;

    Mirror() {
        load.apiMajor = 18;
        load_tav_champ_select(&load);
        if (load.callbacks == nullptr || load.context == nullptr) {
            fail("the plugin did not load");
        }
        const TavInitRecord init = host.initRecord();
        if (load.callbacks->init(load.context, &init) == 0) {
            fail("the plugin did not initialise");
        }
        if (!update.bind(host)) {
            fail("the plugin did not subscribe to " + update.eventName());
        }
        check();
    }

    ~Mirror() { load.callbacks->shutdown(load.context); }

    Mirror(const Mirror&) = delete;
    Mirror& operator=(const Mirror&) = delete;

    void deliver() const { update.deliver(); }

    // One Update before timing: it must write the OKAY line with the session
    // as JSON and publish twice, or the loop would time something else.
    void check() {
        host.capture = true;
        host.capturedLines.clear();
        host.capturedEvents.clear();
        deliver();
        host.capture = false;
        if (host.capturedLines.size() != 1 ||
            !host.capturedLines[0].starts_with(kSessionLinePrefix) ||
            host.capturedLines[0].size() < sessionInput().json.size() / 2) {
            fail("an Update did not log the session line");
        }
        if (host.capturedEvents !=
            std::vector<std::string>{eventNameForUri("/tav-champ-select/v1/session"),
                                     "OnJsonApiEvent"}) {
            fail("an Update was not published under its two names");
        }
    }
};

Mirror& mirror() {
    static Mirror instance;
    return instance;
}

void countBytes(benchmark::State& state, std::size_t bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(bytes));
}

void updateOurs(benchmark::State& state) {
    Mirror& m = mirror();
    const std::uint64_t publishedBefore = m.host.published;
    const std::uint64_t linesBefore = m.host.okayLines;
    for (auto _ : state) {
        m.deliver();
    }
    const auto iterations = static_cast<std::uint64_t>(state.iterations());
    if (m.host.published - publishedBefore != 2 * iterations ||
        m.host.okayLines - linesBefore != iterations) {
        state.SkipWithError("an Update did not log once and publish twice");
    }
    countBytes(state, sessionInput().json.size());
}

void updateRapidJson(benchmark::State& state) {
    const std::string& json = sessionInput().json;
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

std::vector<RatioGoal> registerAll() {
    char label[64];
    std::snprintf(label, sizeof label, "session Update mirrored (%.1f KB as JSON)",
                  static_cast<double>(sessionInput().json.size()) / 1000);
    benchmark::RegisterBenchmark("Mirror/SessionUpdate/tav", updateOurs)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("Mirror/SessionUpdate/RapidJSON", updateRapidJson)
        ->Unit(benchmark::kMicrosecond);
    return {{label, "Mirror/SessionUpdate/tav", "Mirror/SessionUpdate/RapidJSON",
             "RapidJSON parse and write", 0.6}};
}

}  // namespace
}  // namespace tav::bench

int main(int argc, char** argv) {
    return tav::bench::runRatioBenchmarks(argc, argv, [] {
        // Loaded before timing starts, so that the first repetition does not
        // carry the plugin's start.
        (void)tav::bench::mirror();
        return tav::bench::registerAll();
    });
}
