// Input that must not crash the host: lengths and counts near 2^32, a length
// one past the bytes left, nesting beyond the bound. Arbitrary and truncated
// bytes are fuzz/message_pack_fuzz.cpp's.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/message_pack.h"
#include "formats/value_tree_sink.h"
#include "support/value_dump.h"

namespace adversarial {
namespace {

using tav::testing::dump;
using Bytes = std::vector<std::uint8_t>;

tav::BindingResult decode(const Bytes& bytes, std::uint32_t& position) {
    return tav::readMessagePack(bytes.data(), static_cast<std::uint32_t>(bytes.size()), position);
}

TEST(MessagePackHostile, LengthsPastTheBytesLeftFailWithoutReading) {
    const std::pair<Bytes, const char*> cases[] = {
        {{0xDB, 0xFF, 0xFF, 0xFF, 0xFF, 'a'},
         "Invalid MessagePack data. String of size 4294967295 at position 5 is truncated."},
        {{0x81, 0xDB, 0xFF, 0xFF, 0xFF, 0xFB},
         "Invalid MessagePack data. String of size 4294967291 at position 6 is truncated."},
        {{0x92, 0x01, 0xC6, 0xFF, 0xFF, 0xFF, 0xFF},
         "Invalid MessagePack data. Raw bytes of size 4294967295 at position 7 are truncated."},
        // One byte short: the bound is exact.
        {{0xA2, 'a'}, "Invalid MessagePack data. String of size 2 at position 1 is truncated."},
        {{0xC4, 0x02, 0x01},
         "Invalid MessagePack data. Raw bytes of size 2 at position 2 are truncated."},
    };
    for (const auto& [bytes, message] : cases) {
        SCOPED_TRACE(message);
        std::uint32_t position = 0;
        EXPECT_EQ(decode(bytes, position).error(), message);
    }
}

// Announced counts cost nothing until their elements arrive, and a map of
// 2^31 pairs or more (2^32 entries or more) keeps its count.
TEST(MessagePackHostile, HugeAnnouncedCountsHoldOnlyWhatArrived) {
    const std::pair<Bytes, const char*> cases[] = {
        {{0xDD, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0xDD, 0xFF, 0xFF, 0xFF, 0xFF, 0x02},
         "[signed 1, [signed 2]]"},
        {{0xDF, 0xFF, 0xFF, 0xFF, 0xFF, 0xA1, 'a', 0x01}, "{a: signed 1}"},
        {{0xDF, 0x80, 0x00, 0x00, 0x01, 0xA1, 'a', 0x01, 0xA1, 'b', 0x02, 0xA1, 'c', 0x03},
         "{a: signed 1, b: signed 2, c: signed 3}"},
    };
    for (const auto& [bytes, expected] : cases) {
        SCOPED_TRACE(expected);
        std::uint32_t position = 0;
        EXPECT_EQ(dump(decode(bytes, position).value), expected);
        EXPECT_EQ(position, bytes.size());
    }
}

// Nesting is bounded: 512 levels decode, the next opening fails right after
// its lead byte, and a megabyte of nested arrays or maps fails just as fast.
TEST(MessagePackHostile, NestingBeyondTheBoundFails) {
    for (const Bytes& level : {Bytes{0x91}, Bytes{0x81, 0xA0}}) {  // arrays, maps
        SCOPED_TRACE(level.size());
        Bytes bytes;
        for (std::size_t i = 0; i < tav::kValueTreeMaxDepth; ++i) {
            bytes.insert(bytes.end(), level.begin(), level.end());
        }
        std::uint32_t position = 0;
        ASSERT_TRUE(decode(bytes, position).ok);

        bytes.insert(bytes.end(), level.begin(), level.end());
        const std::uint32_t lead =
            static_cast<std::uint32_t>(level.size() * tav::kValueTreeMaxDepth);
        EXPECT_EQ(decode(bytes, position).error(), "Invalid MessagePack data at position " +
                                                       std::to_string(lead + 1) +
                                                       ". Nesting exceeds 512 levels.");
        EXPECT_EQ(position, lead + 1);

        bytes.resize(std::size_t{1} << 20, level.front());
        EXPECT_FALSE(decode(bytes, position).ok);
    }
}

}  // namespace
}  // namespace adversarial
