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

// About 1 MB of small JSON arrays nested a few levels deep, holding small
// numbers: the shape that costs a tree the most per input byte. Only the JSON
// text and its tree are filled.
const FormatInput& nestedArraysInput();

// About 1 MB of JSON records of ten keys each, chosen so that no record's
// keys can be predicted from its sibling's: drawn afresh from two hundred
// names for every record, or the same ten in a new order every time. Only
// the JSON text and its tree are filled.
const FormatInput& hostileShapesInput(bool shuffled);

// About 1 MB of distinct 12-character keys in three bodies: a JSON object
// (every key with the value 0), a JSON array of the keys as strings and a
// MessagePack map. Colliding keys all agree in the low 18 bits of their
// FNV-1a hash, as a client would build them against a table that picks its
// buckets from those bits; the others are random.
struct KeyFloodInput {
    std::string jsonObject;
    std::string jsonStrings;
    std::vector<std::uint8_t> messagePackMap;
};
const KeyFloodInput& keyFloodInput(bool colliding);

// MessagePack for a value: the smallest encoding of every integer, doubles as
// float 64, enums as their numbers, members in the value's key order.
std::vector<std::uint8_t> encodeMessagePack(const BindingValue& value);

// Block-style YAML for a value: mappings as "key: value" lines, sequences as
// "- item" lines, nested items indented by two spaces. Strings that would
// read back as another kind (numbers, booleans, null) or need escapes are
// double-quoted; everything else is plain.
std::string writeBlockYaml(const BindingValue& value);

}  // namespace tav::bench
