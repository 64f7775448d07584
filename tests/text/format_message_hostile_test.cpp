// Malformed and hostile format texts: whatever the format, the formatter
// stays inside its buffer and its arguments, and stops rather than guess.
// Random formats are fuzz/format_message_fuzz.cpp's, over exact-size buffers.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "text/format_message.h"
#include "text/message.h"

namespace adversarial {
namespace {

using tav::FormatArg;
using tav::makeMessage;

// Formats into exactly `size` bytes followed by guard bytes and checks the
// contract: terminated, at most size - 1 characters, guard intact.
std::string formatChecked(std::size_t size, const std::string& format,
                          const std::vector<FormatArg>& args) {
    constexpr char kGuard = '\x5a';
    std::vector<char> buffer(size + 16, kGuard);
    // An exact-size heap copy, so that reading past the format's end is caught.
    std::vector<char> text(format.begin(), format.end());
    text.push_back('\0');
    const std::size_t written =
        tav::formatMessage(buffer.data(), size, text.data(), args.data(), args.size());
    for (std::size_t i = size; i < buffer.size(); ++i) {
        EXPECT_EQ(buffer[i], kGuard) << "byte " << i << " past the buffer was written";
    }
    if (size == 0) {
        EXPECT_EQ(written, 0u);
        return {};
    }
    EXPECT_LT(written, size);
    EXPECT_EQ(buffer[written], '\0');
    return std::string(buffer.data(), written);
}

const std::int32_t kSeven = 7;
const std::int64_t kMin64 = INT64_MIN;
const std::uint64_t kMaxU64 = UINT64_MAX;
const double kHalf = 1.5;
const char* const kText = "text";
const char kChar = 'c';

// 1: 7, 2: "text", 3: 1.5, 4: INT64_MIN, 5: 'c'.
std::vector<FormatArg> mixedArgs() {
    return {{&tav::kInt32ArgKind, &kSeven},
            {&tav::kTextArgKind, &kText},
            {&tav::kDoubleArgKind, &kHalf},
            {&tav::kInt64ArgKind, &kMin64},
            {&tav::kCharArgKind, &kChar}};
}

struct Row {
    const char* format;
    std::string expected;
};

void expectRows(std::size_t size, const std::vector<Row>& rows,
                const std::vector<FormatArg>& args = mixedArgs()) {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.format);
        EXPECT_EQ(formatChecked(size, row.format, args), row.expected);
    }
}

TEST(FormatMessageHostile, TinyBuffersAndMissingInputs) {
    const auto args = mixedArgs();
    char untouched[4] = {'X', 'X', 'X', 'X'};
    EXPECT_EQ(tav::formatMessage(untouched, 0, "abc", nullptr, 0), 0u);
    EXPECT_EQ(untouched[0], 'X');
    EXPECT_EQ(tav::formatMessage(nullptr, 16, "abc", nullptr, 0), 0u);
    EXPECT_EQ(tav::formatMessage(untouched, 4, nullptr, nullptr, 0), 0u);
    EXPECT_EQ(untouched[0], '\0');
    // A null argument list counts as empty whatever the count.
    EXPECT_EQ(tav::formatMessage(untouched, 4, "a%sb", nullptr, 3), 1u);

    EXPECT_EQ(formatChecked(1, "abc%2", args), "");
    EXPECT_EQ(formatChecked(2, "abc%2", args), "a");
    EXPECT_EQ(formatChecked(3, "%2", args), "te");
    EXPECT_EQ(formatChecked(3, "%%%%", args), "%%");
    EXPECT_EQ(formatChecked(6, "%1%2 after", args), "7text");
}

TEST(FormatMessageHostile, ConversionNIsNeverPerformed) {
    expectRows(64, {{"a%nb", "ab"},
                    {"a%2$nb%s", "ab7"},
                    {"a%hhn%lln%zn|%s", "a|0"}});  // "%s" on a 64-bit number is "%d"
    EXPECT_EQ(makeMessage("a%nb"), "a");           // it still needs an argument
}

TEST(FormatMessageHostile, StopsEarly) {
    const std::string fits = "a%" + std::string(57, '-') + "db";  // 59-character placeholder
    const std::string tooLong = "a%" + std::string(58, '-') + "db";
    const std::string longNumber = "a%" + std::string(100, '9');
    expectRows(128, {
                        {fits.c_str(), "a7b"},
                        {tooLong.c_str(), "a"},
                        {longNumber.c_str(), "a"},
                        {"a%s%*db", "a7"},   // "*" on text
                        {"a%3$*3$db", "a"},  // "*" on a double
                        {"a%*9$db", "a"},    // "*" beyond the count
                        {"a%*0$db", "a"},    // "*" on argument 0
                        {"%s%s%s%s%s|%s", "7text1.50c|"},
                    });
    EXPECT_EQ(makeMessage("x%sy"), "x");
    EXPECT_EQ(makeMessage("%2$s", "only"), "onlys");  // no index: width 2, conversion "$"
}

// A placeholder cut by the end of the text prints with the default
// conversion in place of its last character, and loses what that character
// gave: "%3" prints as "%s" would, "%.5" as "%.s"; a "*" still takes its
// argument. A bare "%" with nothing left to print writes nothing.
TEST(FormatMessageHostile, PlaceholderCutByEndOfText) {
    expectRows(32, {{"abc%", "abc7"},
                    {"abc%*", "abctext"},
                    {"abc%1$", "abc7"},
                    {"abc%4$", "abc0"},  // explicit, so no "ll"
                    {"abc%4$ll", sizeof(long) == 8 ? "abc-9223372036854775808" : "abc0"},
                    {"%12", "7"},
                    {"%123", std::string(11, ' ') + "7"},
                    {"%2$3", "text"},
                    {"[%2$.5", "["},
                    {"[%2$.52", "[text"},
                    {"[%2$.*", "["},
                    {"[%2$5.", "[ text"},
                    {"[%-", "[7"},
                    {"abc%-.", "abc7"}});
    EXPECT_EQ(makeMessage("[%3", "ab"), "[ab");
    EXPECT_EQ(makeMessage("[%.5", "abcdef"), "[");
    EXPECT_EQ(makeMessage("abc%"), "abc");
    EXPECT_EQ(makeMessage("abc%*", 5), "abc");
    EXPECT_EQ(makeMessage("abc%*", 3, 7), "abc7");
}

// Fields far larger than the buffer are cut at the buffer, quickly, and show
// exactly what an unbounded printf would have put in those bytes.
TEST(FormatMessageHostile, HugeWidthsAndPrecisionsAreCutAtTheBuffer) {
    const auto args = mixedArgs();
    expectRows(20, {
                       {"%999999999d", std::string(19, ' ')},
                       {"%+0999999999d", "+" + std::string(18, '0')},
                       {"%99999999999999999999999d", std::string(19, ' ')},
                       {"%.999999999d", std::string(19, '0')},
                       {"%1000000010.1000000000d", std::string(10, ' ') + std::string(9, '0')},
                       {"%3$.999999999f", "1.5" + std::string(16, '0')},
                       {"%3$.999999999g|", "1.5|"},
                       {"%3$#.999999999g", "1.5" + std::string(16, '0')},
                       {"%3$1000000005.999999999g|", std::string(19, ' ')},
                       // "#" keeps the zeros, which take up all but 9 of the width.
                       {"%3$#1000000010.1000000000g", std::string(9, ' ') + "1.50000000"},
                       {"%2$-999999999.2s|", "te" + std::string(17, ' ')},
                       {"%2$.999999999s|", "text|"},
                       {"%5$999999999c", std::string(19, ' ')},
                       {"%4$-999999999lld", "-922337203685477580"},
                   });
    // Stars at the ends of their ranges.
    expectRows(12, {{"%*d", "7" + std::string(10, ' ')}, {"%.*d|", "7|"}}, {args[3], args[0]});
    expectRows(12, {{"%.*d", std::string(11, '0')}}, {{&tav::kUInt64ArgKind, &kMaxU64}, args[0]});
    EXPECT_EQ(makeMessage("%999999999d|", 7), std::string(tav::kMessageBufferSize - 1, ' '));
}

}  // namespace
}  // namespace adversarial
