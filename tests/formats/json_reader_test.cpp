#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "formats/json.h"

using namespace tav;

namespace {

// Golden form of a tree: "~" empty, "true"/"false", "i-1" signed, "u1"
// unsigned, "f1.5" float (%.17g), s"text" string (bytes as they are),
// "[a,b]" collection, "{k:v}" structure.
std::string dump(const BindingValue& value) {
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
            char text[32];
            std::snprintf(text, sizeof text, "f%.17g", value.asDouble());
            return text;
        }
        case BindingValueKind::String:
            return "s\"" + std::string(value.asString()) + "\"";
        case BindingValueKind::Collection: {
            std::string out = "[";
            for (const BindingValue& element : value.elements()) {
                out += (out.size() > 1 ? "," : "") + dump(element);
            }
            return out + "]";
        }
        case BindingValueKind::Structure: {
            std::string out = "{";
            for (const BindingMember& member : value.members()) {
                out += (out.size() > 1 ? "," : "") + std::string(member.key()) + ":" +
                       dump(member.value());
            }
            return out + "}";
        }
        default:
            return "?" + std::string(value.kindName());
    }
}

// Reads the text zero-terminated and, from an exact-size heap copy without a
// terminator, bounded by its length; both must agree. Returns the dump on
// success, the message on failure.
std::string read(const std::string& text) {
    const BindingResult terminated = readJson(text.c_str());
    const std::vector<char> copy(text.begin(), text.end());
    const BindingResult bounded = readJson(copy.data(), copy.size());
    EXPECT_EQ(terminated.ok, bounded.ok);
    EXPECT_EQ(terminated.value, bounded.value);
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

TEST(JsonReader, BlankTextReadsAsEmptyValue) {
    for (const char* text : {"", " ", "  \n\n ", "\t\r\n", static_cast<const char*>(nullptr)}) {
        SCOPED_TRACE(testing::PrintToString(text));
        const BindingResult result = readJson(text);
        EXPECT_TRUE(result.ok);
        EXPECT_EQ(result.value.kind(), BindingValueKind::Empty);
    }
}

TEST(JsonReader, NumbersTakeTheNarrowestKind) {
    expectReads({
        {"[1, -1, 1.5, 4294967296, -2147483649, 18446744073709551616]",
         "[u1,i-1,f1.5,u4294967296,i-2147483649,f1.8446744073709552e+19]"},
        {"0", "u0"},
        {"-0", "i0"},
        {"7.0", "f7"},
        {"7e0", "f7"},
        {"-2147483648", "i-2147483648"},
        {"18446744073709551615", "u18446744073709551615"},
        {"-9223372036854775808", "i-9223372036854775808"},
        {"-9223372036854775809", "f-9.2233720368547758e+18"},
        {"1e-99999999999", "f0"},
    });
}

TEST(JsonReader, ReadsScalarsStringsAndContainers) {
    expectReads({
        {"true", "true"},
        {" false ", "false"},
        {"null", "~"},
        {"[null, true]", "[~,true]"},
        {R"({"a": null})", "{a:~}"},
        {R"("a\"b\\c\/d\b\f\n\r\t")", "s\"a\"b\\c/d\b\f\n\r\t\""},
        {R"("\u00e9\u20AC")", "s\"\xC3\xA9\xE2\x82\xAC\""},
        {R"("\ud83d\ude00")", "s\"\xF0\x9F\x98\x80\""},
        // Bytes above 0x7F are taken as they come, valid UTF-8 or not.
        {"\"\xC3\xA9\xFF\"", "s\"\xC3\xA9\xFF\""},
        // An escaped zero ends the string or key it is in.
        {R"("ab\u0000cd")", R"(s"ab")"},
        {R"({"k\u0000x": 1})", "{k:u1}"},
        {"[]", "[]"},
        {"{}", "{}"},
        {R"({"b": [1, {"c": []}], "a": {}})", "{a:{},b:[u1,{c:[]}]}"},
        {R"({"b": 1, "a": 2, "B": 3, "ab": 4})", "{B:u3,a:u2,ab:u4,b:u1}"},
    });
}

TEST(JsonReader, RepeatedKeysMergeIntoTheEarlierMember) {
    expectReads({
        {R"({"a": [1, 2], "a": [3]})", "{a:[u1,u2,u3]}"},
        {R"({"a": {"x": 1}, "a": {"y": 2}})", "{a:{x:u1,y:u2}}"},
        {R"({"a": 1, "a": 2})", "{a:u2}"},
        {R"({"a": [1], "a": 2})", "{a:u2}"},
        {R"({"a": 1, "a": [2]})", "{a:[u2]}"},
        // null takes the slot without touching it.
        {R"({"a": 1, "a": null})", "{a:u1}"},
    });
}

TEST(JsonReader, ErrorsNameTheCodeAndOffset) {
    expectReads({
        {"[1] x", "Error: The document root must not follow by other values. at offset 4."},
        {"01", "Error: The document root must not follow by other values. at offset 1."},
        {"x", "Error: Invalid value. at offset 0."},
        {"  nul", "Error: Invalid value. at offset 5."},
        {"-", "Error: Invalid value. at offset 1."},
        {"[1,]", "Error: Invalid value. at offset 3."},
        {"NaN", "Error: Invalid value. at offset 0."},
        {"{1: 2}", "Error: Missing a name for object member. at offset 1."},
        {R"({"a": 1,})", "Error: Missing a name for object member. at offset 8."},
        // After a missing colon, comma or bracket the offset points just past
        // the offending character (or past the end of the text).
        {R"({"a" 1})", "Error: Missing a colon after a name of object member. at offset 6."},
        {R"({"a")", "Error: Missing a colon after a name of object member. at offset 5."},
        {R"({"a": 1 "b": 2})",
         "Error: Missing a comma or '}' after an object member. at offset 9."},
        {R"({"a": 1)", "Error: Missing a comma or '}' after an object member. at offset 8."},
        {"[1 2]", "Error: Missing a comma or ']' after an array element. at offset 4."},
        {"[1", "Error: Missing a comma or ']' after an array element. at offset 3."},
        {R"("\u12G4")", "Error: Incorrect hex digit after \\u escape in string. at offset 1."},
        {R"(["\ud800"])", "Error: The surrogate pair in string is invalid. at offset 2."},
        {R"("a\x")", "Error: Invalid escape character in string. at offset 2."},
        {"\"a\tb\"", "Error: Invalid escape character in string. at offset 2."},
        {R"("abc)", "Error: Missing a closing quotation mark in string. at offset 4."},
        {"1e400", "Error: Number too big to be stored in double. at offset 0."},
        {"[0, 1" + std::string(400, '0') + "]",
         "Error: Number too big to be stored in double. at offset 4."},
        {"1.", "Error: Miss fraction part in number. at offset 2."},
        {"1e", "Error: Miss exponent in number. at offset 2."},
    });
}

TEST(JsonReader, FailureDiscardsThePartialTree) {
    const BindingResult result = readJson(R"({"a": [1, 2, {"b": "c"}], "d": x})");
    ASSERT_FALSE(result.ok);
    EXPECT_EQ(dump(result.value), R"({error:s"Error: Invalid value. at offset 31."})");
}

TEST(JsonReader, BoundedTextEndsAtItsLengthOrFirstZero) {
    struct BoundedRow {
        std::string_view text;
        std::string expected;
    };
    using namespace std::string_view_literals;
    const BoundedRow rows[] = {
        {"[1] x"sv.substr(0, 3), "[u1]"},
        {"[1,"sv, "Error: Invalid value. at offset 3."},
        // A zero ends the text, as it does for zero-terminated reading.
        {"[1]\0 x"sv, "[u1]"},
        {"\0[1]"sv, "~"},
        {"\"ab\0cd\""sv, "Error: Missing a closing quotation mark in string. at offset 3."},
        {""sv, "~"},
    };
    for (const BoundedRow& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::string(row.text)));
        const std::vector<char> copy(row.text.begin(), row.text.end());
        const BindingResult result = readJson(std::string_view(copy.data(), copy.size()));
        EXPECT_EQ(result.ok ? dump(result.value) : std::string(result.error()), row.expected);
        const BindingResult owned = readJson(std::string(row.text));
        EXPECT_EQ(owned.value, result.value);
    }
}

// Inputs that would crash or exhaust a naive reader: each fails cleanly.
namespace adversarial {

TEST(JsonReaderHostile, DeepNestingStopsAtTheBound) {
    const std::string arrays(100000, '[');
    EXPECT_EQ(read(arrays), "Error: Nesting too deep. at offset 512.");

    std::string objects;
    for (int i = 0; i < 100000; ++i) {
        objects += R"({"a":)";
    }
    EXPECT_EQ(read(objects), "Error: Nesting too deep. at offset 2560.");

    std::string mixed;
    for (int i = 0; i < 50000; ++i) {
        mixed += R"([{"a":)";
    }
    EXPECT_EQ(read(mixed), "Error: Nesting too deep. at offset 1536.");
}

TEST(JsonReaderHostile, NestingUpToTheBoundIsRead) {
    const std::string deepest =
        std::string(kJsonMaxDepth, '[') + "1" + std::string(kJsonMaxDepth, ']');
    const BindingResult result = readJson(deepest);
    ASSERT_TRUE(result.ok) << result.error();
    const BindingValue* value = &result.value;
    std::size_t depth = 0;
    while (value->kind() == BindingValueKind::Collection) {
        ASSERT_EQ(value->size(), 1u);
        value = &value->elements()[0];
        ++depth;
    }
    EXPECT_EQ(depth, kJsonMaxDepth);
    EXPECT_EQ(value->asUInt64(), 1u);

    std::string objects;
    for (std::size_t i = 0; i < kJsonMaxDepth; ++i) {
        objects += R"({"a":)";
    }
    objects += "1" + std::string(kJsonMaxDepth, '}');
    EXPECT_TRUE(readJson(objects).ok);
}

TEST(JsonReaderHostile, EveryTruncationFails) {
    const std::string document =
        R"({"a": [1, -2.5e3, "x\u00e9\"", true, false, null], "b": {"c": "\ud83d\ude00"}})";
    ASSERT_TRUE(readJson(document).ok);
    for (std::size_t length = 1; length < document.size(); ++length) {
        SCOPED_TRACE(document.substr(0, length));
        const std::string message = read(document.substr(0, length));
        unsigned offset = 0;
        char full_stop = 0;
        ASSERT_EQ(std::sscanf(message.c_str() + message.rfind(" at offset "), " at offset %u%c",
                              &offset, &full_stop),
                  2)
            << message;
        EXPECT_EQ(message.rfind("Error: ", 0), 0u);
        EXPECT_EQ(full_stop, '.');
        EXPECT_LE(offset, length + 1);
    }
}

TEST(JsonReaderHostile, RandomBytesNeverCrash) {
    std::mt19937 random(20240611);
    const std::string alphabet = "[]{}\":,.-+eE0123456789tfnrul\\ \n\x01\x80\xff";
    for (int round = 0; round < 2000; ++round) {
        std::string text(random() % 48, ' ');
        for (char& c : text) {
            c = alphabet[random() % alphabet.size()];
        }
        SCOPED_TRACE(text);
        const std::string outcome = read(text);
        EXPECT_FALSE(outcome.empty());
    }
}

}  // namespace adversarial
