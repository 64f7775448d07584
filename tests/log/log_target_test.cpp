#include "log/log_target.h"

#include <string>

#include <gtest/gtest.h>

#include "log/console_targets.h"
#include "log/log_manager.h"
#include "log_test_support.h"

using namespace tav;
using tav::testing::LogManagerTest;
using tav::testing::readBack;
using tav::testing::RecordingTarget;

TEST(LogTarget, AcceptsByLevelAndCategories) {
    struct Row {
        const char* name;
        std::int32_t targetLevel;
        std::uint64_t included;
        std::uint64_t excluded;
        std::int32_t level;
        std::uint64_t mask;
        bool accepted;
    };
    const std::uint64_t high = std::uint64_t{1} << 40;
    const Row rows[] = {
        {"below the target level", 2, 0, 0, 1, 0, false},
        {"at the target level", 2, 0, 0, 2, 0, true},
        {"mask 0 passes both checks", 1, 1, ~std::uint64_t{0}, 1, 0, true},
        {"excluded bit", 1, 0, 2, 1, 2, false},
        {"excluded wins over included", 1, 3, 2, 1, 3, false},
        {"no included bit", 1, 1, 0, 1, 2, false},
        {"an included bit", 1, 1, 0, 1, 3, true},
        {"nothing included means all", 1, 0, 0, 1, 0x80, true},
        {"high half included", 1, high, 0, 1, high, true},
        {"high half excluded", 1, 0, high, 1, high | 1, false},
    };
    RecordingTarget target;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        target.SetLevel(row.targetLevel);
        target.SetCategories(row.included, row.excluded);
        EXPECT_EQ(logTargetAccepts(target.Interface(), row.level, row.mask), row.accepted);
    }
}

TEST_F(LogManagerTest, ConsoleTargetsWriteTheirFormattedLine) {
    std::FILE* err = std::tmpfile();
    std::FILE* out = std::tmpfile();
    {
        StdErrLogTarget stdErr;
        StdOutLogTarget stdOut;
        DebuggerConsoleLogTarget debugger;
        stdErr.SetStream(err);
        stdOut.SetStream(out);
        stdErr.SetFormatText("#L| #M");
        stdOut.SetFormatText((std::string(300, '-') + "#M").c_str());  // kept whole
        debugger.SetFormatText("[#M]");
        const LogRecord record{2024, 1, 2, 3, 4, 5, 6, LogLevel::Warn, 0, 0, "line"};
        EXPECT_TRUE(stdErr.Write(record));
        EXPECT_TRUE(stdOut.Write(record));
        EXPECT_TRUE(debugger.Write(record));
    }
    EXPECT_EQ(readBack(err), "  WARN| line\n");
    EXPECT_EQ(readBack(out), std::string(300, '-') + "line\n");
    EXPECT_EQ(debuggerText(), "[line]\n");
    std::fclose(err);
    std::fclose(out);
}

TEST_F(LogManagerTest, InterfaceTableDrivesTheTarget) {
    RecordingTarget target("Recorder");
    LogTargetInterface* table = target.Interface();
    EXPECT_EQ(table->interfaceVersion(table), 1u);
    table->setLevel(table, LogLevel::Error);
    EXPECT_EQ(table->level(table), LogLevel::Error);
    table->setCategories(table, 1, 2, 3, 4);
    EXPECT_EQ(table->includedCategories(table), 0x0000000200000001u);
    EXPECT_EQ(table->excludedCategories(table), 0x0000000400000003u);
    EXPECT_STREQ(table->name(table), "Recorder");
    EXPECT_STREQ(table->formatText(table), "#D| #L| #G| #M");

    const std::size_t before = LogManager::TargetCount();
    table->registerTarget(table);
    table->registerTarget(table);
    EXPECT_TRUE(table->isRegistered(table));
    EXPECT_EQ(LogManager::TargetCount(), before + 1);
    EXPECT_EQ(LogManager::FindTarget("Recorder"), table);
    table->unregisterTarget(table);
    EXPECT_FALSE(table->isRegistered(table));
    EXPECT_EQ(LogManager::TargetCount(), before);

    const LogRecord record{2024, 1, 2, 3, 4, 5, 6, LogLevel::Warn, 0, 0, "direct"};
    EXPECT_TRUE(table->write(table, &record));
    EXPECT_EQ(target.messages(), std::vector<std::string>{"direct"});
}

TEST_F(LogManagerTest, DestroyedTargetLeavesTheManager) {
    const std::size_t before = LogManager::TargetCount();
    {
        RecordingTarget registered("Registered");
        registered.Register();
        // Added through the table without registering: no flag, yet the
        // manager must not keep a pointer to it once it is gone.
        RecordingTarget added("Added");
        LogManager::AddTarget(added.Interface());
        EXPECT_EQ(LogManager::TargetCount(), before + 2);
    }
    EXPECT_EQ(LogManager::TargetCount(), before);
    Log(LogLevel::Warn, 0, 0, "reaches no destroyed target");
}

TEST_F(LogManagerTest, ConfigureSetsEverythingAndRegisters) {
    RecordingTarget target("Configured");
    Configure(target, {LogLevel::Error, LogCategory::Network, LogCategory::Disk, "#M!"});
    EXPECT_TRUE(target.IsRegistered());
    EXPECT_EQ(target.Level(), LogLevel::Error);
    EXPECT_EQ(target.IncludedCategories(), LogCategory::Network);
    EXPECT_EQ(target.ExcludedCategories(), LogCategory::Disk);
    EXPECT_STREQ(target.FormatText(), "#M!");

    // Again while registered: still one entry; a null format keeps the old one.
    const std::size_t count = LogManager::TargetCount();
    Configure(target, {LogLevel::Okay, 0, 0, nullptr});
    EXPECT_EQ(LogManager::TargetCount(), count);
    EXPECT_STREQ(target.FormatText(), "#M!");
    Log(LogLevel::Okay, 0, 0, "filtered by the manager");
    Log(LogLevel::Warn, static_cast<std::uint32_t>(LogCategory::Disk), 0, "configured");
    EXPECT_EQ(target.messages(), std::vector<std::string>{"configured"});
}
