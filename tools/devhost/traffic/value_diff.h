// A readable structural difference of two values: one line per member or
// element that differs, by its path ("body.myTeam[2].championId: recorded 12,
// now 13"), members only one side has named as such.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "binding/binding_value.h"

namespace tav::devhost {

// value as it reads back from its JSON text: what a trace holds of it.
BindingValue asRecorded(const BindingValue& value);

// Appends at most maxLines lines (the last saying how many more there were);
// nothing when the two are equal. path names the root ("body").
void diffValues(const BindingValue& recorded, const BindingValue& now, const std::string& path,
                std::vector<std::string>& lines, std::size_t maxLines = 12);

}  // namespace tav::devhost
