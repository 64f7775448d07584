#include "formats/structured_error.h"

#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "text/message.h"

using namespace tav;

namespace {

StructuredError withMessage(const char* message, std::int32_t code = 0) {
    StructuredError error;
    error.setMessage(message);
    error.setCode(code);
    return error;
}

// The error with "errorCode_int" replaced by the given attributes.
StructuredError with(StructuredError error, std::vector<StructuredErrorAttribute> attributes) {
    error.removeAttribute("errorCode_int");
    for (StructuredErrorAttribute& attribute : attributes) {
        error.setAttributeValue(attribute.name, std::move(attribute.value));
    }
    return error;
}

}  // namespace

TEST(StructuredError, AttributesKeepTheirFirstPlaceAndTakeTheTagOfTheirType) {
    StructuredError error;
    error.setCode(0);
    EXPECT_TRUE(error.attributes().empty());
    error.setAttribute("s", "text");
    error.setCode(404);
    error.setAttribute("b", true);
    error.setAttribute("i", -3);
    error.setAttribute("u", 3u);
    error.setAttribute("d", 0.5f);
    error.setAttribute("s", std::string("x"));
    error.setCode(-5);
    const std::vector<std::pair<std::string, StructuredErrorValue>> expected = {
        {"s", std::string("x")},
        {"errorCode_int", std::int64_t{-5}},
        {"b", true},
        {"i", std::int64_t{-3}},
        {"u", std::uint64_t{3}},
        {"d", 0.5},
    };
    ASSERT_EQ(error.attributes().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(error.attributes()[i].name, expected[i].first);
        EXPECT_EQ(error.attributes()[i].value, expected[i].second);
    }
    EXPECT_EQ(error.attributes()[4].tag(), StructuredErrorTag::Unsigned);
    EXPECT_TRUE(error.removeAttribute("b"));
    EXPECT_FALSE(error.removeAttribute("b"));
    EXPECT_EQ(error.findAttribute("b"), nullptr);
    EXPECT_EQ(StructuredError(7, "m"), withMessage("m", 7));
}

TEST(StructuredError, TextForms) {
    struct Row {
        StructuredError error;
        std::string expected;
    };
    const Row rows[] = {
        {StructuredError(), ""},
        {with(StructuredError(), {{"errorCode_int", std::int64_t{5}}}), ""},
        {withMessage("boom"), "boom"},
        {withMessage(""), ""},
        {withMessage("boom", 5), R"({"message":"boom","errorCode_int":5})"},
        {with(withMessage("boom", 5), {}), "boom (5)"},
        {with(withMessage("boom"), {{"errorFields_int", std::int64_t{3}}}), "boom"},
        {with(withMessage("boom", -2), {{"errorFields_int", std::int64_t{3}}}), "boom (-2)"},
        {with(withMessage("m"), {{"errorFields_str", std::string("x")}}),
         R"({"message":"m","errorFields_str":"x"})"},
        {with(withMessage("bad \"x\"\n"), {{"method_str", std::string("GET")},
                                           {"flag", false},
                                           {"max", std::numeric_limits<std::uint64_t>::max()},
                                           {"min", std::numeric_limits<std::int64_t>::min()},
                                           {"ratio", 0.25},
                                           {"whole", 2.0},
                                           {"nan", std::numeric_limits<double>::quiet_NaN()}}),
         R"({"message":"bad \"x\"\n","method_str":"GET","flag":false,)"
         R"("max":18446744073709551615,"min":-9223372036854775808,"ratio":0.25,)"
         R"("whole":2.0,"nan":null})"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.expected);
        EXPECT_EQ(errorText(row.error), row.expected);
    }
}

TEST(StructuredError, MessagesPrintItsTextForm) {
    const StructuredError plain = withMessage("boom");
    EXPECT_EQ(makeMessage("%1", plain), "boom");
    EXPECT_EQ(makeMessage("Request failed: %1!", withMessage("boom", 5)),
              R"(Request failed: {"message":"boom","errorCode_int":5}!)");
    EXPECT_EQ(makeMessage("[%s]", StructuredError()), "[]");

    const StructuredError long_error = withMessage(std::string(5000, 'x').c_str());
    EXPECT_EQ(errorText(long_error).size(), 5000u);  // cut only where a message is
}
