#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "formats/json.h"
#include "formats/value_tree_sink.h"
#include "support/value_dump.h"

using namespace tav;
using tav::testing::dump;

namespace {

// Reads the text zero-terminated and, from an exact-size heap copy without a
// terminator, bounded by its length; both must agree. Returns the dump on
// success, the message on failure.
std::string read(const std::string& text) {
    const BindingResult terminated = readJson(text.c_str());
    const std::vector<char> copy(text.begin(), text.end());
    const BindingResult bounded = readJson(copy.data(), copy.size());
    EXPECT_EQ(terminated.ok, bounded.ok);
    EXPECT_EQ(terminated.value, bounded.value);
    EXPECT_EQ(terminated.error(), bounded.error());
    return terminated.ok ? dump(terminated.value) : std::string(terminated.error());
}

struct Row {
    std::string text;
    std::string expected;
};

void expectReads(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(read(row.text), row.expected);
    }
}

}  // namespace

TEST(JsonReader, NumbersTakeTheNarrowestKind) {
    expectReads({
        {"[1, -1, 1.5, 4294967296, -2147483649, 18446744073709551616]",
         "[unsigned 1, signed -1, float 1.5, unsigned 4294967296, signed -2147483649, "
         "float 1.8446744073709552e+19]"},
        {"-0", "signed 0"},
        {"[7.0, 7e0, 1e-99999999999]", "[float 7, float 7, float 0]"},
        {"[-2147483648, -9223372036854775808, -9223372036854775809]",
         "[signed -2147483648, signed -9223372036854775808, float -9.2233720368547758e+18]"},
        {"18446744073709551615", "unsigned 18446744073709551615"},
    });
}

TEST(JsonReader, ReadsScalarsStringsAndContainers) {
    expectReads({
        {"", "empty"},
        {"  \n\t\r\n ", "empty"},
        {" false ", "false"},
        {"null", "empty"},
        {"[null, true]", "[empty, true]"},
        {R"({"a": null})", "{a: empty}"},
        {R"("a\"b\\c\/d\b\f\n\r\t")", R"(string "a"b\c/d\x08\x0c\x0a\x0d\x09")"},
        {R"("\u00e9\u20AC\ud83d\ude00")", "string \"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\""},
        // Bytes above 0x7F are taken as they come, valid UTF-8 or not.
        {"\"\xC3\xA9\xFF\"", "string \"\xC3\xA9\xFF\""},
        // An escaped zero ends the string or key it is in.
        {R"(["ab\u0000cd", {"k\u0000x": 1}])", R"([string "ab", {k: unsigned 1}])"},
        {R"(["\u0000ab", "abcdefghijklmnop\u0000q"])", R"([string "", string "abcdefghijklmnop"])"},
        {R"({"b": [1, {"c": []}], "a": {}})", "{a: {}, b: [unsigned 1, {c: []}]}"},
        // A zero ends the text, bounded by its length or not.
        {std::string("[1]\0 x", 6), "[unsigned 1]"},
        {std::string("\0[1]", 4), "empty"},
        {std::string("\"ab\0cd\"", 7),
         "Error: Missing a closing quotation mark in string. at offset 3."},
        {R"({"b": 1, "a": 2, "B": 3, "ab": 4})",
         "{B: unsigned 3, a: unsigned 2, ab: unsigned 4, b: unsigned 1}"},
    });
}

// Plain runs of strings and keys are scanned in blocks of bytes: the byte
// that ends a run must be found wherever it falls in a block.
TEST(JsonReader, StringsEndWhereverTheirLastPlainByteFalls) {
    const std::string filler = "abcdefgh\xC3\xA9ijklmnopqrstuvw";
    for (std::size_t length = 0; length <= 20; ++length) {
        const std::string plain = filler.substr(0, length);
        const std::string at = std::to_string(length + 1);
        expectReads({
            {'"' + plain + '"', "string \"" + plain + '"'},
            {"{\"" + plain + "x\": 1}", "{" + plain + "x: unsigned 1}"},
            {'"' + plain + "\\nxyz\"", "string \"" + plain + "\\x0axyz\""},
            {'"' + plain + "\x01\"",
             "Error: Invalid escape character in string. at offset " + at + "."},
            {'"' + plain,
             "Error: Missing a closing quotation mark in string. at offset " + at + "."},
        });
    }
}

TEST(JsonReader, RepeatedKeysMergeIntoTheEarlierMember) {
    expectReads({
        {R"({"a": [1, 2], "a": [3]})", "{a: [unsigned 1, unsigned 2, unsigned 3]}"},
        {R"({"a": {"x": 1}, "a": {"y": 2}})", "{a: {x: unsigned 1, y: unsigned 2}}"},
        {R"({"a": [1], "a": 2})", "{a: unsigned 2}"},
        {R"({"a": 1, "a": [2]})", "{a: [unsigned 2]}"},
        {R"({"a": [], "a": [1, [2]]})", "{a: [unsigned 1, [unsigned 2]]}"},
        {R"({"a": [[1]], "a": [[2], 3]})", "{a: [[unsigned 1], [unsigned 2], unsigned 3]}"},
        // null takes the slot without touching it.
        {R"({"a": 1, "a": null})", "{a: unsigned 1}"},
    });
}

// An array's elements wait on a stack until it closes, arrays open inside it
// among them, and move into a block of their exact number: every size around
// the small-block bound and the stack's growth, nested inside such arrays,
// must come out whole and in order.
TEST(JsonReader, ArraysOfEverySizeComeOutWholeAndInOrder) {
    for (const std::size_t size : {0, 1, 3, 4, 5, 63, 64, 65, 200}) {
        SCOPED_TRACE(size);
        std::string text = R"([{"k": [)";
        std::string expected = "[{k: [";
        for (std::size_t i = 0; i < size; ++i) {
            const std::string n = std::to_string(i);
            text += (i == 0 ? "" : ",") + (i % 3 == 0 ? "[" + n + R"(, "s"])" : n);
            expected += (i == 0 ? "" : ", ") +
                        (i % 3 == 0 ? "[unsigned " + n + ", string \"s\"]" : "unsigned " + n);
        }
        EXPECT_EQ(read(text + "]}, [[[]]], []]"), expected + "]}, [[[]]], []]");
    }
}

TEST(JsonReader, ErrorsNameTheCodeAndOffset) {
    expectReads({
        {"[1] x", "Error: The document root must not follow by other values. at offset 4."},
        {"  nul", "Error: Invalid value. at offset 5."},
        {"[1,]", "Error: Invalid value. at offset 3."},
        {"[1,", "Error: Invalid value. at offset 3."},
        {"NaN", "Error: Invalid value. at offset 0."},
        {R"({"a": 1,})", "Error: Missing a name for object member. at offset 8."},
        // After a missing colon, comma or bracket the offset points just past
        // the offending character (or past the end of the text).
        {R"({"a" 1})", "Error: Missing a colon after a name of object member. at offset 6."},
        {R"({"a": 1 "b": 2})",
         "Error: Missing a comma or '}' after an object member. at offset 9."},
        {"[1", "Error: Missing a comma or ']' after an array element. at offset 3."},
        {R"("\u12G4")", "Error: Incorrect hex digit after \\u escape in string. at offset 1."},
        {R"(["\ud800"])", "Error: The surrogate pair in string is invalid. at offset 2."},
        {"\"a\tb\"", "Error: Invalid escape character in string. at offset 2."},
        {R"("abc)", "Error: Missing a closing quotation mark in string. at offset 4."},
        {"1e400", "Error: Number too big to be stored in double. at offset 0."},
        {"[0, 1" + std::string(400, '0') + "]",
         "Error: Number too big to be stored in double. at offset 4."},
        // Numbers that pass the exponent test but overflow the double.
        {"[1, 10e308]", "Error: Number too big to be stored in double. at offset 4."},
        {R"({"a": -2e308})", "Error: Number too big to be stored in double. at offset 6."},
        {"1.", "Error: Miss fraction part in number. at offset 2."},
        {"1e", "Error: Miss exponent in number. at offset 2."},
    });
}

TEST(JsonReader, FailureDiscardsThePartialTree) {
    // The second stops inside open arrays whose elements hold strings and
    // structures not yet moved into them.
    for (const auto& [text, error] : {
             std::pair{R"({"a": [1, 2, {"b": "c"}], "d": x})", "Invalid value. at offset 31."},
             std::pair{R"([1, ["s", {"b": ["c", [x]]}]])", "Invalid value. at offset 23."},
         }) {
        const BindingResult result = readJson(text);
        ASSERT_FALSE(result.ok);
        EXPECT_EQ(dump(result.value), std::string(R"({error: string "Error: )") + error + R"("})");
    }
}

TEST(JsonReader, NullTextReadsAsEmpty) {
    const BindingResult none = readJson(static_cast<const char*>(nullptr));
    EXPECT_TRUE(none.ok);
    EXPECT_EQ(none.value.kind(), BindingValueKind::Empty);
}

// Nesting that would exhaust a naive reader's stack fails at the bound.
// Random and truncated bytes are fuzz/json_fuzz.cpp's.
namespace adversarial {
namespace {

std::string repeat(std::string_view text, std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i) {
        out += text;
    }
    return out;
}

TEST(JsonReaderHostile, NestingIsBounded) {
    constexpr std::size_t kMax = kValueTreeMaxDepth;
    expectReads({
        {repeat("[", kMax) + "1" + repeat("]", kMax),
         repeat("[", kMax) + "unsigned 1" + repeat("]", kMax)},
        {repeat(R"({"a":)", kMax) + "1" + repeat("}", kMax),
         repeat("{a: ", kMax) + "unsigned 1" + repeat("}", kMax)},
        {repeat("[", 100000), "Error: Nesting too deep. at offset 512."},
        {repeat(R"({"a":)", 100000), "Error: Nesting too deep. at offset 2560."},
        {repeat(R"([{"a":)", 50000), "Error: Nesting too deep. at offset 1536."},
    });
}

}  // namespace
}  // namespace adversarial
