// The logging hot path: one line through the manager's filters, message
// formatting and dispatch to every registered target. The targets only count
// what reaches them, so the figures are the manager's own cost.
#include <cstdint>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "log/console_targets.h"
#include "log/log_manager.h"

using namespace tav;

namespace {

class CountingTarget : public LogTarget {
public:
    CountingTarget() { SetLevel(LogLevel::Okay); }
    ~CountingTarget() override { Unregister(); }
    bool Write(const LogRecord& /*record*/) override {
        ++lines;
        return true;
    }
    std::uint64_t lines = 0;
};

// The manager with only `count` counting targets registered (no console).
class Targets {
public:
    explicit Targets(std::size_t count) {
        LogManager::AddReference();
        LogManager::StdErr()->Unregister();
        LogManager::Debugger()->Unregister();
        for (std::size_t i = 0; i < count; ++i) {
            targets_.push_back(std::make_unique<CountingTarget>());
            targets_.back()->Register();
        }
    }
    ~Targets() {
        targets_.clear();
        LogManager::Release();
    }
    Targets(const Targets&) = delete;
    Targets& operator=(const Targets&) = delete;

private:
    std::vector<std::unique_ptr<CountingTarget>> targets_;
};

void BM_LogLineToTargets(benchmark::State& state) {
    const Targets targets(static_cast<std::size_t>(state.range(0)));
    int n = 0;
    for (auto _ : state) {
        Log(LogLevel::Warn, 1, 0, "value %d, text %s", ++n, "forty-two");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LogLineToTargets)->Arg(1)->Arg(8)->Arg(30);

// A line the manager's filters drop before formatting.
void BM_LogLineFilteredOut(benchmark::State& state) {
    const Targets targets(1);
    for (auto _ : state) {
        Log(LogLevel::Okay, 1, 0, "value %d", 1);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LogLineFilteredOut);

}  // namespace

BENCHMARK_MAIN();
