// YAML reading into a BindingValue tree, built from libyaml's event stream.
// Plain scalars resolve to null, numbers and booleans, quoted ones stay text;
// anchors and aliases are expanded by copying; a repeated key's sequence or
// mapping extends the earlier one. One document per text (a later one may
// fill a root the earlier ones left empty); every failure carries its line
// and column. On request it reports where each key and item is written
// (YamlReadOptions). There is no YAML writer.
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

// Where a value of a collection or structure is written, for a caller that
// reports on values the reader accepted (the development host's scenario
// files). Lines and columns count from 1.
struct YamlMark {
    // The number of collections and structures around the value: 1 for a
    // key or item of the root. A mark's parent is the latest mark at depth
    // - 1 (the root at 0).
    std::size_t depth = 0;
    bool isItem = false;
    std::size_t index = 0;  // an item's position
    std::string_view key;   // a member's key, an alias's included
    std::size_t line = 0;   // of the key, or of the item
    std::size_t column = 0;
    std::size_t valueLine = 0;  // where the value starts (for an item: line)
    std::size_t valueColumn = 0;
    std::string_view anchor;  // the value's anchor, if any
    std::string_view alias;   // the anchor an alias value names, if it is one
};

// Receives one mark per key and item in document order (an alias's copy
// brings none of its own: a caller follows `alias` to the anchored value).
// The texts are valid during the call only.
class YamlMarkSink {
public:
    virtual void mark(const YamlMark& mark) = 0;
    // Where libyaml refused the text (its message prints the 0-based mark).
    virtual void parserFailedAt(std::size_t line, std::size_t column) = 0;

protected:
    ~YamlMarkSink() = default;
};

struct YamlReadOptions {
    YamlMarkSink* marks = nullptr;  // null: no marks (the plugin's decoding)
};

// Reads text[0, length); the text need not be zero-terminated.
BindingResult readYaml(const char* text, std::size_t length, const YamlReadOptions& options = {});
BindingResult readYaml(std::string_view text, const YamlReadOptions& options = {});

}  // namespace tav
