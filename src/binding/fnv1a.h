// 32-bit FNV-1a over bytes: the hash of interned strings, field names, type
// ids and the registry's id index.
#pragma once

#include <cstdint>
#include <string_view>

namespace tav::detail {

inline constexpr std::uint32_t kFnvOffsetBasis = 0x811c9dc5u;
inline constexpr std::uint32_t kFnvPrime = 0x01000193u;

constexpr std::uint32_t fnv1a(std::string_view text) noexcept {
    std::uint32_t hash = kFnvOffsetBasis;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= kFnvPrime;
    }
    return hash;
}

}  // namespace tav::detail
