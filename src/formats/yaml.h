// YAML reading into a BindingValue tree, built from libyaml's event stream.
// Plain scalars resolve to null, numbers and booleans, quoted ones stay text;
// anchors and aliases are expanded by copying; a repeated key's sequence or
// mapping extends the earlier one. One document per text (a later one may
// fill a root the earlier ones left empty); every failure carries its line
// and column. There is no YAML writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "binding/binding_result.h"

namespace tav {

// Sequences and mappings nest at most kValueTreeMaxDepth deep
// (value_tree_sink.h), alias copies included. Expansion counts every value an
// alias copies, so that a few lines of nested aliases cannot grow into
// gigabytes.
inline constexpr std::uint64_t kYamlMaxAliasNodes = 1'000'000;

// Reads text[0, length); the text need not be zero-terminated.
BindingResult readYaml(const char* text, std::size_t length);
BindingResult readYaml(std::string_view text);

}  // namespace tav
