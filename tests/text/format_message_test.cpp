// The formatter's placeholders as messages use them: numbered and printf
// forms, each argument kind's defaults, flags, widths and the message cut.
// Malformed and hostile formats are format_message_hostile_test's.
#include "text/format_message.h"

#include <climits>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "text/message.h"

namespace {

using tav::makeMessage;

struct Case {
    std::string actual;
    std::string expected;
};

void expectAll(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(c.actual, c.expected);
    }
}

// The bare "%1" form prints each kind with its default length and conversion.
TEST(FormatMessage, NumberedFormUsesEachKindsDefault) {
    const std::string_view longer = "viewed-and-more";
    expectAll({
        {makeMessage("%1 %2", INT64_MIN, UINT64_MAX), "-9223372036854775808 18446744073709551615"},
        {makeMessage("%1 %2", std::int32_t{-5}, 4294967295u), "-5 4294967295"},
        {makeMessage("%1 %2 %3", 0.1, 1e20, 2.5f), "0.1 1e+20 2.5"},
        {makeMessage("%1|%2|%3", 'x', std::string("owned"), longer.substr(0, 6)), "x|owned|viewed"},
        {makeMessage("%1", static_cast<const char*>(nullptr)), "(null)"},
        {makeMessage("%1 %2 %3", true, short{-3}, static_cast<unsigned char>(200)), "1 -3 200"},
        {makeMessage("%1 %2", LONG_MIN, ULONG_MAX),
         sizeof(long) == 8 ? "-9223372036854775808 18446744073709551615"
                           : "-2147483648 4294967295"},
    });
}

// An explicit placeholder gets no length modifier added: a 64-bit value shows
// its low 32 bits unless a length is written out.
TEST(FormatMessage, ExplicitConversionKeepsItsOwnLength) {
    const std::int64_t big = (std::int64_t{1} << 32) + 5;
    const std::uint64_t ubig = (std::uint64_t{3} << 32) + 7;
    expectAll({
        {makeMessage("%d %u %x", big, ubig, std::int64_t{-1}), "5 7 ffffffff"},
        {makeMessage("%lld %llu %1$Ld", big, ubig), "4294967301 12884901895 4294967301"},
        {makeMessage("%jd %zu %td", big, ubig, big),
         sizeof(void*) == 8 ? "4294967301 12884901895 4294967301" : "4294967301 7 5"},
        {makeMessage("%hd %hhd %hhu", 70000, 300, -1), "4464 44 255"},
        {makeMessage("%d", UINT64_MAX), "-1"},
    });
}

// A conversion outside the kind's set is replaced by the kind's default;
// length modifiers that mean nothing for the kind are dropped.
TEST(FormatMessage, ForeignConversionFallsBackToKindDefault) {
    expectAll({
        {makeMessage("%s %f", 42, 42ULL), "42 42"},
        {makeMessage("%d %x", "text", 0.5), "text 0.5"},
        {makeMessage("%s %c %d %X", 'q', 65, 'A', 'A'), "q A 65 41"},
        {makeMessage("%e %a", 1.5, 1.0), "1.500000e+00 0x1p+0"},
        {makeMessage("%ls %lc %Lf", "wide?", 'w', 0.25), "wide? w 0.250000"},
    });
}

TEST(FormatMessage, FlagsWidthsPrecisionsAndStars) {
    expectAll({
        {makeMessage("[%-5d][%05d][%+d][% d]", 7, 7, 7, 7), "[7    ][00007][+7][ 7]"},
        {makeMessage("[%#x][%#o][%.5d][%.d]", 31, 8, 7, 0), "[0x1f][010][00007][]"},
        {makeMessage("[%.3s][%8.3f]", "abcdef", 2.0), "[abc][   2.000]"},
        {makeMessage("[%06s][%#d]", "ab", 7), "[    ab][7]"},  // flags C leaves undefined
        {makeMessage("[%*d][%*d]", 3, 7, -3, 7), "[  7][7  ]"},
        {makeMessage("[%.*f][%.*f]", 2, 3.14159, -1, 0.5), "[3.14][0.500000]"},
        {makeMessage("[%2$*1$d][%3$.*1$s]", 3, 7, "abcdef"), "[  7][abc]"},
    });
}

// Unindexed placeholders, "*" included, take the arguments in order; the
// numbered forms do not move that order. A leading number naming an argument
// is an index even with leading zeros; 0 or a number above the count is not.
TEST(FormatMessage, ArgumentSelection) {
    expectAll({
        {makeMessage("%1 (%2)", "boom", "5"), "boom (5)"},
        {makeMessage("%2 %1", "a", "b"), "b a"},
        {makeMessage("%%1", 3), "%1"},
        {makeMessage("%5 items", std::int32_t{7}), "    7items"},
        {makeMessage("%s-%1-%s", "a", "b"), "a-a-b"},
        {makeMessage("%2$s-%s", "a", "b"), "b-a"},
        {makeMessage("%*d|%s", 3, 1, "x"), "  1|x"},
        {makeMessage("%05d", 1, 2, 3, 4, 5), "5d"},
        {makeMessage("%05d", 1, 2, 3, 4), "00001"},
        {makeMessage("%0d|", 9), "9|"},
    });
}

TEST(FormatMessage, LongMessagesAreCutTo4095Characters) {
    const std::string longText(5000, 'x');
    const std::string cut = makeMessage("<%1>", longText);
    EXPECT_EQ(cut, "<" + longText.substr(0, tav::kMessageBufferSize - 2));
    const std::string exact(4095, 'y');
    EXPECT_EQ(makeMessage("%1", exact), exact);

    char small[8];
    EXPECT_EQ(tav::formatMessageInto(small, sizeof small, "%1=%2", "longer", 42), 7u);
    EXPECT_STREQ(small, "longer=");
}

struct Point {
    int x;
    int y;
};

std::string pointText(const Point& p) {
    return "(" + std::to_string(p.x) + ", " + std::to_string(p.y) + ")";
}

}  // namespace

template <>
struct tav::FormatArgTraits<Point> : tav::TextFormArgTraits<Point, &pointText> {};

namespace {

TEST(FormatMessage, CustomKindPrintsThroughItsText) {
    const Point p{1, -2};
    expectAll({
        {makeMessage("at %1", p), "at (1, -2)"},
        {makeMessage("[%-9s][%.3d]", p, p), "[(1, -2)  ][(1,]"},
    });
    EXPECT_EQ(makeMessage("a%*db", p, 1), "a");  // not an integer: no width from it
}

}  // namespace
