// The hash of a context's string table: keyed with a random key drawn once
// per process, so that a client cannot choose keys that share one bucket,
// and reading the text a word at a time. The registry's type ids keep their
// own unkeyed hash (fnv1a.h): they are part of what the host sees.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace tav::detail {

struct StringHashKey {
    std::uint64_t seed;
    std::uint64_t secret;
};

// The key of this process, drawn on first use.
const StringHashKey& stringHashKey() noexcept;

inline std::uint64_t load64(const char* bytes) noexcept {
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

inline std::uint64_t load32(const char* bytes) noexcept {
    std::uint32_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

// Equal texts of up to 16 bytes are compared with two overlapping reads from
// each side instead of a library call.
inline bool sameBytes(const char* a, const char* b, std::size_t length) noexcept {
    if (length >= 8 && length <= 16) {
        return load64(a) == load64(b) && load64(a + length - 8) == load64(b + length - 8);
    }
    if (length >= 4 && length < 8) {
        return load32(a) == load32(b) && load32(a + length - 4) == load32(b + length - 4);
    }
    if (length < 4) {
        for (std::size_t i = 0; i < length; ++i) {
            if (a[i] != b[i]) {
                return false;
            }
        }
        return true;
    }
    return std::memcmp(a, b, length) == 0;
}

#if defined(__SIZEOF_INT128__)

// The 64-bit product of a and b folded to 64 bits (high half xor low half):
// every input bit reaches every output bit.
inline std::uint64_t foldedProduct(std::uint64_t a, std::uint64_t b) noexcept {
    const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
    return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

inline std::uint32_t keyedHash(std::string_view text, const StringHashKey& key) noexcept {
    const char* bytes = text.data();
    const std::size_t length = text.size();
    std::uint64_t state = key.seed ^ foldedProduct(length ^ key.secret, 0x9E3779B97F4A7C15u);
    std::uint64_t a = 0;
    std::uint64_t b = 0;
    if (length <= 16) {
        // Two overlapping reads cover 4 to 16 bytes without a loop.
        if (length >= 4) {
            const std::size_t step = (length >> 3) << 2;
            a = (load32(bytes) << 32) | load32(bytes + step);
            b = (load32(bytes + length - 4) << 32) | load32(bytes + length - 4 - step);
        } else if (length != 0) {
            a = (std::uint64_t{static_cast<unsigned char>(bytes[0])} << 16) |
                (std::uint64_t{static_cast<unsigned char>(bytes[length >> 1])} << 8) |
                static_cast<unsigned char>(bytes[length - 1]);
        }
    } else {
        std::size_t left = length;
        const char* at = bytes;
        while (left > 16) {
            state = foldedProduct(load64(at) ^ key.secret, load64(at + 8) ^ state);
            at += 16;
            left -= 16;
        }
        a = load64(bytes + length - 16);
        b = load64(bytes + length - 8);
    }
    const std::uint64_t mixed = foldedProduct(a ^ key.secret, b ^ state);
    return static_cast<std::uint32_t>(foldedProduct(mixed ^ key.seed, key.secret ^ length));
}

#else

// Where a 64-bit product takes four multiplications (i386), the same design
// on 32-bit words: each product is one instruction there.
inline std::uint32_t foldedProduct(std::uint32_t a, std::uint32_t b) noexcept {
    const std::uint64_t product = std::uint64_t{a} * b;
    return static_cast<std::uint32_t>(product) ^ static_cast<std::uint32_t>(product >> 32);
}

inline std::uint32_t keyedHash(std::string_view text, const StringHashKey& key) noexcept {
    const char* bytes = text.data();
    const auto length = static_cast<std::uint32_t>(text.size());
    const auto seed = static_cast<std::uint32_t>(key.seed);
    const auto secret = static_cast<std::uint32_t>(key.secret);
    const auto secondSecret = static_cast<std::uint32_t>(key.secret >> 32);
    std::uint32_t state = seed ^ foldedProduct(length ^ secret, 0x9E3779B9u);
    std::uint32_t a = 0;
    std::uint32_t b = 0;
    if (text.size() <= 8) {
        // Two overlapping reads cover 4 to 8 bytes without a loop.
        if (length >= 4) {
            a = static_cast<std::uint32_t>(load32(bytes));
            b = static_cast<std::uint32_t>(load32(bytes + length - 4));
        } else if (length != 0) {
            a = (std::uint32_t{static_cast<unsigned char>(bytes[0])} << 16) |
                (std::uint32_t{static_cast<unsigned char>(bytes[length >> 1])} << 8) |
                static_cast<unsigned char>(bytes[length - 1]);
        }
    } else {
        std::size_t left = text.size();
        const char* at = bytes;
        while (left > 8) {
            state =
                foldedProduct(static_cast<std::uint32_t>(load32(at)) ^ secret,
                              static_cast<std::uint32_t>(load32(at + 4)) ^ state ^ secondSecret);
            at += 8;
            left -= 8;
        }
        a = static_cast<std::uint32_t>(load32(bytes + text.size() - 8));
        b = static_cast<std::uint32_t>(load32(bytes + text.size() - 4));
    }
    const std::uint32_t mixed = foldedProduct(a ^ secret, b ^ state);
    return foldedProduct(mixed ^ seed, secondSecret ^ length);
}

#endif

}  // namespace tav::detail
