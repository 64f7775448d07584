#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/message_pack.h"
#include "support/value_dump.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Case {
    Bytes bytes;
    std::string expected;  // the dump, or "error: " and the message
    std::uint32_t position;
};

void expectCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.bytes));
        std::uint32_t position = 12345;
        const tav::BindingResult result = tav::readMessagePack(c.bytes, position);
        EXPECT_EQ(
            result.ok ? tav::testing::dump(result.value) : "error: " + std::string(result.error()),
            c.expected);
        EXPECT_EQ(position, c.position);
    }
}

// A map of one key with 31 letters (the longest fixstr, lead byte 0xBF).
Bytes longestFixstrKey() {
    const std::string key = "abcdefghijklmnopqrstuvwxyzABCDE";
    Bytes bytes(key.size() + 3);
    bytes[0] = 0x81;
    bytes[1] = 0xBF;
    std::copy(key.begin(), key.end(), bytes.begin() + 2);
    bytes.back() = 0x01;
    return bytes;
}

TEST(MessagePackReader, DecodesEveryFamily) {
    expectCases({
        {{}, "empty", 0},
        {{0x7F}, "signed 127", 1},
        {{0xCC, 0x7F}, "unsigned 127", 2},
        {{0xFF}, "signed -1", 1},
        {{0xD0, 0xFF}, "signed -1", 2},
        {{0xD1, 0xFF, 0xFE}, "signed -2", 3},
        {{0xD2, 0x80, 0, 0, 0}, "signed -2147483648", 5},
        {{0xD3, 0x80, 0, 0, 0, 0, 0, 0, 0}, "signed -9223372036854775808", 9},
        {{0xCD, 0x01, 0x00}, "unsigned 256", 3},
        {{0xCF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
         "unsigned 18446744073709551615",
         9},
        {{0xCA, 0xC0, 0x20, 0x00, 0x00}, "float -2.5", 5},
        {{0xCB, 0x3F, 0xF8, 0, 0, 0, 0, 0, 0}, "float 1.5", 9},
        {{0x92, 0xC2, 0xC3}, "[false, true]", 3},
        {{0xA3, 'a', 0x00, 'b'}, R"(string "a\x00b")", 4},
        {{0x93, 0xD9, 0x01, 'a', 0xDA, 0x00, 0x01, 'b', 0xDB, 0, 0, 0, 0x01, 'c'},
         R"([string "a", string "b", string "c"])",
         14},
        {{0x93, 0xC4, 0x01, 0xFF, 0xC5, 0x00, 0x00, 0xC6, 0, 0, 0, 0x01, 0x7F},
         "[blob ff, blob, blob 7f]",
         13},
        {{0x92, 0xDC, 0x00, 0x01, 0xC0, 0xDD, 0, 0, 0, 0}, "[[empty], []]", 10},
        {{0x92, 0xDE, 0x00, 0x01, 0xA1, 'k', 0x05, 0xDF, 0, 0, 0, 0}, "[{k: signed 5}, {}]", 12},
        // Members iterate in key order, whatever the order on the wire; keys
        // come in every string family.
        {{0x83, 0xA1, 'b', 0x01, 0xA1, 'a', 0xC0, 0xD9, 0x00, 0x03},
         "{: signed 3, a: empty, b: signed 1}",
         10},
        {longestFixstrKey(), "{abcdefghijklmnopqrstuvwxyzABCDE: signed 1}", 34},
    });
}

// Input ending inside a container returns what was read; after the first
// value the caller sees the extra bytes through the position.
TEST(MessagePackReader, StopsAfterTheFirstValueOrAtTheEnd) {
    expectCases({
        {{0x01, 0x02}, "signed 1", 1},
        {{0x90, 0x01}, "[]", 1},
        {{0x92, 0x01}, "[signed 1]", 2},
        {{0x82, 0xA1, 'a', 0x01, 0xA1, 'b'}, "{a: signed 1}", 6},
        {{0xDC, 0x00, 0x03}, "[]", 3},
    });
}

// A later scalar replaces a repeated key's member, a later map adds to it, a
// later array overwrites it from index 0, and a nil leaves it as it is; a
// member that already holds a container still takes a scalar.
TEST(MessagePackReader, RepeatedKeys) {
    expectCases({
        {{0x82, 0xA1, 'a', 0x01, 0xA1, 'a', 0xC0}, "{a: signed 1}", 7},
        {{0x82, 0xA1, 'a', 0x81, 0xA1, 'x', 0x01, 0xA1, 'a', 0x81, 0xA1, 'y', 0x02},
         "{a: {x: signed 1, y: signed 2}}",
         13},
        {{0x82, 0xA1, 'a', 0x93, 0x01, 0x02, 0x03, 0xA1, 'a', 0x91, 0x04},
         "{a: [signed 4, signed 2, signed 3]}",
         11},
        {{0x82, 0xA1, 'a', 0x91, 0x01, 0xA1, 'a', 0x05}, "{a: signed 5}", 8},
    });
}

// A bad lead byte or key is reported just after it, a truncated field or
// payload where it would start; the position out says the same. Payloads one
// byte short are the hostile test's.
TEST(MessagePackReader, ReportsFailuresWithTheirPosition) {
    const std::string invalid = "error: Invalid MessagePack data";
    const auto truncated = [](const char* width, int at) {
        return "error: Invalid MessagePack data. " + std::string(width) +
               " integer value at position " + std::to_string(at) + " is truncated.";
    };
    expectCases({
        {{0x81, 0x01, 0x02}, invalid + " at position 2. Map keys must be strings.", 2},
        {{0x91, 0x81, 0x90}, invalid + " at position 3. Map keys must be strings.", 3},
        {{0xC1}, invalid + " at position 1.", 1},
        {{0xD4, 0x01, 0x02}, invalid + " at position 1.", 1},
        {{0x92, 0x01, 0xC7, 0x01, 0x01, 0x00}, invalid + " at position 3.", 3},
        {{0xCD, 0x01}, truncated("16-bit", 1), 1},
        {{0x91, 0xCC}, truncated("8-bit", 2), 2},
        {{0xCA, 0x3F}, truncated("32-bit", 1), 1},
        {{0xCB, 0, 0, 0, 0, 0, 0, 0}, truncated("64-bit", 1), 1},
        {{0xDB, 0, 0, 0}, truncated("32-bit", 1), 1},
        {{0x81, 0xD9}, truncated("8-bit", 2), 2},
        {{0x81, 0xDA, 0x01, 0x00, 'a'},
         invalid + ". String of size 256 at position 4 is truncated.",
         4},
    });
}

}  // namespace
