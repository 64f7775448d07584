// The log manager's services as one C table of 26 functions, so that a host
// or another module can log and manage targets without linking this code.
// The order of the entries is part of the contract; new entries go at the
// end with a new interface version.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "log/log_record.h"
#include "log/log_target.h"

namespace tav {

inline constexpr std::uint32_t kLogApiVersion = 1;

// Texts returned are owned by the log system: level texts and the executable
// name for the life of the process, target interfaces until they unregister
// (the built-in ones until the last release). Buffers are written cut to fit
// and zero-terminated; the functions return the characters written.
struct LogApi {
    std::uint32_t (*interfaceVersion)();  // 1
    std::uint32_t (*addReference)();      // creates the manager on the first
    std::uint32_t (*release)();           // destroys it on the last
    void (*setMinimumLevel)(std::int32_t level);
    std::int32_t (*minimumLevel)();
    void (*setExcludedCategories)(std::uint32_t low, std::uint32_t high);
    std::uint64_t (*excludedCategories)();
    void (*disable)();
    void (*enable)();
    void (*setVerbose)();  // the advisory second switch (LogManager::SetVerbose)
    void (*clearVerbose)();
    bool (*addTarget)(LogTargetInterface* target);
    void (*removeTarget)(LogTargetInterface* target);  // every occurrence
    LogTargetInterface* (*findTarget)(const char* name);
    LogTargetInterface* (*stdOutTarget)();
    LogTargetInterface* (*stdErrTarget)();
    LogTargetInterface* (*debuggerTarget)();
    std::uint64_t (*registerCategory)(const char* code);
    std::size_t (*categoryNames)(std::uint64_t mask, char* buffer, std::size_t size);
    std::size_t (*formatLine)(char* buffer, std::size_t size, const char* format,
                              const LogRecord* record);
    const char* (*levelText)(std::int32_t level);
    const char* (*executableName)();
    void (*localTime)(LogTime* time);
    std::size_t (*timestamp)(char* buffer, std::size_t size);  // now, with milliseconds
    std::size_t (*timestampWithoutMilliseconds)(char* buffer, std::size_t size);
    void (*log)(std::int32_t level, std::uint32_t maskLow, std::uint32_t maskHigh,
                const char* format, std::va_list arguments);
};

static_assert(sizeof(LogApi) == 26 * sizeof(void*));

// This process's table; valid for the life of the process.
const LogApi* logApi();

}  // namespace tav
