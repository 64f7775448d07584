#include <charconv>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/message_pack.h"

namespace tav::testing {

// A compact golden form of a tree with its kinds: ~ empty, true/false, i
// signed, u unsigned, f float, "text" (other bytes as \xNN), x hex blob,
// [a,b] and {key:value}. Shared by the reader tests of this program.
std::string dumpValue(const BindingValue& value) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    switch (value.kind()) {
        case BindingValueKind::Empty:
            return "~";
        case BindingValueKind::Bool:
            return value.asBool() ? "true" : "false";
        case BindingValueKind::Signed:
            return "i" + std::to_string(value.asInt64());
        case BindingValueKind::Unsigned:
            return "u" + std::to_string(value.asUInt64());
        case BindingValueKind::Float: {
            char buffer[32];
            return "f" +
                   std::string(buffer, std::to_chars(buffer, buffer + 32, value.asDouble()).ptr);
        }
        case BindingValueKind::String:
            for (const unsigned char c : value.asString()) {
                out += c >= 0x20 && c < 0x7F && c != '"' && c != '\\'
                           ? std::string(1, static_cast<char>(c))
                           : std::string{'\\', 'x', kHex[c >> 4], kHex[c & 15]};
            }
            return "\"" + out + "\"";
        case BindingValueKind::Blob:
            for (const std::uint8_t byte : value.asBlob()) {
                out += {kHex[byte >> 4], kHex[byte & 15]};
            }
            return "x" + out;
        case BindingValueKind::Collection:
            for (const BindingValue& element : value.elements()) {
                out += (out.empty() ? "" : ",") + dumpValue(element);
            }
            return "[" + out + "]";
        case BindingValueKind::Structure:
            for (const BindingMember& m : value.members()) {
                out += (out.empty() ? "" : ",") + std::string(m.key()) + ":" + dumpValue(m.value());
            }
            return "{" + out + "}";
        default:
            return "?";
    }
}

}  // namespace tav::testing

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Case {
    Bytes bytes;
    std::string expected;  // the dump, or "error: " and the message
    std::uint32_t position;
};

void expectCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        std::string trace;
        for (const std::uint8_t byte : c.bytes) {
            trace += std::to_string(byte) + " ";
        }
        SCOPED_TRACE(trace);
        std::uint32_t position = 12345;
        const tav::BindingResult result = tav::readMessagePack(c.bytes, position);
        EXPECT_EQ(result.ok ? tav::testing::dumpValue(result.value)
                            : "error: " + std::string(result.error()),
                  c.expected);
        EXPECT_EQ(position, c.position);
    }
}

TEST(MessagePackReader, DecodesEveryFamily) {
    expectCases({
        {{}, "~", 0},
        {{0x7F}, "i127", 1},
        {{0xCC, 0x7F}, "u127", 2},
        {{0xFF}, "i-1", 1},
        {{0xD0, 0xFF}, "i-1", 2},
        {{0xD1, 0xFF, 0xFE}, "i-2", 3},
        {{0xD2, 0x80, 0, 0, 0}, "i-2147483648", 5},
        {{0xD3, 0x80, 0, 0, 0, 0, 0, 0, 0}, "i-9223372036854775808", 9},
        {{0xCD, 0x01, 0x00}, "u256", 3},
        {{0xCF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "u18446744073709551615", 9},
        {{0xCA, 0xC0, 0x20, 0x00, 0x00}, "f-2.5", 5},
        {{0xCB, 0x3F, 0xF8, 0, 0, 0, 0, 0, 0}, "f1.5", 9},
        {{0x92, 0xC2, 0xC3}, "[false,true]", 3},
        {{0xA3, 'a', 0x00, 'b'}, "\"a\\x00b\"", 4},
        {{0x93, 0xD9, 0x01, 'a', 0xDA, 0x00, 0x01, 'b', 0xDB, 0, 0, 0, 0x01, 'c'},
         "[\"a\",\"b\",\"c\"]",
         14},
        {{0x93, 0xC4, 0x01, 0xFF, 0xC5, 0x00, 0x00, 0xC6, 0, 0, 0, 0x01, 0x7F}, "[xff,x,x7f]", 13},
        {{0x92, 0xDC, 0x00, 0x01, 0xC0, 0xDD, 0, 0, 0, 0}, "[[~],[]]", 10},
        {{0x92, 0xDE, 0x00, 0x01, 0xA1, 'k', 0x05, 0xDF, 0, 0, 0, 0}, "[{k:i5},{}]", 12},
        // Members iterate in key order, whatever the order on the wire.
        {{0x83, 0xA1, 'b', 0x01, 0xA1, 'a', 0xC0, 0xD9, 0x00, 0x03}, "{:i3,a:~,b:i1}", 10},
    });
}

// Input ending inside a container returns what was read; after the first
// value the caller sees the extra bytes through the position.
TEST(MessagePackReader, StopsAfterTheFirstValueOrAtTheEnd) {
    expectCases({
        {{0x01, 0x02}, "i1", 1},
        {{0x90, 0x01}, "[]", 1},
        {{0x92, 0x01}, "[i1]", 2},
        {{0x82, 0xA1, 'a', 0x01, 0xA1, 'b'}, "{a:i1}", 6},
        {{0xDC, 0x00, 0x03}, "[]", 3},
    });
}

// A later scalar or nil replaces a duplicate key's member, a later map adds
// to it, a later array overwrites it from index 0; a member that already
// holds a container still takes a scalar.
TEST(MessagePackReader, DuplicateKeys) {
    expectCases({
        {{0x82, 0xA1, 'a', 0x01, 0xA1, 'a', 0xC0}, "{a:~}", 7},
        {{0x82, 0xA1, 'a', 0x81, 0xA1, 'x', 0x01, 0xA1, 'a', 0x81, 0xA1, 'y', 0x02},
         "{a:{x:i1,y:i2}}",
         13},
        {{0x82, 0xA1, 'a', 0x93, 0x01, 0x02, 0x03, 0xA1, 'a', 0x91, 0x04}, "{a:[i4,i2,i3]}", 11},
        {{0x82, 0xA1, 'a', 0x91, 0x01, 0xA1, 'a', 0x05}, "{a:i5}", 8},
    });
}

// A bad lead byte or key is reported just after it, a truncated field or
// payload where it would start; the position out says the same.
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
        {{0xCD}, truncated("16-bit", 1), 1},
        {{0x91, 0xCC}, truncated("8-bit", 2), 2},
        {{0xCA, 0x3F}, truncated("32-bit", 1), 1},
        {{0xCB, 0, 0, 0, 0, 0, 0, 0}, truncated("64-bit", 1), 1},
        {{0xDB, 0, 0, 0}, truncated("32-bit", 1), 1},
        {{0x81, 0xD9}, truncated("8-bit", 2), 2},
        {{0xA5, 'a', 'b'}, invalid + ". String of size 5 at position 1 is truncated.", 1},
        {{0x81, 0xDA, 0x01, 0x00, 'a'},
         invalid + ". String of size 256 at position 4 is truncated.",
         4},
        {{0xC4, 0x03, 0x01}, invalid + ". Raw bytes of size 3 at position 2 are truncated.", 2},
    });
}

}  // namespace
