// Levels, category masks and the record a log target receives. These are
// plain C-layout types: the record crosses module boundaries through the
// target interface table, so it holds fixed-width fields and a borrowed
// message pointer only.
#pragma once

#include <cstdint>

namespace tav {

// Levels of a log line; #L prints each as six characters.
namespace LogLevel {
inline constexpr std::int32_t Okay = 0;
inline constexpr std::int32_t Warn = 1;
inline constexpr std::int32_t Error = 2;
inline constexpr std::int32_t Always = 3;
}  // namespace LogLevel

// The predefined categories, bits 0 to 7 of the 64-bit mask. Further bits
// are handed out by registerLogCategory (log_categories.h).
namespace LogCategory {
inline constexpr std::uint64_t Debug = 1u << 0;        // "DBG"
inline constexpr std::uint64_t General = 1u << 1;      // "GEN"
inline constexpr std::uint64_t Extra = 1u << 2;        // "XTR"
inline constexpr std::uint64_t Performance = 1u << 3;  // "PRF"
inline constexpr std::uint64_t Memory = 1u << 4;       // "MEM"
inline constexpr std::uint64_t Disk = 1u << 5;         // "DSK"
inline constexpr std::uint64_t Network = 1u << 6;      // "NET"
inline constexpr std::uint64_t Test = 1u << 7;         // "TST"
}  // namespace LogCategory

// Local wall-clock time as the log stamps it.
struct LogTime {
    std::int32_t year;
    std::int32_t month;  // 1 to 12
    std::int32_t day;
    std::int32_t hour;
    std::int32_t minute;
    std::int32_t second;
    std::int32_t millisecond;
};

// One line as the manager hands it to every target. The message is owned by
// the caller and valid only during the Write call.
struct LogRecord {
    std::int32_t year;
    std::int32_t month;
    std::int32_t day;
    std::int32_t hour;
    std::int32_t minute;
    std::int32_t second;
    std::int32_t millisecond;
    std::int32_t level;
    std::uint32_t categoriesLow;
    std::uint32_t categoriesHigh;
    const char* message;
};

static_assert(sizeof(LogTime) == 7 * 4);
static_assert(sizeof(LogRecord) == (sizeof(void*) == 4 ? 44 : 48));

inline std::uint64_t recordCategories(const LogRecord& record) {
    return (static_cast<std::uint64_t>(record.categoriesHigh) << 32) | record.categoriesLow;
}

}  // namespace tav
