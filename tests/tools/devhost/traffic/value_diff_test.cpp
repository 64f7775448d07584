// The lines a replay prints for an answer, event or log line that differs:
// each row is a change the module could make and the line that must name it.
#include "traffic/value_diff.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/json.h"

namespace tav::devhost {
namespace {

BindingValue json(std::string_view text) {
    BindingResult read = readJson(text);
    EXPECT_TRUE(read) << text;
    return std::move(read.value);
}

TEST(ValueDiff, NamesEachDifferenceByItsPath) {
    struct Row {
        const char* recorded;
        const char* now;
        std::vector<std::string> lines;
    };
    const std::vector<Row> rows = {
        {R"({"a": 1, "b": [1, 2]})", R"({"b": [1, 2], "a": 1})", {}},
        {"1", "2", {"body: recorded 1, now 2"}},
        {"1", "\"1\"", {"body: recorded 1, now \"1\""}},
        {"null", "{}", {"body: recorded null, now {}"}},
        {R"({"a": {"b": true}})", R"({"a": {"b": false}})", {"body.a.b: recorded true, now false"}},
        {R"({"a": 1, "b": 2})", R"({"b": 2})", {"body.a: recorded 1, now absent"}},
        {R"({"b": 2})", R"({"b": 2, "c": "x"})", {"body.c: now \"x\", not recorded"}},
        {R"([1, 2, 3])",
         R"([1, 5])",
         {"body[1]: recorded 2, now 5", "body[2]: recorded 3, now absent"}},
        {R"([1])", R"([1, {"x": 1}])", {"body[1]: now {\"x\":1}, not recorded"}},
        {R"({"t": [{"id": 1}]})", R"({"t": [{"id": 2}]})", {"body.t[0].id: recorded 1, now 2"}},
        {R"([1])", R"({"0": 1})", {"body: recorded [1], now {\"0\":1}"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.recorded) + " / " + row.now);
        std::vector<std::string> lines;
        diffValues(json(row.recorded), json(row.now), "body", lines);
        EXPECT_EQ(lines, row.lines);
    }
}

TEST(ValueDiff, BoundsWhatItShows) {
    std::vector<std::string> lines = {"kept"};
    diffValues(json("[1, 2, 3, 4]"), json("[5, 6, 7, 8]"), "v", lines, 2);
    EXPECT_EQ(lines, (std::vector<std::string>{"kept", "v[0]: recorded 1, now 5",
                                               "v[1]: recorded 2, now 6", "... and 2 more"}));
    lines.clear();
    diffValues(json("[1, 2]"), json("[5, 6]"), "v", lines, 2);
    EXPECT_EQ(lines.size(), 2u);

    // A long value shows its start, 80 characters in all.
    const std::string longText = "\"" + std::string(200, 'x') + "\"";
    lines.clear();
    diffValues(json(longText), json("1"), "v", lines);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "v: recorded \"" + std::string(76, 'x') + "..., now 1");
}

}  // namespace
}  // namespace tav::devhost
