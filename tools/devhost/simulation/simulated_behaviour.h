// What a simulated implementation does with a request beyond reading a
// resource: the few changes the front end relies on (the local player's
// selection, hovering and completing actions, trades, the team boost).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <tav/plugin_abi.h>

#include "binding/binding_value.h"
#include "simulation/scenario.h"

namespace tav::devhost {

struct SimulatedAnswer {
    std::uint32_t status = 200;
    bool isError = false;
    std::string message;  // of an error
    BindingValue value;   // empty: no content
};

// Fills a zeroed response record for the module, which owns copies of
// everything it points at until it releases the record.
void fillResponse(TavResponse& response, const SimulatedAnswer& answer);

// Makes answer a refusal with status and message; fillResponse passes on
// no value with it.
void refuse(SimulatedAnswer& answer, std::uint32_t status, std::string message);

// Handles method on path (relative, without query) with the request's
// argument; false when no behaviour applies. Resources it changed are added
// to changed, by relative path.
bool simulateBehaviour(ImplementationState& state, std::string_view method, std::string_view path,
                       const BindingValue& argument, SimulatedAnswer& answer,
                       std::vector<std::string>& changed);

// The timer of a session or the timer resource as it reads elapsedMs after
// it was loaded: each time left (in milliseconds, and in seconds rounded up)
// counts down to 0 unless isInfinite holds it, and internalNowInEpochMs is
// nowEpochMs.
void runTimer(BindingValue& timer, std::int64_t elapsedMs, std::uint64_t nowEpochMs);

}  // namespace tav::devhost
