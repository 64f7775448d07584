// Speed of the wire-format readers and the JSON writer next to the libraries
// a plugin author would otherwise pick ("anchors"), on a champ-select session
// (about 8 KB of JSON) and on an array of sessions (about 1 MB), and JSON
// records whose keys defeat prediction (their figures against today's are
// the check that a miss costs little): RapidJSON's
// Document::Parse and Writer, nlohmann::json's parse and dump, msgpack-c's
// unpack, libyaml's bare event loop (every event parsed and deleted, nothing
// built) and yaml-cpp's Load. Every benchmark reports bytes of its input per
// second; at the end each of our figures is printed as a ratio to its
// anchor, the median of interleaved rounds (ratio_reporter.h).
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>
#include <msgpack.hpp>
#include <nlohmann/json.hpp>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <sys/resource.h>
#include <yaml-cpp/yaml.h>
#include <yaml.h>

#include "binding/binding_page_pool.h"
#include "binding/fnv1a.h"
#include "diag/allocation.h"
#include "format_inputs.h"
#include "formats/json.h"
#include "formats/message_pack.h"
#include "formats/yaml.h"
#include "ratio_reporter.h"

namespace tav::bench {
namespace {

// Flags in front of the command line's, which override them.
using Body = std::function<void(benchmark::State&)>;

void countBytes(benchmark::State& state, std::size_t bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(bytes));
}

long minorFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// Minor page faults of the timed loop per iteration: what a repeated decode
// asks of the kernel.
class FaultCount {
public:
    explicit FaultCount(benchmark::State& state) : state_(state), before_(minorFaults()) {}
    FaultCount(const FaultCount&) = delete;
    FaultCount& operator=(const FaultCount&) = delete;
    ~FaultCount() {
        state_.counters[kFaultsCounter] = benchmark::Counter(
            static_cast<double>(minorFaults() - before_), benchmark::Counter::kAvgIterations);
    }

private:
    benchmark::State& state_;
    long before_;
};

// --- JSON reading: into our tree, a RapidJSON document, a nlohmann::json.

void readJsonOurs(benchmark::State& state, const FormatInput& input) {
    const FaultCount faults(state);
    for (auto _ : state) {
        BindingResult result = readJson(input.json);
        if (!result.ok) {
            state.SkipWithError("readJson failed");
            break;
        }
        benchmark::DoNotOptimize(result);
    }
    countBytes(state, input.json.size());
}

void readJsonRapidJson(benchmark::State& state, const FormatInput& input) {
    const FaultCount faults(state);
    for (auto _ : state) {
        rapidjson::Document document;
        document.Parse(input.json.c_str());
        if (document.HasParseError()) {
            state.SkipWithError("Document::Parse failed");
            break;
        }
        benchmark::DoNotOptimize(document);
    }
    countBytes(state, input.json.size());
}

void readJsonNlohmann(benchmark::State& state, const FormatInput& input) {
    const FaultCount faults(state);
    for (auto _ : state) {
        nlohmann::json document = nlohmann::json::parse(input.json);
        benchmark::DoNotOptimize(document);
    }
    countBytes(state, input.json.size());
}

// --- Compact JSON writing, each from its own tree of the same text. The
// figures count the bytes written.

void writeJsonOurs(benchmark::State& state, const FormatInput& input) {
    std::size_t size = 0;
    for (auto _ : state) {
        const std::string text = writeJson(input.value);
        size = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    countBytes(state, size);
}

void writeJsonRapidJson(benchmark::State& state, const FormatInput& input) {
    rapidjson::Document document;
    document.Parse(input.json.c_str());
    std::size_t size = 0;
    for (auto _ : state) {
        rapidjson::StringBuffer buffer;
        rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
        document.Accept(writer);
        size = buffer.GetSize();
        benchmark::DoNotOptimize(buffer.GetString());
    }
    countBytes(state, size);
}

void writeJsonNlohmann(benchmark::State& state, const FormatInput& input) {
    const nlohmann::json document = nlohmann::json::parse(input.json);
    std::size_t size = 0;
    for (auto _ : state) {
        const std::string text = document.dump();
        size = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    countBytes(state, size);
}

// --- MessagePack reading: into our tree, into msgpack-c's object (whose
// zone copies the strings, as ours does).

void readMessagePackOurs(benchmark::State& state, const FormatInput& input) {
    const std::vector<std::uint8_t>& bytes = input.messagePack;
    const FaultCount faults(state);
    for (auto _ : state) {
        std::uint32_t position = 0;
        BindingResult result =
            readMessagePack(bytes.data(), static_cast<std::uint32_t>(bytes.size()), position);
        if (!result.ok) {
            state.SkipWithError("readMessagePack failed");
            break;
        }
        benchmark::DoNotOptimize(result);
    }
    countBytes(state, bytes.size());
}

void readMessagePackMsgpackC(benchmark::State& state, const FormatInput& input) {
    const auto* bytes = reinterpret_cast<const char*>(input.messagePack.data());
    const FaultCount faults(state);
    for (auto _ : state) {
        msgpack::object_handle handle = msgpack::unpack(bytes, input.messagePack.size());
        benchmark::DoNotOptimize(handle.get());
    }
    countBytes(state, input.messagePack.size());
}

// --- YAML reading: into our tree (built from libyaml's events), libyaml's
// events alone, a yaml-cpp node.

void readYamlOurs(benchmark::State& state, const FormatInput& input) {
    const FaultCount faults(state);
    for (auto _ : state) {
        BindingResult result = readYaml(input.yaml);
        if (!result.ok) {
            state.SkipWithError("readYaml failed");
            break;
        }
        benchmark::DoNotOptimize(result);
    }
    countBytes(state, input.yaml.size());
}

// The least any libyaml-based reader can do: parse every event and delete it.
bool parseYamlEvents(const std::string& text) {
    yaml_parser_t parser;
    if (yaml_parser_initialize(&parser) == 0) {
        return false;
    }
    yaml_parser_set_input_string(&parser, reinterpret_cast<const unsigned char*>(text.data()),
                                 text.size());
    bool ok = true;
    for (bool done = false; !done;) {
        yaml_event_t event;
        if (yaml_parser_parse(&parser, &event) == 0) {
            ok = false;
            break;
        }
        done = event.type == YAML_STREAM_END_EVENT;
        yaml_event_delete(&event);
    }
    yaml_parser_delete(&parser);
    return ok;
}

void readYamlLibyamlEvents(benchmark::State& state, const FormatInput& input) {
    const FaultCount faults(state);
    for (auto _ : state) {
        if (!parseYamlEvents(input.yaml)) {
            state.SkipWithError("libyaml failed");
            break;
        }
    }
    countBytes(state, input.yaml.size());
}

void readYamlYamlCpp(benchmark::State& state, const FormatInput& input) {
    const FaultCount faults(state);
    for (auto _ : state) {
        YAML::Node node = YAML::Load(input.yaml);
        benchmark::DoNotOptimize(node);
    }
    countBytes(state, input.yaml.size());
}

std::string sizeText(std::size_t bytes) {
    char text[32];
    if (bytes >= 1000000) {
        std::snprintf(text, sizeof text, "%.2f MB", static_cast<double>(bytes) / 1e6);
    } else {
        std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(bytes) / 1e3);
    }
    return text;
}

// Registers one group (a format's operation on one input) and its goals:
// the first benchmark is ours, each other one an anchor.
struct Contender {
    std::string name;
    std::string title;  // as the ratio line names it
    void (*body)(benchmark::State&, const FormatInput&);
    double goal;  // for the ratio of ours to this anchor; 0 for none
    double aim = 0;
};

void registerGroup(const std::string& operation, const std::string& inputName,
                   const std::string& label, const FormatInput& input,
                   const std::vector<Contender>& contenders, std::vector<RatioGoal>& goals) {
    std::string ours;
    for (const Contender& contender : contenders) {
        const std::string name = operation + "/" + inputName + "/" + contender.name;
        const auto body = contender.body;
        benchmark::RegisterBenchmark(name.c_str(), [body, &input](benchmark::State& state) {
            body(state, input);
        })->Unit(benchmark::kMicrosecond);
        if (ours.empty()) {
            ours = name;
        } else {
            goals.push_back({label, ours, name, contender.title, contender.goal, contender.aim});
        }
    }
}

// --- Keys built to collide under an unkeyed hash, timed next to random keys
// of the same size: the table's hash must leave a client no way to make
// reading quadratic.

template <class Read>
void readFlood(benchmark::State& state, bool colliding, std::size_t bytes, Read read) {
    const KeyFloodInput& input = keyFloodInput(colliding);
    for (auto _ : state) {
        BindingResult result = read(input);
        if (!result.ok) {
            state.SkipWithError("read failed");
            break;
        }
        benchmark::DoNotOptimize(result);
    }
    countBytes(state, bytes);
}

void registerFlood(std::vector<RatioGoal>& goals) {
    struct FloodBody {
        const char* name;
        const char* label;
        std::size_t (*size)(const KeyFloodInput&);
        BindingResult (*read)(const KeyFloodInput&);
    };
    static const FloodBody bodies[] = {
        {"JsonObject", "json object", [](const KeyFloodInput& in) { return in.jsonObject.size(); },
         [](const KeyFloodInput& in) { return readJson(in.jsonObject); }},
        {"JsonStrings", "json array of strings",
         [](const KeyFloodInput& in) { return in.jsonStrings.size(); },
         [](const KeyFloodInput& in) { return readJson(in.jsonStrings); }},
        {"MessagePackMap", "msgpack map",
         [](const KeyFloodInput& in) { return in.messagePackMap.size(); },
         [](const KeyFloodInput& in) {
             std::uint32_t position = 0;
             return readMessagePack(in.messagePackMap.data(),
                                    static_cast<std::uint32_t>(in.messagePackMap.size()), position);
         }},
    };
    for (const FloodBody& body : bodies) {
        std::string names[2];
        for (const bool colliding : {true, false}) {
            const FloodBody* b = &body;
            std::string& name = names[colliding ? 0 : 1];
            name = std::string("KeyFlood/") + body.name + (colliding ? "/colliding" : "/random");
            benchmark::RegisterBenchmark(name.c_str(), [b, colliding](benchmark::State& state) {
                readFlood(state, colliding, b->size(keyFloodInput(colliding)), b->read);
            })->Unit(benchmark::kMicrosecond);
        }
        const std::string label = std::string("keys colliding under FNV-1a, ") + body.label + " (" +
                                  sizeText(body.size(keyFloodInput(true))) + ")";
        goals.push_back({label, names[0], names[1], "time of random keys", 1.5, 0, true});
    }
}

// --- Memory a decoded tree holds (counted heap bytes plus the pool pages in
// use) next to what a RapidJSON Document's allocator holds for the text.

std::uint64_t heldBytes() {
    return diag::readAllocationCounters().liveBytes() +
           BindingPagePool::instance().livePageCount() * BindingPagePool::kPageSize;
}

// goal: the largest acceptable ratio; 0 for none.
void checkTreeMemory(const std::string& what, const std::string& json, double goal) {
    std::uint64_t ours = 0;
    {
        const std::uint64_t before = heldBytes();
        const BindingResult result = readJson(json);
        ours = heldBytes() - before;
    }
    rapidjson::Document document;
    document.Parse(json.c_str());
    const std::uint64_t anchor = document.GetAllocator().Capacity();
    const double ratio = static_cast<double>(ours) / static_cast<double>(anchor);
    char text[200];
    std::snprintf(text, sizeof text,
                  "memory held, %-30s %6.2fx RapidJSON Document [%.1f vs %.1f MB, %.1fx the "
                  "input]",
                  (what + " (" + sizeText(json.size()) + "):").c_str(), ratio,
                  static_cast<double>(ours) / 1e6, static_cast<double>(anchor) / 1e6,
                  static_cast<double>(ours) / static_cast<double>(json.size()));
    std::string line = text;
    if (goal > 0) {
        std::snprintf(text, sizeof text, " goal <= %.2gx", goal);
        line += text;
    }
    checkLines().push_back({line, goal > 0, goal <= 0 || ratio <= goal});
}

std::vector<RatioGoal> registerAll() {
    std::vector<RatioGoal> goals;
    checkTreeMemory("session", sessionInput().json, 0);
    checkTreeMemory("session array", sessionArrayInput().json, 1.2);
    checkTreeMemory("nested arrays", nestedArraysInput().json, 1.2);
    struct Input {
        const char* name;  // in benchmark names
        const char* what;  // in ratio lines
        const FormatInput* input;
        double jsonGoal;
        double jsonAim;
    };
    // A list of records reads with its keys and trees predicted from the first
    // record's; the aim is to build our tree faster than RapidJSON its
    // Document.
    const Input inputs[] = {{"session", "session", &sessionInput(), 0.7, 0.8},
                            {"sessions", "session array", &sessionArrayInput(), 0.85, 1}};
    for (const auto& [name, description, input, jsonGoal, jsonAim] : inputs) {
        const std::string what = description;
        registerGroup(
            "JsonRead", name, "json read, " + what + " (" + sizeText(input->json.size()) + ")",
            *input,
            {{"tav", "", readJsonOurs, 0},
             {"RapidJSON", "RapidJSON Document::Parse", readJsonRapidJson, jsonGoal, jsonAim},
             {"nlohmann", "nlohmann::json::parse", readJsonNlohmann, 3}},
            goals);
        registerGroup("JsonWrite", name,
                      "json write compact, " + what + " (" + sizeText(input->json.size()) + ")",
                      *input,
                      {{"tav", "", writeJsonOurs, 0},
                       {"RapidJSON", "RapidJSON Writer", writeJsonRapidJson, 1},
                       {"nlohmann", "nlohmann::json::dump", writeJsonNlohmann, 0}},
                      goals);
        registerGroup("MessagePackRead", name,
                      "msgpack read, " + what + " (" + sizeText(input->messagePack.size()) + ")",
                      *input,
                      {{"tav", "", readMessagePackOurs, 0},
                       {"msgpack-c", "msgpack-c unpack", readMessagePackMsgpackC, 0.8, 1}},
                      goals);
        registerGroup("YamlRead", name,
                      "yaml read, " + what + " (" + sizeText(input->yaml.size()) + ")", *input,
                      {{"tav", "", readYamlOurs, 0},
                       {"libyaml-events", "libyaml event loop", readYamlLibyamlEvents, 0.85},
                       {"yaml-cpp", "yaml-cpp YAML::Load", readYamlYamlCpp, 0}},
                      goals);
        // Our reader runs this very loop and builds on it, so the loop's own
        // lead over yaml-cpp bounds ours.
        goals.push_back({.label = "bare libyaml loop (our bound), " + what,
                         .ours = "YamlRead/" + std::string(name) + "/libyaml-events",
                         .anchor = "YamlRead/" + std::string(name) + "/yaml-cpp",
                         .anchorTitle = "yaml-cpp YAML::Load",
                         .oursMeasured = false});
    }
    registerGroup("JsonRead", "nested",
                  "json read, nested arrays (" + sizeText(nestedArraysInput().json.size()) + ")",
                  nestedArraysInput(),
                  {{"tav", "", readJsonOurs, 0},
                   {"RapidJSON", "RapidJSON Document::Parse", readJsonRapidJson, 0.7}},
                  goals);
    for (const bool shuffled : {false, true}) {
        const FormatInput& hostile = hostileShapesInput(shuffled);
        registerGroup("JsonRead", shuffled ? "shuffledKeys" : "otherKeys",
                      std::string("json read, records of ") +
                          (shuffled ? "shuffled keys" : "other keys") + " (" +
                          sizeText(hostile.json.size()) + ")",
                      hostile,
                      {{"tav", "", readJsonOurs, 0},
                       {"RapidJSON", "RapidJSON Document::Parse", readJsonRapidJson, 0}},
                      goals);
    }
    registerFlood(goals);
    return goals;
}

}  // namespace
}  // namespace tav::bench

int main(int argc, char** argv) {
    return tav::bench::runRatioBenchmarks(argc, argv, tav::bench::registerAll);
}
