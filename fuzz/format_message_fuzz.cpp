// The message formatter with its format text, argument kinds and values and
// buffer size taken from the input, the buffer allocated exactly so that a
// write past it is caught. The input's lines:
//   1: argument kinds, one letter each (at most 8): d int64, u uint64,
//      i int32, I uint32, c char, f double, s text, n null text, S string;
//   2: buffer size (decimal, at most 600; 0 passes no buffer);
//   3...: one value per argument (numbers as strtoll/strtoull/strtod read
//      them, a char as the line's first byte);
//   the rest: the format text (up to its first zero byte).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "text/format_message.h"

namespace {

using tav::FormatArg;
using tav::fuzz::takeLine;

// The argument values, stored where the FormatArg pointers can reach them.
struct Values {
    std::deque<std::int64_t> int64s;
    std::deque<std::uint64_t> uint64s;
    std::deque<std::int32_t> int32s;
    std::deque<std::uint32_t> uint32s;
    std::deque<char> chars;
    std::deque<double> doubles;
    std::deque<std::string> strings;
    std::deque<const char*> texts;
};

FormatArg argument(Values& values, char kind, const std::string& line) {
    switch (kind) {
        case 'd':
            return {&tav::kInt64ArgKind,
                    &values.int64s.emplace_back(std::strtoll(line.c_str(), nullptr, 0))};
        case 'u':
            return {&tav::kUInt64ArgKind,
                    &values.uint64s.emplace_back(std::strtoull(line.c_str(), nullptr, 0))};
        case 'i':
            return {&tav::kInt32ArgKind, &values.int32s.emplace_back(static_cast<std::int32_t>(
                                             std::strtoll(line.c_str(), nullptr, 0)))};
        case 'I':
            return {&tav::kUInt32ArgKind, &values.uint32s.emplace_back(static_cast<std::uint32_t>(
                                              std::strtoull(line.c_str(), nullptr, 0)))};
        case 'c':
            return {&tav::kCharArgKind, &values.chars.emplace_back(line.empty() ? '\0' : line[0])};
        case 'f':
            return {&tav::kDoubleArgKind,
                    &values.doubles.emplace_back(std::strtod(line.c_str(), nullptr))};
        case 'n':
            return {&tav::kTextArgKind, &values.texts.emplace_back(nullptr)};
        case 'S':
            return {&tav::kStringArgKind, &values.strings.emplace_back(line)};
        default:
            return {&tav::kTextArgKind,
                    &values.texts.emplace_back(values.strings.emplace_back(line).c_str())};
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const std::string_view kinds = takeLine(rest).substr(0, 8);
    const std::size_t bufferSize =
        std::strtoul(std::string(takeLine(rest).substr(0, 8)).c_str(), nullptr, 10) % 601;
    Values values;
    std::vector<FormatArg> args;
    for (const char kind : kinds) {
        // The values line is read whatever the letter, so that the layout
        // does not shift under mutation.
        args.push_back(argument(values, kind, std::string(takeLine(rest))));
    }
    const std::string format(rest.substr(0, rest.find('\0')));

    const std::unique_ptr<char[]> buffer(bufferSize != 0 ? new char[bufferSize] : nullptr);
    const std::size_t written =
        tav::formatMessage(buffer.get(), bufferSize, format.c_str(), args.data(), args.size());
    if (bufferSize == 0) {
        tav::fuzz::check(written == 0, "nothing written without a buffer");
    } else {
        tav::fuzz::check(written < bufferSize, "at most size - 1 characters");
        tav::fuzz::check(buffer[written] == '\0', "a zero byte after the text");
    }
    return 0;
}
