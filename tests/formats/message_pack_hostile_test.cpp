// Input that must not crash the host: truncation at every byte, lengths and
// counts near 2^32, nesting beyond the bound, arbitrary bytes.
#include <cstdint>
#include <random>
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

TEST(MessagePackHostile, LengthsNearTwoToThe32FailWithoutReading) {
    const std::pair<Bytes, const char*> cases[] = {
        {{0xDB, 0xFF, 0xFF, 0xFF, 0xFF, 'a'},
         "Invalid MessagePack data. String of size 4294967295 at position 5 is truncated."},
        {{0x81, 0xDB, 0xFF, 0xFF, 0xFF, 0xFB},
         "Invalid MessagePack data. String of size 4294967291 at position 6 is truncated."},
        {{0x92, 0x01, 0xC6, 0xFF, 0xFF, 0xFF, 0xFF},
         "Invalid MessagePack data. Raw bytes of size 4294967295 at position 7 are truncated."},
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

// Every prefix of a document either reads as far as it goes or fails with a
// truncation message; none reads past its end (the sanitizer build checks).
TEST(MessagePackHostile, EveryPrefixOfADocumentIsHandled) {
    const Bytes document = {
        0x86, 0xA1, 'a',  0x93, 0xCC, 0x80, 0xD1, 0xFF, 0x00, 0xCB, 0x40, 0x09, 0x21,
        0xFB, 0x54, 0x44, 0x2D, 0x18, 0xA1, 'b',  0xC4, 0x03, 0x01, 0x02, 0x03, 0xD9,
        0x03, 'k',  'e',  'y',  0xDA, 0x00, 0x02, 'h',  'i',  0xA1, 'm',  0xDE, 0x00,
        0x01, 0xA0, 0xDC, 0x00, 0x01, 0xCA, 0x3F, 0x80, 0x00, 0x00, 0xA1, 'n',  0xC0,
        0xA1, 'z',  0xCF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x07,
    };
    std::uint32_t position = 0;
    ASSERT_EQ(dump(decode(document, position).value),
              "{a: [unsigned 128, signed -256, float 3.1415926535897931], b: blob 010203, "
              "key: string \"hi\", m: {: [float 1]}, n: empty, z: unsigned 7}");
    ASSERT_EQ(position, document.size());
    for (std::size_t length = 0; length < document.size(); ++length) {
        SCOPED_TRACE(length);
        const Bytes prefix(document.begin(), document.begin() + length);
        const tav::BindingResult result = decode(prefix, position);
        if (result.ok) {
            EXPECT_EQ(position, length);
        } else {
            EXPECT_NE(result.error().find("truncated."), std::string_view::npos) << result.error();
            EXPECT_LE(position, length);
        }
    }
}

// Nesting is bounded: 512 levels decode, the next opening fails right after
// its lead byte, and a megabyte of nested arrays or maps fails just as fast.
TEST(MessagePackHostile, NestingBeyondTheBoundFails) {
    const struct {
        Bytes level;
        tav::BindingValueKind kind;
    } shapes[] = {{{0x91}, tav::BindingValueKind::Collection},
                  {{0x81, 0xA0}, tav::BindingValueKind::Structure}};
    for (const auto& shape : shapes) {
        SCOPED_TRACE(static_cast<int>(shape.kind));
        Bytes bytes;
        for (std::size_t i = 0; i < tav::kValueTreeMaxDepth; ++i) {
            bytes.insert(bytes.end(), shape.level.begin(), shape.level.end());
        }
        std::uint32_t position = 0;
        tav::BindingResult result = decode(bytes, position);
        ASSERT_TRUE(result.ok) << result.error();
        std::size_t depth = 0;
        for (const tav::BindingValue* node = &result.value; node->size() != 0; ++depth) {
            ASSERT_EQ(node->kind(), shape.kind);
            node = shape.kind == tav::BindingValueKind::Collection
                       ? &node->elements().front()
                       : &node->members().begin()->value();
        }
        EXPECT_EQ(depth, tav::kValueTreeMaxDepth - 1);  // the innermost one is empty

        bytes.insert(bytes.end(), shape.level.begin(), shape.level.end());
        const std::uint32_t lead =
            static_cast<std::uint32_t>(shape.level.size() * tav::kValueTreeMaxDepth);
        EXPECT_EQ(decode(bytes, position).error(), "Invalid MessagePack data at position " +
                                                       std::to_string(lead + 1) +
                                                       ". Nesting exceeds 512 levels.");
        EXPECT_EQ(position, lead + 1);

        bytes.resize(std::size_t{1} << 20, shape.level.front());
        EXPECT_FALSE(decode(bytes, position).ok);
    }
}

// Arbitrary bytes: every outcome is a tree or one of the decoder's messages.
TEST(MessagePackHostile, RandomBytesNeverEscapeTheMessages) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> size(0, 48);
    for (int round = 0; round < 20000; ++round) {
        Bytes bytes(static_cast<std::size_t>(size(random)));
        for (std::uint8_t& b : bytes) {
            b = static_cast<std::uint8_t>(byte(random));
        }
        std::uint32_t position = 0;
        const tav::BindingResult result = decode(bytes, position);
        EXPECT_LE(position, bytes.size());
        if (!result.ok) {
            EXPECT_EQ(result.error().rfind("Invalid MessagePack data", 0), 0u) << result.error();
        }
    }
}

}  // namespace
}  // namespace adversarial
