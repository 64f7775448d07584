// Category codes: the 64-slot table naming each bit of a log mask with a
// three-character code, the process-wide instance of it, and the "#G" text of
// a mask. Registration is lock-free, so it is safe from any thread at any
// time, including while lines are being formatted.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace tav {

class LogCategoryTable {
public:
    static constexpr std::size_t kSlots = 64;
    // Room for the names of a full mask: 64 codes, 63 separators and the zero.
    static constexpr std::size_t kNamesCapacity = kSlots * 4;

    // A table holding the eight predefined codes in slots 0 to 7.
    constexpr LogCategoryTable() = default;
    LogCategoryTable(const LogCategoryTable&) = delete;
    LogCategoryTable& operator=(const LogCategoryTable&) = delete;

    // The mask of `code`'s bit: the existing bit when the code is known,
    // otherwise the next free slot. Only the first three characters count.
    // Returns 0 for a null or empty code and once all 64 slots are taken.
    std::uint64_t Register(const char* code);

    // Writes the code of slot `bit` ("???" when unregistered) into `out`.
    void Code(unsigned bit, char (&out)[4]) const;

    // The codes of the set bits from bit 0 upward joined with ";" (nothing for
    // mask 0), cut to fit `size` and always zero-terminated when size > 0.
    // Returns the characters written.
    std::size_t Names(std::uint64_t mask, char* buffer, std::size_t size) const;

private:
    static constexpr std::uint32_t pack(char a, char b, char c) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) |
               static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8 |
               static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16;
    }
    int find(std::uint32_t packed) const;

    // Each code packed into one word (first character in the low byte, 0 for
    // a free slot), so a reader never sees half a code.
    std::atomic<std::uint32_t> codes_[kSlots] = {
        pack('D', 'B', 'G'), pack('G', 'E', 'N'), pack('X', 'T', 'R'), pack('P', 'R', 'F'),
        pack('M', 'E', 'M'), pack('D', 'S', 'K'), pack('N', 'E', 'T'), pack('T', 'S', 'T')};
    std::atomic<std::uint32_t> lastUsed_{7};
};

// The process-wide table every log line is named from, reached only through
// these. The loader registers "LOC" at load, which gives it bit 8.
std::uint64_t registerLogCategory(const char* code);
std::size_t logCategoryNames(std::uint64_t mask, char* buffer, std::size_t size);

}  // namespace tav
