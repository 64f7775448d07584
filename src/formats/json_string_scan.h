// The word-at-a-time test that both the JSON reader and the compact writer
// use to find where a string's plain run ends. Private to src/formats.
#pragma once

#include <bit>
#include <cstddef>
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

// The index of the lowest flagged byte of bits, which are not zero. A 32-bit
// target counts in halves: its compiler calls a library routine for the
// zeros of a 64-bit word.
constexpr std::size_t firstFlaggedByte(std::uint64_t bits) noexcept {
    if constexpr (sizeof(void*) < sizeof(std::uint64_t)) {
        const auto low = static_cast<std::uint32_t>(bits);
        return low != 0 ? static_cast<std::size_t>(std::countr_zero(low) / 8)
                        : 4 + static_cast<std::size_t>(
                                  std::countr_zero(static_cast<std::uint32_t>(bits >> 32)) / 8);
    } else {
        return static_cast<std::size_t>(std::countr_zero(bits) / 8);
    }
}

}  // namespace tav::detail
