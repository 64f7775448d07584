// Speed and memory of native/value conversion on the record the plugin
// converts most: a full champ-select session of ten players (five per team)
// with trades, nested pick and ban actions and bans. Every mirrored session
// event converts it to a value; every session answer converts a value into
// it. Next to the time, each benchmark reports per conversion the framework's
// counted allocations (value trees) and every call of the global operator new
// (the native record's strings and vectors), which the framework does not
// count.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "binding/native_conversion.h"
#include "binding/type_registry.h"
#include "counting_new.h"
#include "diag/allocation.h"
#include "plugin/api_types.h"

namespace {

using namespace tav;
using namespace Kelvo::Client::ChampSelect::Api;

// Framework allocations and operator new calls made between start and stop,
// summed over the iterations.
class AllocationMeter {
public:
    void start() {
        before_ = diag::readAllocationCounters();
        newBefore_ = tav::bench::globalNewCalls.load(std::memory_order_relaxed);
    }
    void stop() {
        const diag::AllocationCounters after = diag::readAllocationCounters();
        allocations_ += static_cast<double>(after.allocations - before_.allocations);
        bytes_ += static_cast<double>(after.bytesAllocated - before_.bytesAllocated);
        newCalls_ += static_cast<double>(
            tav::bench::globalNewCalls.load(std::memory_order_relaxed) - newBefore_);
    }
    void report(benchmark::State& state) const {
        state.counters["heapAllocs"] =
            benchmark::Counter(allocations_, benchmark::Counter::kAvgIterations);
        state.counters["heapBytes"] =
            benchmark::Counter(bytes_, benchmark::Counter::kAvgIterations);
        state.counters["newCalls"] =
            benchmark::Counter(newCalls_, benchmark::Counter::kAvgIterations);
    }

private:
    diag::AllocationCounters before_;
    std::uint64_t newBefore_ = 0;
    double allocations_ = 0;
    double bytes_ = 0;
    double newCalls_ = 0;
};

ChampSelectPlayerSelection player(std::int64_t cell, std::int32_t team) {
    ChampSelectPlayerSelection p;
    p.cellId = cell;
    p.displayName = "Summoner number " + std::to_string(cell);
    p.championId = 100 + static_cast<std::int32_t>(cell);
    p.selectedSkinId = p.championId * 1000 + 2;
    p.wardSkinId = 40 + cell;
    p.spell1Id = 4;
    p.spell2Id = cell % 2 == 0 ? 14 : 7;
    p.team = team;
    p.assignedPosition = "utility";
    p.championPickIntent = 0;
    p.playerType = "PLAYER";
    p.summonerId = 2000000000000000 + static_cast<std::uint64_t>(cell);
    return p;
}

BindingValue action(std::int64_t id, std::int64_t actor, const char* type) {
    BindingValue a;
    a.member("id").setInt64(id);
    a.member("actorCellId").setInt64(actor);
    a.member("championId").setInt64(100 + id);
    a.member("type").setString(type);
    a.member("completed").setBool(id < 14);
    a.member("isAllyAction").setBool(actor < 5);
    a.member("isInProgress").setBool(id == 14);
    return a;
}

ChampSelectSession makeSession() {
    ChampSelectSession s;
    s.timer = {29000, 28500, 29, 28, 30000, "BAN_PICK", false, 1700000000000};
    s.chatDetails = {"c1~0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9", "secret"};
    for (std::int64_t cell = 0; cell < 5; ++cell) {
        s.myTeam.push_back(player(cell, 1));
        s.theirTeam.push_back(player(cell + 5, 2));
    }
    for (std::int64_t cell = 1; cell < 5; ++cell) {
        s.trades.push_back(
            {cell, cell,
             cell == 2 ? ChampSelectTradeState::SENT : ChampSelectTradeState::AVAILABLE});
    }
    // One list of ten bans, then five pick turns of two players each.
    BindingValue& bans = s.actions.emplace_back();
    for (std::int64_t i = 0; i < 10; ++i) {
        bans.append() = action(i, i, "ban");
    }
    for (std::int64_t turn = 0; turn < 5; ++turn) {
        BindingValue& picks = s.actions.emplace_back();
        picks.append() = action(10 + 2 * turn, turn, "pick");
        picks.append() = action(11 + 2 * turn, turn + 5, "pick");
    }
    s.bans = {{1, 2, 3, 4, 5}, {6, 7, 8, 9, 10}, 10};
    s.localPlayerCellId = 2;
    s.rerollsRemaining = 1;
    return s;
}

const BindingTypeRegistry& apiRegistry() {
    static BindingTypeRegistry registry;
    static const bool registered = [] {
        registry.reset();
        RegisterApiTypes(registry, "TavChampSelect", {"Plugins", "Plugin tav-champ-select"});
        return true;
    }();
    benchmark::DoNotOptimize(registered);
    return registry;
}

// The session as the plugin holds it: converted from a delegate's value, so
// its action values are compact copies rather than trees built member by
// member (which copy measurably slower).
ChampSelectSession receivedSession(const BindingTypeRegistry& registry) {
    ChampSelectSession session;
    if (!fromValue(session, toValue(makeSession(), registry).value, "<result>", registry).ok) {
        std::abort();
    }
    return session;
}

void BM_SessionToValue(benchmark::State& state) {
    const BindingTypeRegistry& registry = apiRegistry();
    const ChampSelectSession session = receivedSession(registry);
    AllocationMeter meter;
    for (auto _ : state) {
        meter.start();
        BindingResult result = toValue(session, registry);
        meter.stop();
        if (!result.ok) {
            state.SkipWithError("conversion failed");
        }
        benchmark::DoNotOptimize(result);
    }
    meter.report(state);
}
BENCHMARK(BM_SessionToValue)->Unit(benchmark::kMicrosecond);

void BM_SessionFromValue(benchmark::State& state) {
    const BindingTypeRegistry& registry = apiRegistry();
    const BindingResult source = toValue(makeSession(), registry);
    AllocationMeter meter;
    for (auto _ : state) {
        ChampSelectSession session;
        meter.start();
        const BindingResult result = fromValue(session, source.value, "<result>", registry);
        meter.stop();
        if (!result.ok) {
            state.SkipWithError("conversion failed");
        }
        benchmark::DoNotOptimize(session);
    }
    meter.report(state);
}
BENCHMARK(BM_SessionFromValue)->Unit(benchmark::kMicrosecond);

// Both directions, as a forwarded session answer that is then published.
void BM_SessionRoundTrip(benchmark::State& state) {
    const BindingTypeRegistry& registry = apiRegistry();
    const BindingResult source = toValue(makeSession(), registry);
    AllocationMeter meter;
    for (auto _ : state) {
        ChampSelectSession session;
        meter.start();
        const BindingResult in = fromValue(session, source.value, "<result>", registry);
        BindingResult out = toValue(session, registry);
        meter.stop();
        if (!in.ok || !out.ok) {
            state.SkipWithError("conversion failed");
        }
        benchmark::DoNotOptimize(out);
    }
    meter.report(state);
}
BENCHMARK(BM_SessionRoundTrip)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
