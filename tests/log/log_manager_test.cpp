// The log manager, its targets and the C tables another module sees. The
// fixture gives each test a fresh manager whose console targets write to
// temporary files and whose debugger channel is captured.
#include "log/log_manager.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include "diag/allocation.h"
#include "log/console_targets.h"
#include "log/log_api.h"
#include "log/log_format.h"
#include "log/log_target.h"
#include "platform/debug_output.h"

namespace tav::testing {

// Accepts every level and category unless told otherwise.
class RecordingTarget : public LogTarget {
public:
    explicit RecordingTarget(const char* name = "RecordingTarget") : name_(name) {
        SetLevel(LogLevel::Okay);
    }
    ~RecordingTarget() override { Unregister(); }

    const char* Name() const override { return name_; }
    bool Write(const LogRecord& record) override {
        std::lock_guard guard(Lock());
        messages_.emplace_back(record.message);
        return true;
    }
    std::vector<std::string> messages() const {
        std::lock_guard guard(Lock());
        return messages_;
    }

private:
    const char* name_;
    std::vector<std::string> messages_;
};

inline std::string readBack(std::FILE* file) {
    std::string text;
    std::fflush(file);
    std::rewind(file);
    for (int c; (c = std::fgetc(file)) != EOF;) {
        text.push_back(static_cast<char>(c));
    }
    return text;
}

class LogManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(LogManager::Exists()) << "an earlier test left a manager behind";
        ASSERT_EQ(LogManager::AddReference(), 1u);
        LogManager::StdErr()->SetStream(stdErr_);
        LogManager::StdOut()->SetStream(stdOut_);
        clearDebugger();
        platform::setDebugOutputSink(&captureDebugText);
    }
    void TearDown() override {
        platform::setDebugOutputSink(nullptr);
        EXPECT_EQ(LogManager::Release(), 0u);
        std::fclose(stdErr_);
        std::fclose(stdOut_);
    }

    std::string stdErrText() const { return readBack(stdErr_); }
    std::string stdOutText() const { return readBack(stdOut_); }
    static std::string debuggerText() { return std::string(debugText().data, debugText().length); }
    static void clearDebugger() { debugText().length = 0; }

private:
    // A fixed buffer: capturing must not allocate on the logging path.
    struct DebugText {
        char data[16384];
        std::size_t length;
    };
    static DebugText& debugText() {
        static DebugText text;
        return text;
    }
    static void captureDebugText(const char* text) {
        for (DebugText& d = debugText(); *text != '\0' && d.length < sizeof d.data; ++text) {
            d.data[d.length++] = *text;
        }
    }

    std::FILE* stdErr_ = std::tmpfile();
    std::FILE* stdOut_ = std::tmpfile();
};

}  // namespace tav::testing

using namespace tav;
using tav::testing::LogManagerTest;
using tav::testing::readBack;
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

    // Each console target writes its own format; a long one is kept whole.
    clearDebugger();
    LogManager::StdErr()->SetFormatText("#L| #M");
    LogManager::StdOut()->SetFormatText((std::string(300, '-') + "#M").c_str());
    LogManager::Debugger()->SetFormatText("[#M]");
    Log(LogLevel::Warn, 0, 0, "line");
    EXPECT_EQ(stdErrText(), err + "  WARN| line\n");
    EXPECT_EQ(stdOutText(), "general 1\neveryone\n" + std::string(300, '-') + "line\n");
    EXPECT_EQ(debuggerText(), "[line]\n");
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

    const std::string message(5000, 'm');
    Log(LogLevel::Warn, 0, 0, "%s", message.c_str());
    EXPECT_EQ(target.messages().back(), message.substr(0, 4095));
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
    EXPECT_EQ(logApi()->addReference(), 2u);  // the C table reaches the same count
    LogManager::SetMinimumLevel(LogLevel::Always);
    RecordingTarget target;
    target.Register();

    EXPECT_EQ(logApi()->release(), 1u);
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

// The log API table as another module sees it. What each entry does is
// tested above and in the log_format and log_categories tests; these add the
// one thing those cannot see: that each slot of the C table reaches the
// function it names.
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

TEST_F(LogManagerTest, ApiSettingsAndTargets) {
    const LogApi* api = logApi();
    EXPECT_EQ(api->interfaceVersion(), 1u);
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
