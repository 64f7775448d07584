// Reading and changing a session value as the simulated implementations
// hold it: numbers as YAML, JSON or the module's records give them, cells by
// id, actions in their turns, and what completing an action does.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "binding/binding_value.h"

namespace tav::devhost {

// Numbers arrive signed or unsigned (YAML, JSON and the module's records
// differ), sometimes as text.
std::optional<std::int64_t> numberOf(const BindingValue& value);
bool hasId(const BindingValue& value, std::string_view key, std::int64_t id);
// The member named key, or null: looking does not add it.
BindingValue* memberOf(BindingValue& value, std::string_view key);
std::span<BindingValue> elementsOf(BindingValue* value);

// The cell of cellId in either team; onMyTeam says which.
BindingValue* cellOf(BindingValue& session, std::int64_t cellId, bool* onMyTeam = nullptr);
// Actions come in turns: a list of lists.
BindingValue* actionOf(BindingValue& session, std::int64_t id);
// The index of the turn that holds action id.
std::optional<std::size_t> turnOf(const BindingValue& session, std::int64_t id);
// A completed ban joins its team's bans; a completed pick sets the cell's
// champion.
void complete(BindingValue& session, BindingValue& action);
// The champions banned or locked in by a pick, which nobody may take again.
std::vector<std::int64_t> takenChampions(const BindingValue& session);

// The id between prefix and suffix of path ("v1/session/actions/" 7 "/complete").
std::optional<std::int64_t> idIn(std::string_view path, std::string_view prefix,
                                 std::string_view suffix);

}  // namespace tav::devhost
