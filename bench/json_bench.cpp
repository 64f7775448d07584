// Speed of the JSON reader and writer on a list of records shaped like the
// champ-select session's players: reading builds the tree straight from the
// text, writing goes compact and indented. Each reports bytes of JSON per
// second.
#include <cstdint>
#include <string>

#include <benchmark/benchmark.h>

#include "formats/json.h"

using namespace tav;

namespace {

constexpr int kRecords = 10000;

std::string recordsText() {
    std::string text = "[";
    for (int i = 0; i < kRecords; ++i) {
        text += i == 0 ? "" : ",";
        text += R"({"cellId":)" + std::to_string(i) + R"(,"championId":)" +
                std::to_string(i * 7 % 160) + R"(,"summonerId":)" +
                std::to_string(1000000000000LL + i) +
                R"(,"assignedPosition":"middle","spell1Id":4,"spell2Id":14,)"
                R"("nameVisibilityType":"HIDDEN","ratio":0.)" +
                std::to_string(i % 97) + R"(,"obfuscated":false,"puuid":"a1b2c3d4-)" +
                std::to_string(i) + R"("})";
    }
    return text + "]";
}

const std::string& sampleText() {
    static const std::string text = recordsText();
    return text;
}

void BM_ReadRecords(benchmark::State& state) {
    const std::string& text = sampleText();
    for (auto _ : state) {
        BindingResult result = readJson(text);
        benchmark::DoNotOptimize(result.ok);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ReadRecords)->Unit(benchmark::kMillisecond);

void BM_WriteRecords(benchmark::State& state) {
    const BindingResult tree = readJson(sampleText());
    const char* newline = state.range(0) != 0 ? "\r\n" : nullptr;
    std::size_t size = 0;
    for (auto _ : state) {
        const std::string text = writeJson(tree.value, nullptr, newline);
        size = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}
BENCHMARK(BM_WriteRecords)->Arg(0)->Arg(1)->ArgName("pretty")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
