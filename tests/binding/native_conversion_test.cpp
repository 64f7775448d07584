#include "binding/native_conversion.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include <gtest/gtest.h>

#include "binding/builtin_types.h"
#include "binding/record_description.h"
#include "binding_test_support.h"

namespace convtest {

using tav::BindingDescribe;
using tav::field;
using tav::record;

struct Point {
    std::int32_t x = 0;
    std::int32_t y = 0;
};
constexpr auto describe(BindingDescribe<Point>) {
    return record(field("x", &Point::x), field("y", &Point::y));
}

// Described but never registered.
struct Stray {
    std::int32_t a = 0;
};
constexpr auto describe(BindingDescribe<Stray>) {
    return record(field("a", &Stray::a));
}
enum class StrayState : std::int32_t { On = 1 };
constexpr auto describe(BindingDescribe<StrayState>) {
    return tav::enumeration<StrayState>({{"On", StrayState::On}});
}

enum class Narrow : std::int8_t { Neg = -1, Pos = 1 };
constexpr auto describe(BindingDescribe<Narrow>) {
    return tav::enumeration<Narrow>({{"Neg", Narrow::Neg}, {"Pos", Narrow::Pos}});
}
enum class Wide : std::int64_t { Neg = -1, Pos = 1 };
constexpr auto describe(BindingDescribe<Wide>) {
    return tav::enumeration<Wide>({{"Neg", Wide::Neg}, {"Pos", Wide::Pos}});
}
enum class Edge : std::int32_t { Max = 2147483647 };
constexpr auto describe(BindingDescribe<Edge>) {
    return tav::enumeration<Edge>({{"Max", Edge::Max}});
}

// b is required; a failure at b leaves a written and c as it was.
struct Checked {
    std::int32_t a = 0;
    std::int32_t b = 0;
    std::int32_t c = 0;
};
constexpr auto describe(BindingDescribe<Checked>) {
    return record(field("a", &Checked::a), field("b", &Checked::b).required(),
                  field("c", &Checked::c));
}

struct Sparse {
    std::int32_t count = 0;
    std::string label;
    std::vector<std::int32_t> ids;
    std::optional<std::int32_t> maybe;
    tav::BindingAsyncState state = tav::BindingAsyncState::None;
    bool flag = false;
    double ratio = 0;
    std::int32_t plain = 0;
};
constexpr auto describe(BindingDescribe<Sparse>) {
    using S = Sparse;
    return record(field("count", &S::count).omitDefault(), field("label", &S::label).omitDefault(),
                  field("ids", &S::ids).omitDefault(), field("maybe", &S::maybe).omitDefault(),
                  field("state", &S::state).omitDefault(), field("flag", &S::flag).omitDefault(),
                  field("ratio", &S::ratio).omitDefault(), field("plain", &S::plain));
}

struct Holder {
    std::string x;
    std::int8_t small = 0;
    std::vector<std::int32_t> values;
    Point point;
    std::vector<Point> points;
    Stray stray;
};
constexpr auto describe(BindingDescribe<Holder>) {
    using H = Holder;
    return record(field("x", &H::x), field("small", &H::small), field("values", &H::values),
                  field("point", &H::point), field("points", &H::points),
                  field("stray", &H::stray));
}

struct Shapes {
    std::vector<Point> points;
    std::vector<tav::BindingAsyncState> states;
    std::vector<std::vector<std::int32_t>> grid;
    std::vector<std::unordered_map<std::string, std::int32_t>> tables;
    std::vector<tav::BindingValue> values;
    std::unordered_map<std::string, Point> byName;
    std::optional<std::int32_t> maybeCount;
    std::optional<Point> maybePoint;
    std::optional<std::string> maybeName;
    std::vector<bool> flags;
};
constexpr auto describe(BindingDescribe<Shapes>) {
    using S = Shapes;
    return record(field("points", &S::points), field("states", &S::states), field("grid", &S::grid),
                  field("tables", &S::tables), field("values", &S::values),
                  field("byName", &S::byName), field("maybeCount", &S::maybeCount),
                  field("maybePoint", &S::maybePoint), field("maybeName", &S::maybeName),
                  field("flags", &S::flags));
}

}  // namespace convtest

namespace {

using namespace tav;
using namespace tav::testing;
using namespace convtest;

using IntMap = std::unordered_map<std::string, std::int32_t>;
using Converter = std::string (*)(const BindingValue&, const BindingTypeRegistry&,
                                  std::string_view);

struct Target {
    const char* name;
    Converter convert;
};

// One native type per target kind; "enum" is BindingAsyncState and "struct"
// the registered TestPoint.
const Target kTargets[] = {
    {"bool", &convertAs<bool>},
    {"int8", &convertAs<std::int8_t>},
    {"uint8", &convertAs<std::uint8_t>},
    {"int16", &convertAs<std::int16_t>},
    {"uint16", &convertAs<std::uint16_t>},
    {"int32", &convertAs<std::int32_t>},
    {"uint32", &convertAs<std::uint32_t>},
    {"int64", &convertAs<std::int64_t>},
    {"uint64", &convertAs<std::uint64_t>},
    {"float", &convertAs<float>},
    {"double", &convertAs<double>},
    {"string", &convertAs<std::string>},
    {"object", &convertAs<BindingValue>},
    {"vector", &convertAs<std::vector<std::int32_t>>},
    {"enum", &convertAs<BindingAsyncState>},
    {"struct", &convertAs<Point>},
    {"map", &convertAs<IntMap>},
    {"blob", &convertAs<std::vector<std::uint8_t>>},
    {"narrow-enum", &convertAs<Narrow>},
    {"wide-enum", &convertAs<Wide>},
    {"edge-enum", &convertAs<Edge>},
    {"stray", &convertAs<Stray>},
    {"holder", &convertAs<Holder>},
    {"shapes", &convertAs<Shapes>},
};

struct Case {
    const char* target;
    BindingValue input;
    std::string expected;
};

class NativeConversion : public ::testing::Test {
protected:
    NativeConversion() {
        registry.reset();
        registerRecord<Point>(registry, {"TestPoint"});
        registerEnum<Narrow>(registry, {"TestNarrow"});
        registerEnum<Wide>(registry, {"TestWide"});
        registerEnum<Edge>(registry, {"TestEdge"});
        registerRecord<Checked>(registry, {"TestChecked"});
        registerRecord<Sparse>(registry, {"TestSparse"});
        registerRecord<Holder>(registry, {"TestHolder"});
        registerRecord<Shapes>(registry, {"TestShapes"});
    }

    std::string convert(std::string_view target, const BindingValue& input) const {
        for (const Target& t : kTargets) {
            if (target == t.name) {
                return t.convert(input, registry, "x");
            }
        }
        ADD_FAILURE() << "no target " << target;
        return {};
    }

    void check(const std::vector<Case>& cases) const {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.target) + " from " + dump(c.input));
            EXPECT_EQ(convert(c.target, c.input), c.expected);
        }
    }

    BindingTypeRegistry registry;
};

const BindingValue& sampleOf(BindingValueKind kind) {
    static const BindingValue samples[] = {
        none(),         boolean(true),
        sgn(1),         uns(1),
        flt(1.0),       text("1"),
        blob({1}),      enumOf(BindingAsyncState::Running),
        list({sgn(1)}), object({{"x", sgn(1)}}),
    };
    return samples[static_cast<int>(kind)];
}

// The two messages of a number that does not fit its target.
std::string outOfRange(const std::string& shown, const char* type, const char* name = "x") {
    return fails("Value " + shown + " for '" + name + "' of type " + type + " is out of range");
}
std::string badFormat(const std::string& shown, const char* type, const char* name = "x") {
    return fails("Value " + shown + " for '" + name + "' of type " + type +
                 " is in an incorrect format");
}
// "Couldn't assign value to 'name' [of type type] because the input ...".
std::string cannot(const char* name, const char* type, const std::string& because) {
    return fails("Couldn't assign value to '" + std::string(name) + "'" +
                 (type != nullptr ? " of type " + std::string(type) : "") + " because the input " +
                 because + ".");
}
const char* const kUnregistered = "is an unregistered structure or not a structure at all";

std::string notEnumerator(const std::string& shown, const char* type = "BindingAsyncState",
                          const char* name = "x") {
    return fails(shown + " is not a valid " + type + " enumeration value for '" + name + "'.");
}

std::string replaceKind(std::string message, const char* kind) {
    const std::size_t at = message.find("{kind}");
    return at == std::string::npos ? message : message.replace(at, 6, kind);
}

// Which value kinds each target takes (b bool, i signed, u unsigned, f float,
// s string, x blob, n enum, c collection, o structure), and its message for
// the others ({kind} is the refused kind's name); an empty value is missing.
TEST_F(NativeConversion, EachTargetRefusesTheKindsItCannotTake) {
    struct Refusal {
        std::string target;
        const char* takes;
        std::string message;
    };
    std::vector<Refusal> refusals = {
        {"bool", "bs", cannot("x", "bool", "is of an invalid type {kind}")},
        {"string", "sn", cannot("x", nullptr, "is not a string")},
        {"object", "biufsxnco", ""},
        {"vector", "c", cannot("x", "vector", "not a collection")},
        {"enum", "iusn",
         fails("Couldn't assign value to 'x' of enum type because the input is of an invalid "
               "type {kind}.")},
        {"struct", "o", cannot("x", "TestPoint", "not a structure")},
        {"map", "o", cannot("x", "map", "not a structure")},
        {"blob", "sx", cannot("x", "blob", "is not a blob")},
    };
    for (const char* number : {"int8", "uint8", "int16", "uint16", "int32", "uint32", "int64",
                               "uint64", "float", "double"}) {
        refusals.push_back({number, "iufsn", cannot("x", number, "is of an invalid type {kind}")});
    }
    const char* const letters = "-biufsxnco";  // in the order of BindingValueKind
    for (const Refusal& r : refusals) {
        for (int k = 0; k <= static_cast<int>(BindingValueKind::Structure); ++k) {
            const auto kind = static_cast<BindingValueKind>(k);
            SCOPED_TRACE(r.target + " from " + BindingValue::kindName(kind));
            const std::string got = convert(r.target, sampleOf(kind));
            if (kind == BindingValueKind::Empty) {
                EXPECT_EQ(got, fails("A value for 'x' is required."));
            } else if (std::strchr(r.takes, letters[k]) == nullptr) {
                EXPECT_EQ(got, replaceKind(r.message, BindingValue::kindName(kind)));
            } else {
                EXPECT_EQ(got.substr(0, 4), "ok: ") << got;
            }
        }
    }
}

TEST_F(NativeConversion, Integers) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    check({
        {"int8", sgn(127), gives("signed 127")},
        {"int8", text("127"), gives("signed 127")},
        {"int8", text("-128"), gives("signed -128")},
        {"int8", text("128"), outOfRange("128", "int8")},
        {"uint16", text("65535"), gives("unsigned 65535")},
        {"int8", sgn(-128), gives("signed -128")},
        {"int8", sgn(128), outOfRange("128", "int8")},
        {"int8", sgn(-129), outOfRange("-129", "int8")},
        {"int8", enumOf(BindingAsyncState::Failed), gives("signed 5")},
        {"int16", uns(32768), outOfRange("32768", "int16")},
        {"uint16", text("65536"), outOfRange("65536", "uint16")},
        // Floats are compared with the range before they are truncated.
        {"uint8", flt(255.0), gives("unsigned 255")},
        {"uint8", flt(255.5), outOfRange("255.5", "uint8")},
        {"uint8", enumValue(-1, &staticTypeInfo<BindingAsyncState>()), outOfRange("-1", "uint8")},
        // Texts: strtoll in base 0, and the whole text must be the number.
        {"int32", text("12abc"), badFormat("12abc", "int32")},
        {"int32", text(""), gives("signed 0")},
        {"int32", text("0x10"), gives("signed 16")},
        {"int32", text("010"), gives("signed 8")},
        {"int32", text(" 7"), gives("signed 7")},
        {"int32", text("+7"), gives("signed 7")},
        {"int32", text("7 "), badFormat("7 ", "int32")},
        {"int32", text("-"), badFormat("-", "int32")},
        {"int32", text(std::string_view("7\08", 3)), badFormat("7", "int32")},
        {"int32", flt(1.9), gives("signed 1")},
        {"int32", flt(-1.9), gives("signed -1")},
        {"int32", flt(1e10), outOfRange("1e+10", "int32")},
        {"int32", flt(2147483647.0), gives("signed 2147483647")},
        {"uint32", sgn(4294967296), outOfRange("4294967296", "uint32")},
        {"uint32", sgn(-1), outOfRange("-1", "uint32")},
        {"uint32", uns(4294967295), gives("unsigned 4294967295")},
        {"uint32", text("0xFFFFFFFF"), gives("unsigned 4294967295")},
        {"uint32", flt(-0.5), outOfRange("-0.5", "uint32")},
        {"int64", uns(9223372036854775807u), gives("signed 9223372036854775807")},
        {"int64", uns(9223372036854775808u), outOfRange("9223372036854775808", "int64")},
        {"int64", text("9223372036854775808"), outOfRange("9223372036854775808", "int64")},
        {"int64", text("-9223372036854775808"), gives("signed -9223372036854775808")},
        // 2^63 rounds to the int64 maximum as a double but does not fit.
        {"int64", flt(9223372036854775808.0), outOfRange("9.22337e+18", "int64")},
        {"int64", flt(-9223372036854775808.0), gives("signed -9223372036854775808")},
        {"int64", flt(nan), outOfRange("nan", "int64")},
        // A minus sign after blanks must not wrap around.
        {"uint64", text(" -1"), outOfRange(" -1", "uint64")},
        {"uint64", text("-0"), outOfRange("-0", "uint64")},
        {"uint64", text("18446744073709551615"), gives("unsigned 18446744073709551615")},
        {"uint64", text("18446744073709551616"), outOfRange("18446744073709551616", "uint64")},
        {"uint64", flt(9223372036854775808.0), gives("unsigned 9223372036854775808")},
        {"uint64", flt(18446744073709551616.0), outOfRange("1.84467e+19", "uint64")},
        {"uint64", flt(nan), outOfRange("nan", "uint64")},
    });
}

TEST_F(NativeConversion, FloatingPoint) {
    check({
        {"double", sgn(-5), gives("float -5")},
        {"double", uns(UINT64_MAX), gives("float 1.8446744073709552e+19")},
        {"double", text("1.5"), gives("float 1.5")},
        {"double", text(""), gives("float 0")},
        {"double", text("1.5x"), badFormat("1.5x", "double")},
        {"double", text("1e400"), outOfRange("1e400", "double")},
        {"double", text("1e-400"), outOfRange("1e-400", "double")},
        {"double", flt(-1.7976931348623157e308), gives("float -1.7976931348623157e+308")},
        {"double", flt(std::numeric_limits<double>::infinity()), outOfRange("inf", "double")},
        {"double", flt(std::numeric_limits<double>::quiet_NaN()), outOfRange("nan", "double")},
        {"double", enumOf(BindingAsyncState::Succeeded), gives("float 4")},
        {"float", flt(0.25), gives("float 0.25")},
        {"float", flt(3.5e38), outOfRange("3.5e+38", "float")},
        {"float", text("1e39"), outOfRange("1e39", "float")},
    });
}

TEST_F(NativeConversion, BoolStringAndBlob) {
    const auto badBool = [](const char* shown) {
        return badFormat(shown, "bool") + ". Options are \"true\", \"false\", \"1\", \"0\".";
    };
    const std::string notBase64 =
        "Couldn't assign string value to 'x' of type blob because the input has invalid base64 "
        "characters.";
    check({
        {"bool", boolean(true), gives("true")},
        {"bool", text("true"), gives("true")},
        {"bool", text("1"), gives("true")},
        {"bool", text("false"), gives("false")},
        {"bool", text("0"), gives("false")},
        {"bool", text("TRUE"), badBool("TRUE")},
        {"bool", text(" 1"), badBool(" 1")},
        {"string", text("abc"), gives("string \"abc\"")},
        {"string", text(std::string_view("a\0b", 3)), gives("string \"a\"")},
        {"string", enumOf(BindingAsyncState::Running), gives("string \"Running\"")},
        {"string", enumValue(9, &staticTypeInfo<BindingAsyncState>()),
         fails("9 is not a valid enumeration value for 'x'.")},
        {"string", enumOf(StrayState::On), fails("1 is not a valid enumeration value for 'x'.")},
        {"string", enumValue(2, nullptr), fails("2 is not a valid enumeration value for 'x'.")},
        {"blob", text("AQID"), gives("blob 010203")},
        {"blob", text(""), gives("blob")},
        {"blob", text("AQ ID"), fails(notBase64)},
        {"blob", text("AQID\n"), fails(notBase64)},
        {"blob", blob({1, 2}), gives("blob 0102")},
        {"object", object({{"a", list({sgn(1), none()})}}), gives("{a: [signed 1, empty]}")},
        {"object", text(""), gives("string \"\"")},
    });
}

TEST_F(NativeConversion, Enums) {
    check({
        {"enum", text("Running"), gives("enum 1")},
        {"enum", text("1"), gives("enum 1")},
        {"enum", text("0x4"), gives("enum 4")},
        {"enum", text(""), gives("enum 0")},
        {"enum", text("7"), notEnumerator("7")},
        {"enum", text("running"), notEnumerator("running")},
        {"enum", text("1x"), notEnumerator("1x")},
        {"enum", sgn(5), gives("enum 5")},
        {"enum", sgn(-1), notEnumerator("-1")},
        // No truncation to 32 bits: 2^32 + 1 is not Running.
        {"enum", sgn(4294967297), notEnumerator("4294967297")},
        {"enum", text("4294967297"), notEnumerator("4294967297")},
        {"enum", uns(2), gives("enum 2")},
        {"enum", uns(4294967296), notEnumerator("4294967296")},
        // Another enum type is taken by its number.
        {"enum", enumOf(StrayState::On), gives("enum 1")},
        {"enum", enumValue(9, &staticTypeInfo<BindingAsyncState>()), notEnumerator("9")},
        // One- and eight-byte enums: stored by their size, sign-extended.
        {"narrow-enum", text("Neg"), gives("enum -1")},
        {"narrow-enum", sgn(255), notEnumerator("255", "TestNarrow")},
        {"wide-enum", text("Neg"), gives("enum -1")},
        {"wide-enum", sgn(-1), gives("enum -1")},
        // The largest 32-bit number is a number like any other; one more is not.
        {"edge-enum", uns(2147483647), gives("enum 2147483647")},
        {"edge-enum", uns(2147483648), notEnumerator("2147483648", "TestEdge")},
        {"edge-enum", text("2147483648"), notEnumerator("2147483648", "TestEdge")},
    });
    Wide wide = Wide::Pos;
    ASSERT_TRUE(fromValue(wide, text("Neg"), "x", registry).ok);
    EXPECT_EQ(static_cast<std::int64_t>(wide), -1);

    const BindingResult value = toValue(BindingAsyncState::Failed, registry);
    EXPECT_EQ(value.value.asEnum(), (BindingEnumValue{5, &staticTypeInfo<BindingAsyncState>()}));
}

// Elements take the container's own name; a nested failure names the
// innermost field, never a path.
TEST_F(NativeConversion, ContainersAndNestedNames) {
    check({
        {"vector", list({sgn(1), none(), sgn(3)}), gives("[signed 1, signed 0, signed 3]")},
        {"vector", list({text("1"), text("x")}), badFormat("x", "int32")},
        {"map", object({{"b", sgn(2)}, {"a", text("1")}, {"c", none()}}),
         gives("{a: signed 1, b: signed 2}")},
        {"struct", object({{"x", sgn(1)}, {"extra", text("ignored")}}),
         gives("{x: signed 1, y: signed 0}")},
        {"stray", object({}), cannot("x", nullptr, kUnregistered)},
        {"holder", object({{"x", list({})}}), cannot("x", nullptr, "is not a string")},
        {"holder", object({{"small", sgn(300)}}), outOfRange("300", "int8", "small")},
        {"holder", object({{"values", list({sgn(1), boolean(true)})}}),
         cannot("values", "int32", "is of an invalid type bool")},
        {"holder", object({{"point", object({{"y", text("q")}})}}), badFormat("q", "int32", "y")},
        {"holder", object({{"points", list({object({}), object({{"x", flt(1e10)}})})}}),
         outOfRange("1e+10", "int32")},
        {"holder", object({{"points", list({sgn(1)})}}),
         cannot("points", "TestPoint", "not a structure")},
        {"holder", object({{"stray", object({})}}), cannot("stray", nullptr, kUnregistered)},
        {"shapes", object({{"states", list({text("Running"), text("Bogus")})}}),
         notEnumerator("Bogus", "BindingAsyncState", "states")},
        {"shapes", object({{"grid", list({list({text("z")})})}}), badFormat("z", "int32", "grid")},
        {"shapes", object({{"grid", list({sgn(1)})}}),
         cannot("grid", "vector", "not a collection")},
        {"shapes", object({{"tables", list({list({})})}}),
         cannot("tables", "map", "not a structure")},
        {"shapes", object({{"byName", object({{"a", sgn(1)}})}}),
         cannot("byName", "TestPoint", "not a structure")},
        {"shapes", object({{"flags", list({sgn(1)})}}),
         cannot("flags", "bool", "is of an invalid type signed")},
        {"shapes", object({{"maybeCount", text("abc")}}), badFormat("abc", "int32", "maybeCount")},
        {"shapes", object({{"maybePoint", text("p")}}),
         cannot("maybePoint", "TestPoint", "not a structure")},
    });
}

// A missing or empty member leaves its native member alone unless the field
// is required; a failure leaves the fields before it written, the rest as
// they were.
TEST_F(NativeConversion, RecordMembersWithoutValuesAndFailuresHalfway) {
    const std::string required =
        "Couldn't assign value to '<result>' of type TestChecked because the input structure "
        "doesn't have required field 'b'.";
    const std::pair<BindingValue, std::string> rows[] = {
        {object({{"a", sgn(1)}, {"c", sgn(3)}}), required + " 1 0 -1"},
        {object({{"a", sgn(1)}, {"b", none()}}), required + " 1 0 -1"},
        {object({{"a", none()}, {"b", sgn(7)}}), "ok 42 7 -1"},
        {object({{"b", sgn(8)}, {"c", sgn(3)}}), "ok 42 8 3"},
        {object({{"a", sgn(1)}, {"b", text("oops")}, {"c", sgn(3)}}),
         "Value oops for 'b' of type int32 is in an incorrect format 1 0 -1"},
    };
    for (const auto& [input, expected] : rows) {
        SCOPED_TRACE(dump(input));
        Checked c{42, 0, -1};
        const BindingResult result = fromValue(c, input, "<result>", registry);
        EXPECT_EQ(messageOf(result) + " " + std::to_string(c.a) + " " + std::to_string(c.b) + " " +
                      std::to_string(c.c),
                  expected);
    }
}

// The unregistered member comes last: the fields already written into the
// result's tree must be dropped with it.
TEST_F(NativeConversion, UnregisteredNestedRecordFailsToValue) {
    Holder h;
    h.x = "written";
    h.points.resize(3);
    const BindingResult result = toValue(h, registry);
    EXPECT_EQ(dump(result.value),
              "{error: string \"Couldn't convert native value because it's an unregistered "
              "structure.\"}");
    EXPECT_FALSE(result.ok);
}

TEST_F(NativeConversion, OmitDefaultLeavesOutDefaults) {
    EXPECT_EQ(dump(toValue(Sparse{}, registry).value), "{plain: signed 0}");
    // A present optional holding 0 produces a default value too.
    Sparse zero;
    zero.maybe = 0;
    EXPECT_EQ(dump(toValue(zero, registry).value), "{plain: signed 0}");
    const Sparse full{5, "l", {0}, 2, BindingAsyncState::Running, true, 0.5, 0};
    EXPECT_EQ(dump(toValue(full, registry).value),
              "{count: signed 5, flag: true, ids: [signed 0], label: string \"l\", maybe: signed "
              "2, plain: signed 0, ratio: float 0.5, state: enum 1}");
}

TEST_F(NativeConversion, ContainersOfEveryElementKindRoundTrip) {
    const BindingValue input = object({
        {"points", list({object({{"x", sgn(1)}, {"y", sgn(2)}}), none()})},
        {"states", list({text("Failed"), sgn(1), enumOf(BindingAsyncState::Cancelled)})},
        {"grid", list({list({sgn(1), text("2")}), list({}), none()})},
        {"tables", list({object({{"b", sgn(2)}, {"a", sgn(1)}}), object({})})},
        {"values", list({text("t"), none(), list({object({})})})},
        {"byName", object({{"home", object({{"x", sgn(3)}})}, {"away", none()}})},
        {"maybeCount", text("4")},
        {"maybePoint", object({{"y", sgn(9)}})},
        {"maybeName", text("")},
        {"flags", list({boolean(true), text("0"), none()})},
    });
    EXPECT_EQ(convertAs<Shapes>(input, registry),
              gives("{byName: {home: {x: signed 3, y: signed 0}}, flags: [true, false, false], "
                    "grid: [[signed 1, signed 2], [], []], maybeCount: signed 4, maybeName: "
                    "string \"\", maybePoint: {x: signed 0, y: signed 9}, points: [{x: signed 1, "
                    "y: signed 2}, {x: signed 0, y: signed 0}], states: [enum 5, enum 1, enum 3], "
                    "tables: [{a: signed 1, b: signed 2}, {}], values: [string \"t\", empty, "
                    "[{}]]}"));
    // Absent optionals become empty members.
    EXPECT_EQ(dump(toValue(Shapes{}, registry).value),
              "{byName: {}, flags: [], grid: [], maybeCount: empty, maybeName: empty, "
              "maybePoint: empty, points: [], states: [], tables: [], values: []}");
}

// A container of containers also describes its element; an optional member
// has T's kind without a descriptor.
TEST_F(NativeConversion, ContainerFieldTypeRefs) {
    EXPECT_EQ(fieldSummary(*registry.findByName("TestShapes")),
              "points:vector<struct> TestPoint, states:vector<enum> BindingAsyncState, "
              "grid:vector<vector> of vector<int32>, tables:vector<map> of map<int32>, "
              "values:vector<object>, byName:map<struct> TestPoint, maybeCount:int32?, "
              "maybePoint:struct?, maybeName:string?, flags:vector<bool>");
}

TEST_F(NativeConversion, VectorsAndMapsAreClearedFirst) {
    Shapes s;
    s.states = {BindingAsyncState::Failed, BindingAsyncState::Failed};
    s.byName["old"] = Point{1, 1};
    ASSERT_EQ(messageOf(fromValue(s, object({{"states", list({sgn(1)})}, {"byName", object({})}}),
                                  "x", registry)),
              "ok");
    EXPECT_EQ(s.states, std::vector<BindingAsyncState>{BindingAsyncState::Running});
    EXPECT_TRUE(s.byName.empty());
}

}  // namespace
