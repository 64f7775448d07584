// Standard base64 (alphabet "A-Za-z0-9+/", "=" padding, no line breaks).
// Decoding is lenient by design: it stops silently at the first "=" or at any
// character outside the alphabet and keeps what it decoded so far.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tav {

std::string base64Encode(const std::uint8_t* bytes, std::size_t count);
std::string base64Encode(std::span<const std::uint8_t> bytes);

std::vector<std::uint8_t> base64Decode(std::string_view text);

}  // namespace tav
