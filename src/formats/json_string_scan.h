// The word-at-a-time test that both the JSON reader and the compact writer
// use to find where a string's plain run ends. Private to src/formats.
#pragma once

#include <cstdint>

namespace tav::detail {

// The high bit of each byte of a little-endian word that a JSON string cannot
// hold as it is: a quotation mark, a backslash or a byte below 0x20. Only the
// lowest flagged byte is exact: a borrow carries only past a byte that is
// flagged already.
constexpr std::uint64_t jsonStopBits(std::uint64_t word) noexcept {
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    const std::uint64_t quote = word ^ (kOnes * '"');
    const std::uint64_t backslash = word ^ (kOnes * '\\');
    return (((quote - kOnes) & ~quote) | ((backslash - kOnes) & ~backslash) |
            ((word - kOnes * 0x20) & ~word)) &
           (kOnes * 0x80);
}

}  // namespace tav::detail
