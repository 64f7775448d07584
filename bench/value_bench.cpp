// Speed and memory behaviour of BindingValue: building structures and lists of
// records, deep copy and destruction. Next to the times each benchmark reports,
// per iteration, the general-heap allocations made by the timed work and the
// shape of the tree (members, interned strings, pool pages).
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "binding/binding_page_pool.h"
#include "binding/binding_value.h"
#include "binding/binding_value_context.h"
#include "binding/testing/binding_value_context_probe.h"
#include "diag/allocation.h"

using namespace tav;

namespace {

constexpr int kRecords = 10000;

// Heap allocations and frees made between start and stop, summed over the iterations.
class AllocationMeter {
public:
    void start() { before_ = diag::readAllocationCounters(); }
    void stop() {
        const diag::AllocationCounters after = diag::readAllocationCounters();
        allocations_ += static_cast<double>(after.allocations - before_.allocations);
        bytes_ += static_cast<double>(after.bytesAllocated - before_.bytesAllocated);
        frees_ += static_cast<double>(after.frees - before_.frees);
    }
    void report(benchmark::State& state) const {
        state.counters["heapAllocs"] =
            benchmark::Counter(allocations_, benchmark::Counter::kAvgIterations);
        state.counters["heapBytes"] =
            benchmark::Counter(bytes_, benchmark::Counter::kAvgIterations);
        state.counters["heapFrees"] =
            benchmark::Counter(frees_, benchmark::Counter::kAvgIterations);
    }

private:
    diag::AllocationCounters before_;
    double allocations_ = 0;
    double bytes_ = 0;
    double frees_ = 0;
};

void reportTree(benchmark::State& state, const BindingValue& tree, double members) {
    state.counters["members"] = members;
    state.counters["strings"] =
        static_cast<double>(BindingValueContextProbe::stringCount(*tree.context()));
    state.counters["pages"] =
        static_cast<double>(BindingValueContextProbe::pageCount(*tree.context()));
}

std::vector<std::string> numberedKeys(int count) {
    std::vector<std::string> keys;
    for (int i = 0; i < count; ++i) {
        keys.push_back("field" + std::to_string(i * 7919 % count));  // unsorted
    }
    return keys;
}

// The field names of a list of champion records, with a few repeated values.
const char* const kNames[] = {"Ahri", "Jinx", "Lux", "Garen", "Teemo", "Yasuo", "Sona", "Annie"};

double buildRecords(BindingValue& list) {
    list.makeCollection();
    list.reserve(kRecords);
    for (int i = 0; i < kRecords; ++i) {
        BindingValue& record = list.append();
        record.member("championId").setInt32(i);
        record.member("name").setString(kNames[i % 8]);
        record.member("owned").setBool(i % 3 == 0);
        record.member("price").setDouble(450.0 + i % 5 * 1000);
        BindingValue& roles = record.member("roles");
        roles.element(0).setString("mage");
        roles.element(1).setString("support");
    }
    return 5.0 * kRecords;
}

void BM_StructureDistinctKeys(benchmark::State& state) {
    const std::vector<std::string> keys = numberedKeys(1000);
    AllocationMeter meter;
    double members = 0;
    for (auto _ : state) {
        BindingValue tree;
        meter.start();
        for (std::size_t i = 0; i < keys.size(); ++i) {
            tree.member(keys[i]).setInt64(static_cast<std::int64_t>(i));
        }
        meter.stop();
        members = static_cast<double>(tree.size());
        state.PauseTiming();
        reportTree(state, tree, members);
        tree.reset();
        state.ResumeTiming();
    }
    meter.report(state);
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_StructureDistinctKeys);

// 1000 writes over the same 10 keys: every write after the first ten finds its
// member, and the keys stay interned once.
void BM_StructureRepeatedKeys(benchmark::State& state) {
    const std::vector<std::string> keys = numberedKeys(10);
    AllocationMeter meter;
    for (auto _ : state) {
        BindingValue tree;
        meter.start();
        for (int i = 0; i < 1000; ++i) {
            tree.member(keys[static_cast<std::size_t>(i % 10)]).setInt64(i);
        }
        meter.stop();
        state.PauseTiming();
        reportTree(state, tree, static_cast<double>(tree.size()));
        tree.reset();
        state.ResumeTiming();
    }
    meter.report(state);
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_StructureRepeatedKeys);

void BM_FindByKey(benchmark::State& state) {
    const std::vector<std::string> keys = numberedKeys(1000);
    BindingValue tree;
    for (const std::string& key : keys) {
        tree.member(key).setBool(true);
    }
    AllocationMeter meter;
    meter.start();
    std::size_t hits = 0;
    for (auto _ : state) {
        for (const std::string& key : keys) {
            hits += tree.find(key.c_str()).asBool() ? 1 : 0;
        }
    }
    meter.stop();
    benchmark::DoNotOptimize(hits);
    meter.report(state);
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_FindByKey);

void BM_BuildRecordList(benchmark::State& state) {
    AllocationMeter meter;
    for (auto _ : state) {
        BindingValue list;
        meter.start();
        const double members = buildRecords(list);
        meter.stop();
        state.PauseTiming();
        reportTree(state, list, members);
        list.reset();
        state.ResumeTiming();
    }
    meter.report(state);
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_BuildRecordList)->Unit(benchmark::kMicrosecond);

void BM_CopyRecordList(benchmark::State& state) {
    BindingValue source;
    const double members = buildRecords(source);
    AllocationMeter meter;
    for (auto _ : state) {
        BindingValue copy;
        meter.start();
        copy = source;
        meter.stop();
        state.PauseTiming();
        reportTree(state, copy, members);
        copy.reset();
        state.ResumeTiming();
    }
    meter.report(state);
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_CopyRecordList)->Unit(benchmark::kMicrosecond);

void BM_DestroyRecordList(benchmark::State& state) {
    AllocationMeter meter;
    for (auto _ : state) {
        state.PauseTiming();
        auto* list = new BindingValue();
        buildRecords(*list);
        state.ResumeTiming();
        meter.start();
        delete list;
        meter.stop();
    }
    meter.report(state);
    state.counters["liveBlocksAfter"] =
        static_cast<double>(BindingPagePool::instance().liveBlockCount());
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_DestroyRecordList)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
