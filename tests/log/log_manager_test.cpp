#include "log/log_manager.h"

#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "diag/allocation.h"
#include "log/console_targets.h"
#include "log/log_format.h"
#include "log_test_support.h"

using namespace tav;
using tav::testing::LogManagerTest;
using tav::testing::RecordingTarget;

namespace {

constexpr auto kDbg = static_cast<std::uint32_t>(LogCategory::Debug);
constexpr auto kGen = static_cast<std::uint32_t>(LogCategory::General);
constexpr auto kXtr = static_cast<std::uint32_t>(LogCategory::Extra);

}  // namespace

TEST_F(LogManagerTest, DefaultRouting) {
    Log(LogLevel::Okay, kDbg, 0, "below the minimum");
    EXPECT_EQ(stdErrText() + debuggerText(), "");

    ASSERT_TRUE(LogManager::StdOut()->Register());
    Log(LogLevel::Warn, kGen, 0, "general %d", 1);
    EXPECT_EQ(stdOutText(), "general 1\n");
    EXPECT_EQ(stdErrText() + debuggerText(), "");

    Log(LogLevel::Error, kDbg, 0, "debug");
    Log(LogLevel::Warn, 0, 0, "everyone");  // mask 0 passes every category check
    EXPECT_EQ(stdOutText(), "general 1\neveryone\n");
    const std::string err = stdErrText();
    EXPECT_EQ(err.rfind(TAV_TEST_PROGRAM_NAME "(", 0), 0u) << err;
    EXPECT_NE(err.find("):  ERROR| debug\n"), std::string::npos) << err;
    EXPECT_NE(err.find("):   WARN| everyone\n"), std::string::npos) << err;
    EXPECT_EQ(debuggerText(), err);
}

TEST_F(LogManagerTest, ManagerFiltersAndCounters) {
    RecordingTarget target;
    target.Register();
    struct Row {
        const char* name;
        void (*setUp)();
        std::int32_t level;
        std::uint32_t low;
        std::uint32_t high;
        bool passes;
    };
    const Row rows[] = {
        {"default", [] {}, LogLevel::Warn, kGen, 0, true},
        {"below the minimum", [] {}, LogLevel::Okay, 0, 0, false},
        {"XTR excluded", [] {}, LogLevel::Error, kXtr | kGen, 0, false},
        {"raised minimum", [] { LogManager::SetMinimumLevel(2); }, LogLevel::Warn, 0, 0, false},
        {"lowered minimum", [] { LogManager::SetMinimumLevel(0); }, LogLevel::Okay, 0, 0, true},
        {"nothing excluded", [] { LogManager::SetExcludedCategories(0); }, 2, kXtr, 0, true},
        {"high half excluded", [] { LogManager::SetExcludedCategories(std::uint64_t{1} << 33); },
         LogLevel::Error, 0, 2, false},
        {"disabled", [] { LogManager::Disable(); }, LogLevel::Error, 0, 0, false},
        {"enabled", [] { LogManager::Enable(); }, LogLevel::Warn, 0, 0, true},
        {"verbose is advisory", [] { LogManager::SetVerbose(true); }, 3, 0, 0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::size_t before = target.messages().size();
        row.setUp();
        Log(row.level, row.low, row.high, "%s", row.name);
        EXPECT_EQ(target.messages().size(), before + (row.passes ? 1 : 0));
    }
    // Only lines past the manager's filters count: the warnings "default"
    // and "enabled", the error "nothing excluded".
    EXPECT_EQ(LogManager::WarningCount(), 2u);
    EXPECT_EQ(LogManager::ErrorCount(), 1u);
}

TEST_F(LogManagerTest, LongMessageIsCutTo4095Characters) {
    RecordingTarget target;
    target.Register();
    const std::string message(5000, 'm');
    Log(LogLevel::Warn, 0, 0, "%s", message.c_str());
    EXPECT_EQ(target.messages(), std::vector<std::string>{message.substr(0, 4095)});
}

TEST_F(LogManagerTest, TargetList) {
    RecordingTarget a("Twin");
    RecordingTarget b("Twin");
    ASSERT_TRUE(LogManager::AddTarget(b.Interface()));
    ASSERT_TRUE(LogManager::AddTarget(a.Interface()));
    ASSERT_TRUE(LogManager::AddTarget(b.Interface()));
    EXPECT_EQ(LogManager::FindTarget("Twin"), b.Interface());
    EXPECT_EQ(LogManager::FindTarget("Twi"), nullptr);
    LogManager::RemoveTarget(b.Interface());
    EXPECT_EQ(LogManager::FindTarget("Twin"), a.Interface());
    EXPECT_EQ(LogManager::TargetCount(), 3u);  // StdErr, Debugger, a

    // The list has no fixed bound: every one of many targets gets the line.
    RecordingTarget many[100];
    for (RecordingTarget& target : many) {
        ASSERT_TRUE(target.Register());
    }
    EXPECT_EQ(LogManager::TargetCount(), 103u);
    Log(LogLevel::Warn, 0, 0, "to all");
    for (const RecordingTarget& target : many) {
        ASSERT_EQ(target.messages(), std::vector<std::string>{"to all"});
    }
}

TEST_F(LogManagerTest, LoggingDoesNotAllocate) {
    Log(LogLevel::Warn, kDbg, 0, "warm-up");
    clearDebugger();
    const diag::AllocationCounters before = diag::readAllocationCounters();
    Log(LogLevel::Error, kDbg, 0, "value %d, text %s", 42, "forty-two");
    const diag::AllocationCounters after = diag::readAllocationCounters();
    EXPECT_EQ(after.allocations, before.allocations);
    EXPECT_EQ(after.frees, before.frees);
    EXPECT_NE(debuggerText().find(" ERROR| value 42, text forty-two\n"), std::string::npos);
}

TEST_F(LogManagerTest, ConcurrentLinesNeverInterleave) {
    // Appends one character at a time without a lock of its own: only the
    // manager's lock keeps two lines apart.
    struct SlowTarget : LogTarget {
        ~SlowTarget() override { Unregister(); }
        bool Write(const LogRecord& record) override {
            for (const char* c = record.message; *c != '\0'; ++c) {
                text.push_back(*c);
                std::this_thread::yield();
            }
            text.push_back('\n');
            return true;
        }
        std::string text;
    } target;
    target.Register();

    constexpr int kLines = 200;
    auto writer = [](char fill) {
        const std::string line(24, fill);
        for (int i = 0; i < kLines; ++i) {
            Log(LogLevel::Warn, 0, 0, "%s", line.c_str());
        }
    };
    std::thread a(writer, 'a');
    std::thread b(writer, 'b');
    a.join();
    b.join();

    std::istringstream lines(target.text);
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        ASSERT_EQ(line, std::string(24, line[0]));
    }
    EXPECT_EQ(count, 2 * kLines);
}

TEST(LogManagerLifecycle, ReferenceCounting) {
    ASSERT_FALSE(LogManager::Exists());
    EXPECT_EQ(LogManager::Release(), 0u);  // nothing to release
    EXPECT_EQ(LogManager::AddReference(), 1u);
    EXPECT_EQ(LogManager::AddReference(), 2u);
    LogManager::SetMinimumLevel(LogLevel::Always);
    RecordingTarget target;
    target.Register();

    EXPECT_EQ(LogManager::Release(), 1u);
    EXPECT_TRUE(target.IsRegistered());
    EXPECT_EQ(LogManager::Release(), 0u);
    EXPECT_FALSE(LogManager::Exists());
    EXPECT_FALSE(target.IsRegistered());

    // A log call creates a fresh manager, without taking a reference.
    Log(LogLevel::Warn, kGen, 0, "recreates");
    EXPECT_TRUE(LogManager::Exists());
    EXPECT_EQ(LogManager::MinimumLevel(), LogManager::kDefaultMinimumLevel);
    EXPECT_EQ(LogManager::TargetCount(), 2u);
    EXPECT_EQ(LogManager::AddReference(), 1u);
    EXPECT_EQ(LogManager::Release(), 0u);
    EXPECT_FALSE(LogManager::Exists());
}
