// The flow section of a scenario: how the simulated implementations play a
// champ select by themselves (its phases' lengths, when the other players
// act, what the local player's lapsed turn does, the trades) and a timeline
// of what the flow does not produce by itself. Times are clock milliseconds
// from the flow's start.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "binding/binding_value.h"
#include "hosting/module_types.h"
#include "simulation/implementation.h"

namespace tav::devhost {

struct TimelineEntry {
    enum class Kind { Set, Fail, Activate, Dodge };
    std::int64_t atMs = 0;
    std::size_t index = 0;  // its place in the timeline as written
    Kind kind = Kind::Dodge;
    // Set and Fail: whose resource or answer; nothing for the active one.
    std::optional<Implementation> implementation;
    std::string path;                        // Set: the resource; Fail: the url
    std::vector<ValuePathStep> member;       // Set: within the resource
    BindingValue value;                      // Set
    std::string method = "GET";              // Fail
    std::uint32_t status = 503;              // Fail
    std::string message;                     // Fail
    std::int64_t forMs = 0;                  // Fail: 0 for good
    std::optional<Implementation> activate;  // Activate; nothing for none
};

struct FlowSettings {
    std::uint64_t seed = 1;
    std::int64_t planningMs = 0;  // 0: straight to the bans
    std::int64_t banTurnMs = 30'000;
    std::int64_t pickTurnMs = 30'000;
    std::int64_t finalizationMs = 30'000;
    std::int64_t gameStartingMs = 5'000;
    // Another player hovers halfway to this and locks at it, into its turn.
    std::int64_t othersActAfterMs = 4'000;
    // When the local player's turn lapses: lock what it hovers (or, for a
    // pick, its intent), or leave its action not completed.
    bool lockIntentOnTimeout = true;
    // In finalization, the player of this cell offers the local player a
    // trade, this long into the phase.
    std::optional<std::int64_t> tradeOfferFromCellId;
    std::int64_t tradeOfferAfterMs = 5'000;
    // How the other players answer the local player's trade requests.
    bool othersAcceptTrades = true;
    std::int64_t tradeAnswerAfterMs = 3'000;
    std::vector<TimelineEntry> timeline;
};

// Reads the flow section into out; the empty text on success, else what is
// wrong, with at set to where (below the section).
std::string readFlowSettings(const BindingValue& value, FlowSettings& out,
                             std::vector<ValuePathStep>& at);

}  // namespace tav::devhost
