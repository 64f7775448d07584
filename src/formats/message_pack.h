// MessagePack decoding into a BindingValue tree. The decoder is iterative and
// bounds nesting (trees are copied and destroyed recursively later); it
// reports the byte position of every failure and how many bytes it consumed,
// so that callers can reject trailing data. Extension types are not decoded.
// writeMessagePack encodes a tree in the smallest forms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "binding/binding_result.h"
#include "binding/binding_value.h"

namespace tav {

// Decodes one value from bytes[0, length). On return position holds the
// number of bytes consumed: the end of the first complete value, length when
// the input ends inside a container (the containers read so far are returned,
// shorter than announced), or the offset a failure message names. Arrays and
// maps nest at most kValueTreeMaxDepth deep (value_tree_sink.h); opening one
// more fails with "Invalid MessagePack data at position N. Nesting exceeds
// 512 levels." A repeated map key merges a map into the earlier member,
// writes an array over it from index 0, and a nil leaves it as it is.
BindingResult readMessagePack(const std::uint8_t* bytes, std::uint32_t length,
                              std::uint32_t& position);

// The same over a span; positions are 32-bit, so at most the first
// 4294967295 bytes are read.
BindingResult readMessagePack(std::span<const std::uint8_t> bytes, std::uint32_t& position);

// Structures become maps (members in key order), collections arrays, blobs
// bin, enums their number, an empty value nil; numbers take their smallest
// encoding (a non-negative signed number the unsigned one), doubles stay
// 64-bit. A string, blob, collection or structure longer than 4294967295
// throws std::length_error.
std::string writeMessagePack(const BindingValue& value);

}  // namespace tav
