#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "formats/yaml.h"

namespace tav::testing {
std::string dumpValue(const BindingValue& value);  // message_pack_reader_test.cpp
}

namespace {

// The tree's golden dump, or "error: " and the message.
std::string read(std::string_view text) {
    const tav::BindingResult result = tav::readYaml(text);
    if (!result.ok) {
        return "error: " + std::string(result.error());
    }
    return tav::testing::dumpValue(result.value);
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
        {"", "~"},
        {"---\n", "~"},
        {"[~, null, Null, NULL, nULL, '~', \"\"]", "[~,~,~,~,\"nULL\",\"~\",\"\"]"},
        {"a: 1\nb: -2\nc: 2.5\nd: true\ne: 'true'\nf: yes",
         "{a:u1,b:i-2,c:f2.5,d:true,e:\"true\",f:\"yes\"}"},
        {"[True, TRUE, False, FALSE, tRUE, on, \"1\"]",
         "[true,true,false,false,\"tRUE\",\"on\",\"1\"]"},
        {"[12, 1e3, 3.0, -4, 2.5, +5, .5, -0, 0x1A, -0x10, 007, 0x, 1_000]",
         "[u12,u1000,u3,i-4,f2.5,u5,f0.5,u0,u26,i-16,u7,\"0x\",\"1_000\"]"},
        {"[nan, NaN, inf, Infinity, .inf, -inf]",
         "[fnan,fnan,\"inf\",\"Infinity\",\".inf\",f-inf]"},
        // Integer texts are read exactly, not through a double.
        {"[9007199254740993, 18446744073709551615, -9223372036854775808]",
         "[u9007199254740993,u18446744073709551615,i-9223372036854775808]"},
        // Integral values beyond the 64-bit ranges stay floating point, as do
        // underflows; overflow to +infinity is not a number at all.
        {"[18446744073709551616, -9223372036854775809, 1e30, 1e-400, 1e400, -1e400]",
         "[f18446744073709551616,f-9223372036854775808,f1e+30,f0,\"1e400\",f-inf]"},
        // Literal and folded scalars are unquoted; their line break is text.
        {"a: |-\n  12\nb: |\n  12\nc: >-\n  true\nd: \"x\\0y\"",
         "{a:u12,b:\"12\\x0a\",c:true,d:\"x\\x00y\"}"},
        {"[!!int -3, !!int 0x10, !!int '', !!str 5, !!str, !!float 1, !!bool yes, !!bool TRUE]",
         "[i-3,u16,u0,\"5\",\"\",f1,~,true]"},
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
        {"b: 1\na: [x, {c: d}]\n'': empty key\n", "{:\"empty key\",a:[\"x\",{c:\"d\"}],b:u1}"},
        {"- - 1\n  - 2\n- k: v\n  l:\n    - ~\n", "[[u1,u2],{k:\"v\",l:[~]}]"},
        {"? complex\n: 1\n!!str 2: two\n'3': three\n~: null key",
         "{2:\"two\",3:\"three\",complex:u1,~:\"null key\"}"},
        {"[[], {}, a: 1]", "[[],{},{a:u1}]"},
        // A duplicate key's later value replaces the earlier one whole; a
        // !!bool tag on another word leaves the earlier value in place.
        {"a: [1, 2]\na: [3]\nb: {x: 1}\nb: {y: 2}\nc: 1\nc: [2]\nd: [1]\nd: !!bool maybe",
         "{a:[u3],b:{y:u2},c:[u2],d:[u1]}"},
    });
}

TEST(YamlReader, ExpandsAnchorsAndAliases) {
    expectCases({
        {"a: &x [1, 2]\nb: *x", "{a:[u1,u2],b:[u1,u2]}"},
        {"[&a 1, *a, &b {k: *a}, *b]", "[u1,u1,{k:u1},{k:u1}]"},
        {"a: {b: [x, &n {c: 1}]}\nd: *n", "{a:{b:[\"x\",{c:u1}]},d:{c:u1}}"},
        // An anchored key reads back as its text, also in a key's place.
        {"&k key: 1\nb: *k\n", "{b:\"key\",key:u1}"},
        {"&k key: 1\nm: {*k : 2}", "{key:u1,m:{key:u2}}"},
        {"a: &s name\n*s : 2", "{a:\"name\",name:u2}"},
        // An alias copies the node as it is now, not as it was anchored.
        {"a: &x 1\na: 2\nb: *x", "{a:u2,b:u2}"},
        {"a: [&x 1]\na: 2\nb: *x", "{a:u2,b:~}"},
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
        {"~\n---\nb: 2", "error: Multi-document YAML is not supported."},
        // libyaml's own marks count from 0.
        {"a: [1", "error: YAML parser error: did not find expected ',' or ']'. At line: 1 col: 0"},
        {"a: 'x", "error: YAML parser error: found unexpected end of stream. At line: 0 col: 5"},
        {"\xff", "error: YAML parser error: invalid leading UTF-8 octet. At line: 0 col: 0"},
    });
}

// The length bounds the text; nothing after it is read.
TEST(YamlReader, ReadsOnlyTheGivenLength) {
    const std::string text = "a: 12345";
    EXPECT_EQ(tav::testing::dumpValue(tav::readYaml(text.data(), 5).value), "{a:u12}");
    const tav::BindingResult none = tav::readYaml(nullptr, 10);
    EXPECT_TRUE(none.ok);
    EXPECT_EQ(none.value.kind(), tav::BindingValueKind::Empty);
}

}  // namespace
