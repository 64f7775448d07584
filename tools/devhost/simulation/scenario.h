// A scenario: which champ-select implementation is active and, for each of
// the two, its resources and scripted answers. Read from YAML with the
// project's reader; every mistake is reported as "FILE:LINE: what is wrong".
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "binding/binding_value.h"
#include "hosting/module_types.h"
#include "simulation/flow_settings.h"
#include "simulation/implementation.h"

namespace tav::devhost {

// An answer given instead of the simulated one to method and URL (relative to
// the implementation's base, query included): a value, or an error status
// with its message; for the next times requests only, when set. delayMs
// holds the API answer the request was made for (with neither value nor
// status, the simulation's answer is the one held); hang withholds it (the
// module gets an error at once).
struct ScriptedAnswer {
    std::string method;
    std::string url;
    std::optional<std::uint32_t> status;  // set: an error answer
    std::string message;
    BindingValue value;
    std::optional<std::uint32_t> times;  // how many requests it still answers
    std::uint32_t delayMs = 0;
    bool hang = false;
    bool simulated = false;  // only delayMs: what the simulation answers, late
};

// The longest delayMs an answer may have: ten minutes.
inline constexpr std::uint32_t kMaxAnswerDelayMs = 600'000;

struct ImplementationState {
    std::map<std::string, BindingValue> resources;  // by relative path, "v1/session"
    std::vector<ScriptedAnswer> answers;
};

struct Scenario {
    std::optional<Implementation> active;
    std::array<ImplementationState, 2> implementations;
    std::optional<FlowSettings> flow;  // the implementations play by themselves
    // "FILE:LINE: ..." for what the module would ignore silently.
    std::vector<std::string> warnings;
};

bool isKnownResource(std::string_view path);
// The resources a simulated implementation keeps; the empty text when path is
// one, else what is wrong with it or with value.
std::string checkResource(std::string_view path, const BindingValue& value);
// A scripted answer from its value {method, url, value} or {method, url,
// status, message}, with times, delayMs or hang (instead of value or
// status) if wanted; the empty text on success, else what is wrong, and in
// faulty (if given) the key of the member at fault when it is one of those.
std::string readScriptedAnswer(const BindingValue& value, ScriptedAnswer& out,
                               std::string* faulty = nullptr);
// What is wrong with an answer scripted for a URL the module never requests,
// naming those it does; the empty text when it may request it.
std::string checkAnswerUrl(const ScriptedAnswer& answer, const ModuleTypes& types);

// Reads the scenario file at path, its resources checked against the
// module's types; false with "FILE:LINE: what" in error.
bool loadScenario(const std::string& path, const ModuleTypes& types, Scenario& out,
                  std::string& error);
// The same over text, with file naming it in messages.
bool parseScenario(std::string_view text, std::string_view file, const ModuleTypes& types,
                   Scenario& out, std::string& error);

}  // namespace tav::devhost
