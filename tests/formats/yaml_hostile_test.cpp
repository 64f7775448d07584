// Input that must not crash or exhaust the host: alias bombs, nesting beyond
// the bound (directly or through aliases), control bytes. Arbitrary and
// truncated texts are fuzz/yaml_fuzz.cpp's.
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "formats/yaml.h"
#include "support/value_dump.h"

namespace adversarial {
namespace {

std::string repeat(std::string_view text, std::size_t count) {
    std::string out;
    out.reserve(text.size() * count);
    for (std::size_t i = 0; i < count; ++i) {
        out += text;
    }
    return out;
}

// "[" + n times item joined by ", " + "]"
std::string flowList(std::string_view item, std::size_t count) {
    std::string out = "[";
    for (std::size_t i = 0; i < count; ++i) {
        out += i == 0 ? "" : ", ";
        out += item;
    }
    return out + "]";
}

std::string nested(std::size_t depth, std::string_view inside = "") {
    return repeat("[", depth) + std::string(inside) + repeat("]", depth);
}

TEST(YamlHostile, BillionLaughsStopsAtTheExpansionBound) {
    std::string text = "a: &a " + flowList("lol", 9) + "\n";
    for (char level = 'b'; level <= 'i'; ++level) {
        const std::string previous = std::string("*") + static_cast<char>(level - 1);
        text += std::string(1, level) + ": &" + level + " " + flowList(previous, 9) + "\n";
    }
    // b to f copy 672,588 values; g's first alias would add 597,871 more.
    EXPECT_EQ(tav::readYaml(text).error(),
              "YAML alias expansion exceeds 1000000 nodes. At line: 7 col: 8");
}

TEST(YamlHostile, ExpansionBoundIsInclusive) {
    const std::string body = "z: &z 0\na: &a " + flowList("0", 9999) +
                             "\nb: " + flowList("*a", 100) + "\n";  // 100 copies of 10,000 values
    const tav::BindingResult exact = tav::readYaml(body);
    ASSERT_TRUE(exact.ok) << exact.error();
    EXPECT_EQ(exact.value.find("b").size(), 100u);
    EXPECT_EQ(exact.value.find("b").elementAt(99).size(), 9999u);
    EXPECT_EQ(tav::readYaml(body + "c: *z\n").error(),
              "YAML alias expansion exceeds 1000000 nodes. At line: 4 col: 4");
}

TEST(YamlHostile, NestingIsBounded) {
    const struct {
        std::string text;
        const char* error;  // null: reads
    } cases[] = {
        {nested(512, "1"), nullptr},
        {nested(513), "YAML nesting exceeds 512 levels. At line: 1 col: 513"},
        {repeat("[", 100000), "YAML nesting exceeds 512 levels. At line: 1 col: 513"},
        {repeat("{a: ", 600), "YAML nesting exceeds 512 levels. At line: 1 col: 2049"},
        {repeat("- ", 600) + "x", "YAML nesting exceeds 512 levels. At line: 1 col: 1025"},
        // A copy counts at the depth where it lands.
        {"a: &a " + nested(511) + "\nb: *a", nullptr},
        {"a: &a " + nested(511) + "\nb: [*a]",
         "YAML nesting exceeds 512 levels. At line: 2 col: 5"},
        {"a: &a " + nested(300) + "\nb: &b " + nested(200, "*a") + "\nc: " + nested(11, "*b"),
         nullptr},
        {"a: &a " + nested(300) + "\nb: &b " + nested(200, "*a") + "\nc: " + nested(12, "*b"),
         "YAML nesting exceeds 512 levels. At line: 3 col: 16"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        const tav::BindingResult result = tav::readYaml(c.text);
        if (c.error == nullptr) {
            EXPECT_TRUE(result.ok) << result.error();
        } else {
            EXPECT_EQ(result.error(), c.error);
        }
    }
}

// Hundreds of anchors deep inside a document share their path prefixes; each
// alias still finds its own node.
TEST(YamlHostile, ManyAnchorsDeepInADocument) {
    constexpr std::size_t kDepth = 100;
    constexpr std::size_t kAnchors = 300;
    std::string inner = "[";
    for (std::size_t i = 0; i < kAnchors; ++i) {
        const std::string n = std::to_string(i);
        inner += (i == 0 ? "" : ", ") + ("&a" + n + " {k: " + n + "}, *a" + n);
    }
    inner += "]";
    const tav::BindingResult result = tav::readYaml(nested(kDepth - 1, inner));
    ASSERT_TRUE(result.ok) << result.error();
    const tav::BindingValue* node = &result.value;
    for (std::size_t i = 1; i < kDepth; ++i) {
        node = &node->elementAt(0);
    }
    ASSERT_EQ(node->size(), 2 * kAnchors);
    EXPECT_EQ(tav::testing::dump(node->elementAt(2 * kAnchors - 1)), "{k: unsigned 299}");
    EXPECT_EQ(tav::testing::dump(node->elementAt(7)), "{k: unsigned 3}");
}

// libyaml reports reader errors by offset and leaves their mark at 0, 0.
TEST(YamlHostile, ControlBytesAreParserErrors) {
    const struct {
        std::string_view text;
        const char* error;
    } cases[] = {
        {{"a: 1\0b: 2", 9},
         "YAML parser error: control characters are not allowed. At line: 0 col: 0"},
        {"a: \xc3", "YAML parser error: incomplete UTF-8 octet sequence. At line: 0 col: 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        EXPECT_EQ(tav::readYaml(c.text).error(), c.error);
    }
}

}  // namespace
}  // namespace adversarial
