// Finds the line of a scenario's YAML text that holds a value, by its path of
// keys and list positions, for messages about values the YAML reader accepted
// but the scenario does not. Block style only: a value written in flow style
// ({...} or [...]) is reported at the line of the nearest block-style parent.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tav::devhost {

// A key of a mapping or a position in a sequence.
using YamlPathStep = std::variant<std::string, std::size_t>;

// The 1-based line of the value at path (the line of its key or "-"); the
// line of the deepest step found when the rest is not; 1 for an empty path.
std::size_t yamlLineOf(std::string_view text, const std::vector<YamlPathStep>& path);

}  // namespace tav::devhost
