#include "binding/string_hash.h"

#include <chrono>
#include <random>

namespace tav::detail {

namespace {

std::uint64_t randomWord() noexcept {
    std::uint64_t word = 0;
    try {
        std::random_device device;
        word = (std::uint64_t{device()} << 32) ^ device();
    } catch (...) {
        // No source of randomness: the clock and the address space layout
        // below still differ from run to run.
    }
    return word;
}

StringHashKey drawKey() noexcept {
    const auto ticks =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    int local = 0;
    const auto address = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&local));
    StringHashKey key{randomWord() ^ ticks, randomWord() ^ (address * 0x9E3779B97F4A7C15u)};
    // Odd and with both halves populated, so that no multiplier is 0.
    key.secret |= 0x0000000100000001u;
    return key;
}

}  // namespace

const StringHashKey& stringHashKey() noexcept {
    static const StringHashKey key = drawKey();
    return key;
}

}  // namespace tav::detail
