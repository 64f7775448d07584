// The inputs of the wire-format benchmarks: a champ-select session of ten
// players (trades, pick and ban actions, bans, timer) and an array of such
// sessions, each as JSON (our writer's compact text), MessagePack and block
// YAML. The MessagePack and YAML texts come from small writers here, since
// the formats library only reads those formats.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "binding/binding_value.h"

namespace tav::bench {

// One body in the three formats, and the tree the JSON reads into (plain
// values: enums are names, as on the wire).
struct FormatInput {
    std::string json;
    std::vector<std::uint8_t> messagePack;
    std::string yaml;
    BindingValue value;
};

// A single session of about 8 KB of JSON.
const FormatInput& sessionInput();
// An array of distinct sessions, about 1 MB of JSON.
const FormatInput& sessionArrayInput();

// MessagePack for a value: the smallest encoding of every integer, doubles as
// float 64, enums as their numbers, members in the value's key order.
std::vector<std::uint8_t> encodeMessagePack(const BindingValue& value);

// Block-style YAML for a value: mappings as "key: value" lines, sequences as
// "- item" lines, nested items indented by two spaces. Strings that would
// read back as another kind (numbers, booleans, null) or need escapes are
// double-quoted; everything else is plain.
std::string writeBlockYaml(const BindingValue& value);

}  // namespace tav::bench
