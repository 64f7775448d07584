// One session Update mirrored end to end through the plugin as the host drives
// it, next to RapidJSON parsing and writing the same session JSON in the same
// run. The plugin is loaded through its exported entry and initialised with a
// host table of our own whose publish and log slots only count; the legacy
// implementation reports itself active. Each iteration hands the callback the
// plugin subscribed with a TavHostEvent whose payload is the host value record
// of a 5-versus-5 session: the plugin converts it into a ChampSelectSession,
// logs the session as compact JSON, converts it back and publishes it twice.
// Both report the session JSON's bytes per second, so the ratio is one of
// times per Update; the goal is an Update within three times RapidJSON's
// parse and write.
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

#include "binding/host_value.h"
#include "format_inputs.h"
#include "framework/resource_events.h"
#include "ratio_reporter.h"

namespace tav::bench {
namespace {

constexpr std::string_view kLegacyActive = "/tav-champ-select-legacy/v1/implementation-active";
constexpr const char* kLegacySession = "/tav-champ-select-legacy/v1/session";
constexpr std::string_view kSessionLinePrefix = "/tav-champ-select/v1/session: {";

struct Subscription {
    std::string name;
    TavEventCallback callback = nullptr;
    void* userData = nullptr;
};

// The host's side: a table whose slots count, the subscriptions the plugin
// made, and, while capture is set, the text of the log lines and the names of
// the published events (for the check before timing, never while timed).
struct BenchHost {
    // First member, so that the table pointer the plugin hands back is also
    // the host's.
    TavPluginHost table{};
    std::uint64_t published = 0;
    std::uint64_t okayLines = 0;
    std::uint64_t otherLines = 0;
    bool capture = false;
    std::vector<std::string> capturedLines;
    std::vector<std::string> capturedEvents;
    std::vector<Subscription> subscriptions;

    static BenchHost& self(const TavPluginHost* host) {
        return *reinterpret_cast<BenchHost*>(const_cast<TavPluginHost*>(host));
    }

    BenchHost() {
        static_assert(std::is_standard_layout_v<BenchHost>);
        table.sendRequest = [](const TavPluginHost*, TavResponse* response,
                               const TavRequest* request) {
            // Init's reads: the legacy implementation is active, every other
            // resource answers an empty value (the zeroed record).
            if (request->url != nullptr && std::string_view(request->url) == kLegacyActive) {
                response->value.tag = TAV_HOST_BOOL;
                response->value.payload.boolean = 1;
            }
        };
        table.slot1 = [](const TavPluginHost*, std::uintptr_t, std::uintptr_t) {};
        table.publishEvent = [](const TavPluginHost* host, const TavHostEvent* event) {
            BenchHost& h = self(host);
            ++h.published;
            if (h.capture) {
                h.capturedEvents.emplace_back(event->name != nullptr ? event->name : "");
            }
        };
        table.subscribe = [](const TavPluginHost* host, const char* name, void*,
                             TavEventCallback callback, void* userData, std::uint32_t) {
            self(host).subscriptions.push_back({name, callback, userData});
        };
        table.unsubscribe = [](const TavPluginHost*, const char*, void*) {};
        table.slot5 = [](const TavPluginHost*, std::uintptr_t, std::uintptr_t, std::uintptr_t,
                         std::uint64_t, std::uintptr_t) {};
        table.waitStep = [](const TavPluginHost*) {};
        table.waitLabel = [](const TavPluginHost*, const char*, std::uintptr_t) {};
        table.waitResume = [](const TavPluginHost*) {};
        table.log = [](const TavPluginHost* host, std::int32_t level, const char* message) {
            BenchHost& h = self(host);
            ++(level == 0 ? h.okayLines : h.otherLines);
            if (h.capture) {
                h.capturedLines.emplace_back(message != nullptr ? message : "");
            }
        };
    }
};

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "tav-bench-mirror: %s\n", what.c_str());
    std::exit(1);
}

// The loaded and initialised plugin, the event the host delivers for an
// Update of the legacy session (its payload built once), and the
// subscription that receives it.
struct Mirror {
    BenchHost host;
    TavLoadRecord load{};
    HostValueRecord payload;
    TavHostEvent event{};
    TavEventCallback callback = nullptr;

    Mirror() {
        load.apiMajor = 18;
        load_tav_champ_select(&load);
        if (load.callbacks == nullptr || load.context == nullptr) {
            fail("the plugin did not load");
        }
        const TavInitRecord init{&host.table, reinterpret_cast<void*>(0x5EED)};
        if (load.callbacks->init(load.context, &init) == 0) {
            fail("the plugin did not initialise");
        }

        BindingValue value;
        value.member("uri").setString(kLegacySession);
        value.member("eventType").setString("Update");
        value.member("data") = sessionInput().value;
        if (!valueToHost(nullptr, payload, value)) {
            fail("the session does not make a host value record");
        }

        const std::string name = eventNameForUri(kLegacySession);
        for (const Subscription& s : host.subscriptions) {
            if (s.name == name) {
                event.name = s.name.c_str();
                event.userData = s.userData;
                event.payload = payload.root();
                callback = s.callback;
            }
        }
        if (callback == nullptr) {
            fail("the plugin did not subscribe to " + name);
        }
        check();
    }

    ~Mirror() { load.callbacks->shutdown(load.context); }

    Mirror(const Mirror&) = delete;
    Mirror& operator=(const Mirror&) = delete;

    void deliver() const { callback(&event); }

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
             "RapidJSON parse and write", 1.0 / 3}};
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
