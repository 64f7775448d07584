// JSON text to and from BindingValue trees. readJson parses straight into a
// tree (no intermediate document) and reports syntax errors as a failed
// BindingResult; writeJson prints a tree compactly or indented, enums by name
// when a type registry is at hand.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "binding/binding_result.h"
#include "binding/binding_value.h"

namespace tav {

class BindingTypeRegistry;

// Reads one JSON value. The text ends at its first zero byte, also in the
// variants that carry a length: a body "[1]\0junk" reads as "[1]", exactly as
// its zero-terminated form would. Empty or blank text (and a null pointer) is
// success with an empty value; JSON null reads as an empty value too.
//
// Failure messages are "Error: <text> at offset <n>." with n the byte offset
// from the start of the text, leading blanks included. Members are kept in
// key order, a repeated key merges into the earlier member, and a "\u0000"
// escape ends the string or key it appears in. Arrays and objects nest at
// most kValueTreeMaxDepth deep (value_tree_sink.h); the next opening bracket
// fails with "Error: Nesting too deep. at offset N." (N: that bracket's
// offset). A number that overflows a double fails as too big at its start.
BindingResult readJson(const char* text);
BindingResult readJson(const std::string& text);
BindingResult readJson(std::string_view text);
BindingResult readJson(const char* text, std::size_t length);

// Writes a value as JSON. An empty root writes as "" (an empty element or
// member as null); enums print their enumerator's name when registry knows
// one, else their number; blobs print as base64 strings; NaN and infinities
// print as null. A null or empty newline gives the compact form; any other
// gives the form indented by 4 spaces with newline between lines.
std::string writeJson(const BindingValue& value, const BindingTypeRegistry* registry = nullptr,
                      const char* newline = nullptr);

namespace detail {

// Strings longer than this are escaped by our own code and handed to
// RapidJSON's PrettyWriter (the indented form) whole: it reserves 6 bytes per
// input byte in 32-bit arithmetic, which wraps (and then writes past its
// buffer) from about 700 MB, and on 32-bit targets even a smaller reservation
// can wrap the address. The bound sits far below both; such strings are rare
// enough that the second pass costs nothing that matters.
inline constexpr std::size_t kJsonLongString = std::size_t{1} << 20;

// The text as a quoted JSON string, escaped as the writer escapes: \b \t \n
// \f \r, other bytes below 0x20 as \u00XX, the quotation mark and the
// backslash with a backslash; every other byte unchanged.
std::string quoteJsonString(std::string_view text);

}  // namespace detail

}  // namespace tav
