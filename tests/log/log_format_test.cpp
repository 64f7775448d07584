// Log lines from their format directives, cut at the buffer; timestamps and
// the program's name as the lines show them.
#include "log/log_format.h"

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "platform/process_info.h"

using namespace tav;

namespace {

std::string format(const char* pattern, const char* message, std::int32_t level = 2,
                   std::uint64_t mask = 0, std::size_t size = kLogLineCapacity) {
    const auto low = static_cast<std::uint32_t>(mask);
    const auto high = static_cast<std::uint32_t>(mask >> 32);
    const LogRecord record{2024, 1, 2, 3, 4, 5, 6, level, low, high, message};
    std::string buffer(size, '\x7f');
    const std::size_t length = formatLogLine(buffer.data(), size, pattern, record);
    EXPECT_EQ(buffer[length], '\0');
    return buffer.substr(0, length);
}

}  // namespace

TEST(LogLineFormat, Directives) {
    struct Row {
        const char* format;
        const char* message;
        std::uint64_t mask;
        const char* expected;
    };
    const Row rows[] = {
        {"#D| #L| #G| #M", "text", 5, "2024-01-02T03:04:05.006|  ERROR| DBG;XTR| text\n"},
        {"##", "m", 0, "#\n"},
        {"a#M#", "m", 0, "am\n"},  // a lone final "#" ends the line
        {"x##M#y", "m", 0, "x#My\n"},
        {"#G", "m", 0, "\n"},
        {"#G", "m", (std::uint64_t{1} << 63) | 2, "GEN;???\n"},
        {"#M", nullptr, 0, "\n"},
        {"#M", "line\n", 0, "line\n"},  // exactly one line feed at the end
        {"#M", "two\n\n\n", 0, "two\n"},
        {"#M", "in\nside", 0, "in\nside\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.format);
        EXPECT_EQ(format(row.format, row.message, LogLevel::Error, row.mask), row.expected);
    }

    char thread[32];
    std::snprintf(thread, sizeof thread, "%p",
                  reinterpret_cast<void*>(platform::currentThreadId()));
    EXPECT_EQ(format("#T|#E", ""), std::string(thread) + "|" + logExecutableName() + "\n");
    EXPECT_EQ(format("#H", "").size(), 11u);  // "ssssss.mmm" and the line feed
}

TEST(LogLineFormat, StopsWhenTheBufferIsFull) {
    const std::string longMessage(5000, 'a');
    EXPECT_EQ(format("#M tail", longMessage.c_str()), std::string(4094, 'a') + "\n");

    const std::pair<std::size_t, const char*> rows[] = {
        {8, "abc123\n"}, {3, "a\n"}, {2, "\n"}, {1, ""}};
    for (const auto& [size, expected] : rows) {
        SCOPED_TRACE(size);
        EXPECT_EQ(format("abc#Mdef", "123456", 1, 0, size), expected);
    }
}

TEST(LogLineFormat, Timestamps) {
    const LogTime time{2024, 1, 2, 3, 4, 5, 6};
    char buffer[32];
    EXPECT_EQ(formatTimestamp(buffer, sizeof buffer, time), 23u);
    EXPECT_STREQ(buffer, "2024-01-02T03:04:05.006");
    EXPECT_EQ(formatTimestampWithoutMilliseconds(buffer, sizeof buffer, time), 19u);
    EXPECT_STREQ(buffer, "2024-01-02T03-04-05");
    EXPECT_EQ(formatTimestamp(buffer, 8, time), 7u);
    EXPECT_STREQ(buffer, "2024-01");
}

TEST(LogExecutableName, StripsFoldersOfEitherKind) {
    const std::pair<const char*, const char*> rows[] = {
        {"C:\\Games\\client.exe", "client.exe"},
        {"/opt/bin/client", "client"},
        {"C:\\mixed/dir\\name", "name"},
        {"plain", "plain"},
        {"folder/", ""},
    };
    for (const auto& [path, name] : rows) {
        SCOPED_TRACE(path);
        EXPECT_STREQ(detail::executableBaseName(path), name);
    }
    detail::loadLogExecutableName();
    EXPECT_STREQ(logExecutableName(), TAV_TEST_PROGRAM_NAME);
}
