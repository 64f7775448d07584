// Small string operations shared by the formats and the dispatcher: split on
// a separator, replace every occurrence, lower-case copy, prefix test without
// case, leading spaces, lower-case hexadecimal.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tav {

// Every piece between separators, empty ones included: "a&&b" on "&" gives
// "a", "" and "b"; "a&" gives "a" and "". A text without the separator, or an
// empty separator, gives the text itself.
std::vector<std::string> split(std::string_view text, std::string_view separator);

// Replaces non-overlapping occurrences left to right in one pass; the
// replacement is never searched again. An empty `from` changes nothing.
std::string replaceAll(std::string_view text, std::string_view from, std::string_view to);

// Each byte through the C library's tolower.
std::string toLowerCopy(std::string_view text);

// Whether text begins with prefix, ASCII letters compared without case (the C
// locale's rule, without a library call per byte: content types are compared
// on every request).
bool startsWithIgnoringCase(std::string_view text, std::string_view prefix);

// The text from its first character other than a space (tabs and line breaks
// are not skipped); empty when there is none.
std::string_view afterSpaces(std::string_view text);

// Two lower-case hexadecimal digits per byte.
std::string lowerHex(std::span<const std::uint8_t> bytes);

}  // namespace tav
