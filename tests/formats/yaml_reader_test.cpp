#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "formats/yaml.h"
#include "support/value_dump.h"

namespace {

// The tree's golden dump, or "error: " and the message.
std::string read(std::string_view text) {
    const tav::BindingResult result = tav::readYaml(text);
    if (!result.ok) {
        return "error: " + std::string(result.error());
    }
    return tav::testing::dump(result.value);
}

struct Case {
    std::string_view text;
    const char* expected;
};

void expectCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(read(c.text), c.expected);
    }
}

TEST(YamlReader, ResolvesScalars) {
    expectCases({
        {"", "empty"},
        {"---\n", "empty"},
        {"[~, null, Null, NULL, nULL, '~', \"\"]",
         R"([empty, empty, empty, empty, string "nULL", string "~", string ""])"},
        {"a: 1\nb: -2\nc: 2.5\nd: true\ne: 'true'\nf: yes",
         R"({a: unsigned 1, b: signed -2, c: float 2.5, d: true, e: string "true", )"
         R"(f: string "yes"})"},
        {"[True, TRUE, False, FALSE, tRUE, on, \"1\"]",
         R"([true, true, false, false, string "tRUE", string "on", string "1"])"},
        {"[12, 1e3, 3.0, -4, 2.5, +5, .5, -0, 0x1A, -0x10, 007, 0x, 1_000]",
         "[unsigned 12, unsigned 1000, unsigned 3, signed -4, float 2.5, unsigned 5, float 0.5, "
         R"(unsigned 0, unsigned 26, signed -16, unsigned 7, string "0x", string "1_000"])"},
        {"[nan, inf, Infinity, .inf, -inf]",
         R"([float nan, string "inf", string "Infinity", string ".inf", float -inf])"},
        // Integer texts are read exactly, not through a double.
        {"[9007199254740993, 18446744073709551615, -9223372036854775808]",
         "[unsigned 9007199254740993, unsigned 18446744073709551615, "
         "signed -9223372036854775808]"},
        // Integral values beyond the 64-bit ranges stay floating point; an
        // underflow to zero is integral; overflow to +infinity is not a
        // number at all.
        {"[18446744073709551616, -9223372036854775809, 1e30, 1e-400, -1e-400, 1e400, -1e400]",
         "[float 1.8446744073709552e+19, float -9.2233720368547758e+18, float 1e+30, "
         R"(unsigned 0, unsigned 0, string "1e400", float -inf])"},
        // Literal and folded scalars are unquoted; their line break is text.
        {"a: |-\n  12\nb: |\n  12\nc: >-\n  true\nd: \"x\\0y\"",
         R"({a: unsigned 12, b: string "12\x0a", c: true, d: string "x\x00y"})"},
        {"[!!int -3, !!int 0x10, !!int '', !!str 5, !!str, !!float 1, !!bool yes, !!bool TRUE]",
         R"([signed -3, unsigned 16, unsigned 0, string "5", string "", float 1, empty, true])"},
        {"!!int 1.5", "error: Value 1.5 for 'yaml' of type uint64_t is in an incorrect format"},
        {"!!int -99999999999999999999",
         "error: Value -99999999999999999999 for 'yaml' of type int64_t is out of range"},
        {"!!float 1e999", "error: Value 1e999 for 'yaml' of type double is out of range"},
        {"!!binary aGk=", "error: Unsupported YAML tag 'tag:yaml.org,2002:binary'."},
        {"a: !custom x", "error: Unsupported YAML tag '!custom'."},
    });
}

TEST(YamlReader, BuildsSequencesAndMappings) {
    expectCases({
        {"b: 1\na: [x, {c: d}]\n'': empty key\n",
         R"({: string "empty key", a: [string "x", {c: string "d"}], b: unsigned 1})"},
        {"- - 1\n  - 2\n- k: v\n  l:\n    - ~\n",
         R"([[unsigned 1, unsigned 2], {k: string "v", l: [empty]}])"},
        {"? complex\n: 1\n!!str 2: two\n'3': three\n~: null key",
         R"({2: string "two", 3: string "three", complex: unsigned 1, ~: string "null key"})"},
        {"[[], {}, a: 1]", "[[], {}, {a: unsigned 1}]"},
        // A repeated key's sequence or mapping extends the earlier one, a
        // scalar replaces it; a !!bool tag on another word leaves it alone.
        {"a: [1, 2]\na: [3]\nb: {x: 1}\nb: {y: 2}\nc: 1\nc: [2]\nd: [1]\nd: !!bool maybe",
         "{a: [unsigned 1, unsigned 2, unsigned 3], b: {x: unsigned 1, y: unsigned 2}, "
         "c: [unsigned 2], d: [unsigned 1]}"},
        {"a: {x: [1]}\na: {x: [2], y: 3}", "{a: {x: [unsigned 1, unsigned 2], y: unsigned 3}}"},
        // A later document may fill a root the earlier ones left empty.
        {"~\n---\nb: 2", "{b: unsigned 2}"},
        {"---\n--- !!bool maybe\n---\n[1]", "[unsigned 1]"},
    });
}

TEST(YamlReader, ExpandsAnchorsAndAliases) {
    expectCases({
        {"a: &x [1, 2]\nb: *x", "{a: [unsigned 1, unsigned 2], b: [unsigned 1, unsigned 2]}"},
        {"[&a 1, *a, &b {k: *a}, *b]",
         "[unsigned 1, unsigned 1, {k: unsigned 1}, {k: unsigned 1}]"},
        {"a: {b: [x, &n {c: 1}]}\nd: *n",
         R"({a: {b: [string "x", {c: unsigned 1}]}, d: {c: unsigned 1}})"},
        // An anchored key reads back as its text, also in a key's place.
        {"&k key: 1\nb: *k\n", R"({b: string "key", key: unsigned 1})"},
        {"&k key: 1\nm: {*k : 2}", "{key: unsigned 1, m: {key: unsigned 2}}"},
        {"a: &s name\n*s : 2", R"({a: string "name", name: unsigned 2})"},
        // An alias copies the node as it is now, not as it was anchored.
        {"a: &x 1\na: 2\nb: *x", "{a: unsigned 2, b: unsigned 2}"},
        {"a: [&x 1]\na: 2\nb: *x", "{a: unsigned 2, b: empty}"},
        // In an extended sequence an anchor names the element where it lands.
        {"a: [0]\na: [&x 1, *x]", "{a: [unsigned 0, unsigned 1, unsigned 1]}"},
    });
}

TEST(YamlReader, ReportsErrorsWithLineAndColumn) {
    expectCases({
        {"a: &x [1, *x]",
         "error: Cannot deserialize cyclic aliases. Alias \"x\". At line: 1 col: 11"},
        {"&m {*m : 1}", "error: Cannot deserialize cyclic aliases. Alias \"m\". At line: 1 col: 5"},
        {"a: &x [1]\na: [*x]",
         "error: Cannot deserialize cyclic aliases. Alias \"x\". At line: 2 col: 5"},
        {"a: *y", "error: Undefined alias encountered: \"y\". At line: 1 col: 4"},
        {"a: &x 1\nb: &x 2", "error: Duplicate occurrence of anchor \"x\". At line: 2 col: 4"},
        {"&x a: &x 1", "error: Duplicate occurrence of anchor \"x\". At line: 1 col: 7"},
        {"? [1]\n: 2", "error: Unexpected start of sequence. At line: 1 col: 3"},
        {"? {a: 1}\n: 2", "error: Unexpected start of mapping. At line: 1 col: 3"},
        {"!!int 1: x",
         "error: Invalid mapping key. Only string scalar keys are allowed. At line: 1 col: 1"},
        {"a: &n 5\n*n : 1",
         "error: Invalid mapping key. Only string scalar keys are allowed. At line: 2 col: 1"},
        {"a: 1\n---\nb: 2", "error: Multi-document YAML is not supported."},
        // libyaml's own marks count from 0.
        {"a: [1", "error: YAML parser error: did not find expected ',' or ']'. At line: 1 col: 0"},
        {"a: 'x", "error: YAML parser error: found unexpected end of stream. At line: 0 col: 5"},
        {"\xff", "error: YAML parser error: invalid leading UTF-8 octet. At line: 0 col: 0"},
    });
}

// The length bounds the text; nothing after it is read.
TEST(YamlReader, ReadsOnlyTheGivenLength) {
    const std::string text = "a: 12345";
    EXPECT_EQ(tav::testing::dump(tav::readYaml(text.data(), 5).value), "{a: unsigned 12}");
    const tav::BindingResult none = tav::readYaml(nullptr, 10);
    EXPECT_TRUE(none.ok);
    EXPECT_EQ(none.value.kind(), tav::BindingValueKind::Empty);
}

// Marks as text, one per key or item: depth, the key or [index], where it is
// written, where its value starts, and any anchor or alias.
class MarkLog final : public tav::YamlMarkSink {
public:
    void mark(const tav::YamlMark& m) override {
        std::string line = std::to_string(m.depth) + " ";
        line += m.isItem ? "[" + std::to_string(m.index) + "]" : std::string(m.key);
        line += " " + std::to_string(m.line) + ":" + std::to_string(m.column);
        line += " " + std::to_string(m.valueLine) + ":" + std::to_string(m.valueColumn);
        if (!m.anchor.empty()) {
            line += " &" + std::string(m.anchor);
        }
        if (!m.alias.empty()) {
            line += " *" + std::string(m.alias);
        }
        text += line + "\n";
    }
    void parserFailedAt(std::size_t line, std::size_t column) override {
        text += "failed " + std::to_string(line) + ":" + std::to_string(column) + "\n";
    }

    std::string text;
};

TEST(YamlReader, ReportsWhereKeysAndItemsAreWritten) {
    const std::vector<Case> cases = {
        {"a: 1\nb:\n  c: x\n  d:\n    - 1\n    - [2, 3]\n",
         "1 a 1:1 1:4\n1 b 2:1 3:3\n2 c 3:3 3:6\n2 d 4:3 5:5\n3 [0] 5:7 5:7\n"
         "3 [1] 6:7 6:7\n4 [0] 6:8 6:8\n4 [1] 6:11 6:11\n"},
        {"{a: [x, {b: y}], c: z}",
         "1 a 1:2 1:5\n2 [0] 1:6 1:6\n2 [1] 1:9 1:9\n3 b 1:10 1:13\n1 c 1:18 1:21\n"},
        // An alias brings one mark, naming the anchor; its copy none.
        {"base: &b\n  x: 1\nuse: *b\nlist: [&s 2, *s]\n",
         "1 base 1:1 1:7 &b\n2 x 2:3 2:6\n1 use 3:1 3:6 *b\n1 list 4:1 4:7\n"
         "2 [0] 4:8 4:8 &s\n2 [1] 4:14 4:14 *s\n"},
        // A repeated key is marked each time; the reader merges its values.
        {"m:\n  a: 1\nm:\n  b: 2\n", "1 m 1:1 2:3\n2 a 2:3 2:6\n1 m 3:1 4:3\n2 b 4:3 4:6\n"},
        {"[1, 2", "1 [0] 1:2 1:2\n1 [1] 1:5 1:5\nfailed 2:1\n"},
        {"scalar", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        MarkLog log;
        const tav::BindingResult result = tav::readYaml(c.text, tav::YamlReadOptions{&log});
        EXPECT_EQ(log.text, c.expected);
        // The marks change nothing of the tree or the message.
        const tav::BindingResult plain = tav::readYaml(c.text);
        EXPECT_EQ(result.ok, plain.ok);
        EXPECT_EQ(result.error(), plain.error());
        EXPECT_EQ(tav::testing::dump(result.value), tav::testing::dump(plain.value));
    }
}

}  // namespace
