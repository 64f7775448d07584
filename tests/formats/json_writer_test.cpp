#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "binding/type_registry.h"
#include "binding_test_support.h"
#include "formats/json.h"

using namespace tav;
using namespace tav::testing;

namespace {

enum class Shade { Light = 1, Dark = 2 };

BindingValue parsed(const char* text) {
    BindingResult result = readJson(text);
    EXPECT_TRUE(result.ok) << result.error();
    return std::move(result.value);
}

}  // namespace

// An empty root writes nothing, an empty element or member null.
TEST(JsonWriter, WritesEachKindCompactly) {
    EXPECT_EQ(writeJson(BindingValue()), "");
    EXPECT_EQ(writeJson(BindingValue(), nullptr, "\n"), "");
    BindingValue value;
    value.member("b").setUInt32(1);
    value.member("a").setUInt32(2);
    value.member("signed").setInt64(std::numeric_limits<std::int64_t>::min());
    value.member("unsigned").setUInt64(std::numeric_limits<std::uint64_t>::max());
    value.member("yes").setBool(true);
    value.member("no").setBool(false);
    value.member("blob").setBlob(std::vector<std::uint8_t>{'a', 'b', 'c'});
    value.member("none").setBlob(std::vector<std::uint8_t>{});
    value.member("null");
    value.member("list").element(2).setString("x");
    value.member("nested").member("k").makeStructure();
    EXPECT_EQ(writeJson(value),
              R"({"a":2,"b":1,"blob":"YWJj","list":[null,null,"x"],"nested":{"k":{}},)"
              R"("no":false,"none":"","null":null,"signed":-9223372036854775808,)"
              R"("unsigned":18446744073709551615,"yes":true})");
}

// JSON has no NaN or infinities: both forms write null, in a list too, where
// RapidJSON's writer would refuse only after the separator. The finite forms
// are RapidJSON's (below).
TEST(JsonWriter, NonFiniteDoublesWriteNull) {
    const double infinity = std::numeric_limits<double>::infinity();
    for (const double value : {std::numeric_limits<double>::quiet_NaN(), infinity, -infinity}) {
        SCOPED_TRACE(value);
        EXPECT_EQ(writeJson(flt(value)), "null");
        EXPECT_EQ(writeJson(flt(value), nullptr, "\n"), "null");
    }
    const BindingValue values = list({flt(infinity), flt(2.0)});
    EXPECT_EQ(writeJson(values), "[null,2.0]");
    EXPECT_EQ(writeJson(values, nullptr, "\n"), "[\n    null,\n    2.0\n]");
}

TEST(JsonWriter, CompactTextMatchesRapidJsonsWriter) {
    // The one home of escapes and finite doubles. Bytes of each escape class
    // and next to each class's bounds at every position of strings up to two
    // words and a tail long, and all bytes in one string; each as a value and
    // as a key, all in one array so that the output grows in the middle of
    // strings.
    static constexpr char kSamples[] = "\0\b\x1f \x21\"#/[\\]\x7f\x80\xff";
    const std::string_view samples(kSamples, sizeof kSamples - 1);
    std::vector<std::string> strings;
    for (std::size_t length = 0; length <= 17; ++length) {
        std::string plain;
        for (std::size_t i = 0; i < length; ++i) {
            plain += static_cast<char>('a' + (i * 7 + length) % 26);
        }
        strings.push_back(plain);
        for (std::size_t at = 0; at < length; ++at) {
            for (const char sample : samples) {
                strings.push_back(plain);
                strings.back()[at] = sample;
            }
        }
    }
    strings.emplace_back();
    for (int byte = 255; byte >= 0; --byte) {
        strings.back() += static_cast<char>(byte);
    }
    using Limits = std::numeric_limits<double>;

    BindingValue list;
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.StartArray();
    for (const std::string& bytes : strings) {
        const auto length = static_cast<rapidjson::SizeType>(bytes.size());
        list.append().setString(bytes);
        list.append().member(bytes).setString(bytes);
        writer.String(bytes.data(), length);
        writer.StartObject();
        writer.Key(bytes.data(), length);
        writer.String(bytes.data(), length);
        writer.EndObject();

        rapidjson::StringBuffer alone;
        rapidjson::Writer<rapidjson::StringBuffer>(alone).String(bytes.data(), length);
        EXPECT_EQ(writeJson(text(bytes)), alone.GetString());
        EXPECT_EQ(detail::quoteJsonString(bytes), alone.GetString());
    }
    for (const double value : {0.0, -0.0, 1e-7, 1e21, 0.1, -1.0 / 3, 5e-324, Limits::min(),
                               Limits::max(), -Limits::max(), 1.8446744073709552e19}) {
        SCOPED_TRACE(value);
        list.append().setDouble(value);
        writer.Double(value);
        rapidjson::StringBuffer alone;
        rapidjson::Writer<rapidjson::StringBuffer>(alone).Double(value);
        EXPECT_EQ(writeJson(flt(value)), alone.GetString());
    }
    writer.EndArray();
    EXPECT_TRUE(writeJson(list) == buffer.GetString());
}

TEST(JsonWriter, LongStringsKeepTheirEscapesAndSeparators) {
    const std::string pattern = std::string("ab\"\\\n\x01\xC3\xA9", 8);
    const std::string quotedPattern = writeJson(text(pattern));
    const std::string escapedPattern = quotedPattern.substr(1, quotedPattern.size() - 2);
    std::string bytes;
    std::string escaped;
    while (bytes.size() <= detail::kJsonLongString) {
        bytes += pattern;
        escaped += escapedPattern;
    }
    BindingValue value;
    value.member(bytes).setString(bytes);
    value.member("z").setUInt32(1);
    const std::string quoted = "\"" + escaped + "\"";
    EXPECT_TRUE(writeJson(value) == "{" + quoted + ":" + quoted + ",\"z\":1}");
    EXPECT_TRUE(writeJson(value, nullptr, "\n") ==
                "{\n    " + quoted + ": " + quoted + ",\n    \"z\": 1\n}");
}

TEST(JsonWriter, EnumsUseTheRegistryNameWhenThereIsOne) {
    BindingTypeRegistry registry;
    registry.beginStructure("TestShade", sizeof(Shade), staticTypeInfo<Shade>(), true)
        .addEnumerator("Light", 1, "")
        .addEnumerator("Dark", 2, "");
    const StaticTypeInfo* shade = &staticTypeInfo<Shade>();
    const BindingValue value = list({enumValue(2, shade), enumValue(7, shade),
                                     enumValue(-3, nullptr), enumValue(1, &staticTypeInfo<int>())});
    EXPECT_EQ(writeJson(value, &registry), R"(["Dark",7,-3,1])");
    EXPECT_EQ(writeJson(value), "[2,7,-3,1]");
}

TEST(JsonWriter, PrettyFormIndentsByFourAndUsesTheGivenNewline) {
    const BindingValue value = parsed(R"({"b": [1, {"c": [], "d": {}}], "a": "x", "e": [[]]})");
    const std::string golden =
        "{\n"
        "    \"a\": \"x\",\n"
        "    \"b\": [\n"
        "        1,\n"
        "        {\n"
        "            \"c\": [],\n"
        "            \"d\": {}\n"
        "        }\n"
        "    ],\n"
        "    \"e\": [\n"
        "        []\n"
        "    ]\n"
        "}";
    EXPECT_EQ(writeJson(value, nullptr, "\n"), golden);

    std::string crlf;
    for (const char c : golden) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    EXPECT_EQ(writeJson(value, nullptr, "\r\n"), crlf);

    // A newline inside a string is escaped, so it is never replaced.
    EXPECT_EQ(writeJson(parsed(R"(["a\nb"])"), nullptr, "<br>"), "[<br>    \"a\\nb\"<br>]");

    const std::string compact = R"({"a":"x","b":[1,{"c":[],"d":{}}],"e":[[]]})";
    EXPECT_EQ(writeJson(value, nullptr, ""), compact);
    EXPECT_EQ(writeJson(value, nullptr, nullptr), compact);
    EXPECT_EQ(writeJson(flt(1.5), nullptr, "\n"), "1.5");
}
