// The process-wide log manager and the Log entry point. The manager filters
// each line by level and category, stamps it with local time and hands it to
// every registered target in registration order. It is created on first use
// (AddReference, Log, or anything that changes it) and destroyed by the last
// Release, never by process exit.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "diag/allocation.h"
#include "log/log_record.h"
#include "log/log_target.h"
#include "platform/critical_section.h"

#if defined(__GNUC__)
#define TAV_PRINTF_FORMAT(formatIndex, firstArgument) \
    __attribute__((format(printf, formatIndex, firstArgument)))
#else
#define TAV_PRINTF_FORMAT(formatIndex, firstArgument)
#endif

namespace tav {

class StdErrLogTarget;
class StdOutLogTarget;
class DebuggerConsoleLogTarget;

// Every function works on the current manager. Those that set something or
// add a target create the manager when there is none; queries and removals
// answer the defaults or do nothing instead.
//
// The last Release waits until no other thread is inside a manager function
// before freeing the manager, so a line logged concurrently is either written
// or goes to a new manager. It is not meant to run while other threads keep
// logging without pause, and never from inside a target's Write.
class LogManager {
public:
    static constexpr std::int32_t kDefaultMinimumLevel = LogLevel::Warn;
    static constexpr std::uint64_t kDefaultExcludedCategories = LogCategory::Extra;

    // Reference count; returns the new count, 0 when the manager could not
    // be created.
    static std::uint32_t AddReference();
    // Returns the remaining count. The last release unregisters every target,
    // destroys the built-in targets and frees the manager; a release without
    // a reference does nothing.
    static std::uint32_t Release();
    static bool Exists();

    // Lines below this level are dropped before formatting.
    static void SetMinimumLevel(std::int32_t level);
    static std::int32_t MinimumLevel();
    // Lines sharing a bit with these categories are dropped before formatting.
    static void SetExcludedCategories(std::uint64_t categories);
    static std::uint64_t ExcludedCategories();
    static void Disable();
    static void Enable();

    // An advisory switch that the manager itself never reads: code with
    // costly diagnostics (a whole record dumped as text, say) may ask it
    // before building them.
    static void SetVerbose(bool verbose);
    static bool IsVerbose();

    // The target list, in registration order, as long as it needs to be.
    // AddTarget appends even a target already present (false only when there
    // is no manager or no memory for a longer list);
    // RemoveTarget removes every occurrence. Targets of other modules come in
    // through these; a LogTarget registers itself with Register().
    static bool AddTarget(LogTargetInterface* target);
    static void RemoveTarget(LogTargetInterface* target);
    // The first registered target whose name is exactly `name`, or nullptr.
    static LogTargetInterface* FindTarget(const char* name);
    static std::size_t TargetCount();

    // The built-in targets, valid until the last Release.
    static StdErrLogTarget* StdErr();
    static StdOutLogTarget* StdOut();
    static DebuggerConsoleLogTarget* Debugger();

    // Lines of level 1 and 2 that passed the manager's filters.
    static std::uint64_t WarningCount();
    static std::uint64_t ErrorCount();

    static void LogV(std::int32_t level, std::uint64_t categories, const char* format,
                     std::va_list arguments) TAV_PRINTF_FORMAT(3, 0);

private:
    friend class LogTarget;
    class Use;

    LogManager();
    ~LogManager();
    LogManager(const LogManager&) = delete;
    LogManager& operator=(const LogManager&) = delete;

    static LogManager* createLocked();
    static bool Attach(LogTarget& target);
    static void Detach(LogTarget& target);

    void attachAtStart(LogTarget& target);
    bool append(LogTargetInterface* target);
    void removeAll(LogTargetInterface* target);
    void dispatch(std::int32_t level, std::uint64_t categories, const LogRecord& record);

    // Held for the whole dispatch of a line; guards the list and counters.
    platform::CriticalSection lock_;
    std::vector<LogTargetInterface*, diag::CountingAllocator<LogTargetInterface*>> targets_;
    std::uint64_t warnings_ = 0;
    std::uint64_t errors_ = 0;

    // Read before a line is formatted, without the lock.
    std::atomic<bool> disabled_{false};
    std::atomic<bool> verbose_{false};
    std::atomic<std::int32_t> minimumLevel_{kDefaultMinimumLevel};
    std::atomic<std::uint64_t> excluded_{kDefaultExcludedCategories};

    StdErrLogTarget* stdErr_ = nullptr;
    StdOutLogTarget* stdOut_ = nullptr;
    DebuggerConsoleLogTarget* debugger_ = nullptr;
};

// Logs one line: `level` 0 to 3, the category mask as its low and high
// halves, and a printf format with its arguments. The message is cut to 4095
// characters. Never fails visibly and never allocates once the manager exists.
void Log(std::int32_t level, std::uint32_t maskLow, std::uint32_t maskHigh, const char* format, ...)
    TAV_PRINTF_FORMAT(4, 5);
void LogV(std::int32_t level, std::uint32_t maskLow, std::uint32_t maskHigh, const char* format,
          std::va_list arguments) TAV_PRINTF_FORMAT(4, 0);

// Accepts diagnostics in the same form and discards them.
void Trace(const char* format, ...) TAV_PRINTF_FORMAT(1, 2);

}  // namespace tav
