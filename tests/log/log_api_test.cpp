// The log API table as another module sees it. What each entry does is
// tested where it lives (log_manager, log_format, log_categories tests); the
// rows here add the one thing those cannot see: that each slot of the C table
// reaches the function it names.
#include "log/log_api.h"

#include <cstdarg>
#include <string>
#include <type_traits>

#include <gtest/gtest.h>

#include "log/log_manager.h"
#include "log_test_support.h"

using namespace tav;
using tav::testing::LogManagerTest;

namespace {

void logThrough(const LogApi* api, std::int32_t level, const char* format, ...)
    TAV_PRINTF_FORMAT(3, 4);
void logThrough(const LogApi* api, std::int32_t level, const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    api->log(level, 0, 0, format, arguments);
    va_end(arguments);
}

// A target written against the C table alone, as another module would.
struct ForeignTarget {
    LogTargetInterface table{
        [](LogTargetInterface*) { return 1u; },
        [](LogTargetInterface*, std::int32_t) {},
        [](LogTargetInterface*) { return LogLevel::Okay; },
        [](LogTargetInterface*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {},
        [](LogTargetInterface*) { return std::uint64_t{0}; },
        [](LogTargetInterface*) { return std::uint64_t{0}; },
        [](LogTargetInterface*) { return "Foreign"; },
        [](LogTargetInterface*) { return "#M"; },
        [](LogTargetInterface*) {},
        [](LogTargetInterface*) {},
        [](LogTargetInterface*) { return false; },
        [](LogTargetInterface* self, const LogRecord* record) {
            reinterpret_cast<ForeignTarget*>(self)->lines += std::string(record->message) + "\n";
            return true;
        }};
    std::string lines;
};
// The table converts back to its target only in a standard-layout object.
static_assert(std::is_standard_layout_v<ForeignTarget>);

}  // namespace

TEST(LogApiTable, Lifetime) {
    const LogApi* api = logApi();
    EXPECT_EQ(api->interfaceVersion(), 1u);
    ASSERT_FALSE(LogManager::Exists());
    EXPECT_EQ(api->addReference(), 1u);
    EXPECT_EQ(api->addReference(), 2u);
    EXPECT_EQ(api->release(), 1u);
    EXPECT_EQ(api->release(), 0u);
    EXPECT_FALSE(LogManager::Exists());
}

TEST_F(LogManagerTest, ApiSettingsAndTargets) {
    const LogApi* api = logApi();
    api->setExcludedCategories(4, 1);
    EXPECT_EQ(api->excludedCategories(), 0x0000000100000004u);
    api->setVerbose();
    EXPECT_TRUE(LogManager::IsVerbose());
    api->clearVerbose();
    EXPECT_FALSE(LogManager::IsVerbose());

    EXPECT_EQ(api->stdOutTarget(), LogManager::StdOut()->Interface());
    EXPECT_EQ(api->stdErrTarget(), LogManager::StdErr()->Interface());
    EXPECT_EQ(api->debuggerTarget(), api->findTarget("DebuggerConsoleLogTarget"));

    ForeignTarget foreign;
    ASSERT_TRUE(api->addTarget(&foreign.table));
    EXPECT_EQ(api->findTarget("Foreign"), &foreign.table);
    logThrough(api, LogLevel::Okay, "okay %d", 0);
    api->setMinimumLevel(LogLevel::Okay);
    EXPECT_EQ(api->minimumLevel(), LogLevel::Okay);
    logThrough(api, LogLevel::Okay, "okay %d", 1);
    api->disable();
    logThrough(api, LogLevel::Always, "disabled");
    api->enable();
    logThrough(api, LogLevel::Always, "enabled");
    api->removeTarget(&foreign.table);
    logThrough(api, LogLevel::Always, "removed");
    EXPECT_EQ(foreign.lines, "okay 1\nenabled\n");
}

TEST_F(LogManagerTest, ApiTextEntries) {
    const LogApi* api = logApi();
    char buffer[256];
    EXPECT_EQ(api->registerCategory("LOC"), std::uint64_t{1} << 8);
    EXPECT_EQ(api->categoryNames(0x103, buffer, sizeof buffer), 11u);
    EXPECT_STREQ(buffer, "DBG;GEN;LOC");

    const LogRecord record{2024, 1, 2, 3, 4, 5, 6, LogLevel::Error, 5, 0, "text"};
    api->formatLine(buffer, sizeof buffer, "#D| #L| #G| #M", &record);
    EXPECT_STREQ(buffer, "2024-01-02T03:04:05.006|  ERROR| DBG;XTR| text\n");
    EXPECT_STREQ(api->levelText(LogLevel::Okay), "  OKAY");
    EXPECT_STREQ(api->executableName(), TAV_TEST_PROGRAM_NAME);

    LogTime now{};
    api->localTime(&now);
    EXPECT_GE(now.year, 2024);
    EXPECT_EQ(api->timestamp(buffer, sizeof buffer), 23u);
    EXPECT_EQ(buffer[19], '.');
    EXPECT_EQ(api->timestampWithoutMilliseconds(buffer, sizeof buffer), 19u);
    EXPECT_EQ(buffer[13], '-');
}
