// The module's start and end as the host sees them, through the module file
// and its C entry: Load (the file opened and load_tav_champ_select called),
// Init against a host table of our own (bench_host.h) and Shutdown with the
// file closed, each timed on its own within whole cycles. Before the rounds,
// the memory the module holds by its own statistics (MemoryStats) after Init
// and after 1,000 session Updates, beside the heap's growth as malloc counts it
// from the moment the file is mapped, which adds malloc's own block headers.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <malloc.h>

#include <tav/plugin_abi.h>

#include "bench_host.h"
#include "hostkit/plugin_module.h"
#include "ratio_reporter.h"

namespace tav::bench {
namespace {

constexpr int kSessionEvents = 1000;

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "tav-bench-startup: %s\n", what.c_str());
    std::exit(1);
}

// The module file, opened and its entry called, until destroyed.
class LoadedModule {
public:
    // Maps the file; with `load`, calls its entry too.
    explicit LoadedModule(bool load = true) {
        std::string error;
        if (!module_.open(TAV_PLUGIN_MODULE_PATH, error)) {
            fail("cannot load " + std::string(TAV_PLUGIN_MODULE_PATH) + ": " + error);
        }
        if (load) {
            callEntry();
        }
    }

    void callEntry() {
        const TavLoadRecord& record = module_.callEntry();
        if (record.callbacks == nullptr || record.context == nullptr) {
            fail("the entry refused to load");
        }
    }

    void init(const BenchHost& host) {
        if (!module_.init(host.table(), host.initRecord().hostContext)) {
            fail("Init failed");
        }
    }

    void close() { module_.close(); }

    // Bytes and blocks the module's counters hold: allocated less freed.
    std::pair<std::uint64_t, std::uint64_t> held() const {
        std::uint32_t words[14] = {};
        module_.memoryStats(words);
        const auto counter = [&words](int index) {
            return words[2 * index] | (std::uint64_t{words[2 * index + 1]} << 32);
        };
        return {counter(2) - counter(4), counter(3) - counter(5)};
    }

private:
    hostkit::PluginModule module_;
};

enum class Phase { Load, Init, Shutdown };

// A whole cycle per iteration, the chosen phase timed.
void cycle(benchmark::State& state, Phase timed) {
    using Clock = std::chrono::steady_clock;
    for (auto _ : state) {
        BenchHost host;
        const Clock::time_point start = Clock::now();
        std::optional<LoadedModule> module;
        module.emplace();
        const Clock::time_point loaded = Clock::now();
        module->init(host);
        const Clock::time_point initialised = Clock::now();
        module->close();
        const Clock::time_point closed = Clock::now();
        const std::chrono::duration<double> spent = timed == Phase::Load   ? loaded - start
                                                    : timed == Phase::Init ? initialised - loaded
                                                                           : closed - initialised;
        state.SetIterationTime(spent.count());
    }
}

// Signed, so that differences may fall below zero.
double heapInUse() {
    return static_cast<double>(mallinfo2().uordblks);
}

std::string heldText(const char* when, std::pair<std::uint64_t, std::uint64_t> held, double heap) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "module memory held %-32s %8.1f KB in %6llu blocks (its counters); heap in "
                  "use %+.1f KB",
                  when, static_cast<double>(held.first) / 1e3,
                  static_cast<unsigned long long>(held.second), heap / 1e3);
    return text;
}

// Once, before anything else loads the module: its counters start at zero.
void checkMemory() {
    BenchHost host;
    LoadedModule module(false);
    // After the file is mapped: the loader's records and the C++ runtime's
    // start-up reserve are not the module's growth.
    const double heapBefore = heapInUse();
    module.callEntry();
    checkLines().push_back({heldText("after load:", module.held(), heapInUse() - heapBefore)});
    module.init(host);
    checkLines().push_back({heldText("after Init:", module.held(), heapInUse() - heapBefore)});
    // The event's record is ours, not the module's.
    const double heapAfterInit = heapInUse();
    SessionUpdate update;
    if (!update.bind(host)) {
        fail("the plugin did not subscribe to " + update.eventName());
    }
    const double eventRecord = heapInUse() - heapAfterInit;
    for (int i = 0; i < kSessionEvents; ++i) {
        update.deliver();
    }
    checkLines().push_back({heldText("after 1,000 session Updates:", module.held(),
                                     heapInUse() - heapBefore - eventRecord)});
    if (host.published != 2 * kSessionEvents) {
        fail("the session Updates were not mirrored");
    }
    module.close();
    void* still = dlopen(TAV_PLUGIN_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD);
    checkLines().push_back({still == nullptr ? "the module file is unmapped when closed: each "
                                               "Load opens it afresh"
                                             : "the module file stays mapped when closed: Load "
                                               "times the entry alone after the first"});
    if (still != nullptr) {
        dlclose(still);
    }
}

std::vector<RatioGoal> registerAll() {
    checkMemory();
    const struct {
        const char* name;
        Phase phase;
    } phases[] = {{"Startup/Load", Phase::Load},
                  {"Startup/Init", Phase::Init},
                  {"Startup/Shutdown", Phase::Shutdown}};
    for (const auto& [name, phase] : phases) {
        benchmark::RegisterBenchmark(name,
                                     [phase](benchmark::State& state) { cycle(state, phase); })
            ->UseManualTime()
            ->Unit(benchmark::kMicrosecond);
    }
    return {};
}

}  // namespace
}  // namespace tav::bench

int main(int argc, char** argv) {
    return tav::bench::runRatioBenchmarks(argc, argv, tav::bench::registerAll);
}
