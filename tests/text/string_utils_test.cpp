#include "text/string_utils.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

TEST(Split, EmitsEveryPieceIncludingEmptyOnes) {
    const struct {
        const char* text;
        const char* separator;
        std::vector<std::string> pieces;
    } cases[] = {
        {"a&&b", "&", {"a", "", "b"}}, {"a&", "&", {"a", ""}}, {"&a", "&", {"", "a"}},
        {"abc", "&", {"abc"}},         {"", "&", {""}},        {"abc", "", {"abc"}},
        {"a:::b", "::", {"a", ":b"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " on " + c.separator);
        EXPECT_EQ(tav::split(c.text, c.separator), c.pieces);
    }
}

TEST(ReplaceAll, OnePassLeftToRightWithoutOverlap) {
    const struct {
        const char* text;
        const char* from;
        const char* to;
        const char* expected;
    } cases[] = {
        {"a.b.c", ".", "/", "a/b/c"},   {"aaa", "aa", "b", "ba"},
        {"aaa", "a", "aa", "aaaaaa"},  // the replacement is not searched again
        {"{id}/{id}", "{id}", "", "/"}, {"abc", "", "y", "abc"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + ": " + c.from + " -> " + c.to);
        EXPECT_EQ(tav::replaceAll(c.text, c.from, c.to), c.expected);
    }
}

TEST(ToLowerCopy, LowersAsciiAndKeepsOtherBytes) {
    EXPECT_EQ(tav::toLowerCopy("Content-Type: APPLICATION/Json 1"),
              "content-type: application/json 1");
    EXPECT_EQ(tav::toLowerCopy(std::string("\xC4\xD6\0A", 4)), std::string("\xC4\xD6\0a", 4));
}

// Letters fold at both ends of the alphabet; the bytes beside them ('@', '[')
// differ from their lower-case neighbours ('`', '{') by the same bit and must not.
TEST(StartsWithIgnoringCase, FoldsOnlyLetters) {
    const struct {
        std::string_view text, prefix;
        bool starts;
    } rows[] = {{"APPLICATION/Json; x", "application/json", true},
                {"AZ", "az", true},
                {"a", "ab", false},
                {"@", "`", false},
                {"[", "{", false},
                {"", "", true}};
    for (const auto& row : rows) {
        EXPECT_EQ(tav::startsWithIgnoringCase(row.text, row.prefix), row.starts) << row.text;
    }
}

}  // namespace
