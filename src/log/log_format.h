// Text of log lines: level texts, the "#" directives of a target's format,
// timestamps, and the executable name that "#E" prints. Everything writes
// into caller buffers and never allocates, so targets can format on the
// logging path.
#pragma once

#include <cstddef>
#include <cstdint>

#include "log/log_record.h"

namespace tav {

// Size of the stack buffers of the logging path: the formatted message (cut
// to 4095 characters) and each target's formatted line.
inline constexpr std::size_t kLogMessageCapacity = 4096;
inline constexpr std::size_t kLogLineCapacity = 4096;

inline constexpr const char* kDefaultLogFormat = "#D| #L| #G| #M";

// "  OKAY", "  WARN", " ERROR", "ALWAYS"; "     ?" for any other level, so
// that #L keeps its six columns.
const char* logLevelText(std::int32_t level);

// Formats `record` by `format` into `buffer`:
//   #D local time "YYYY-MM-DDThh:mm:ss.mmm"   #E executable name
//   #G category codes joined with ";"           #H uptime "ssssss.mmm"
//   #L level text   #M message   #T thread identifier ("%p")
//   #x any other character x (so "##" is "#"); a final lone "#" ends the line.
// Two bytes of `buffer` stay reserved for the line end: the text stops when
// size - 2 characters are written, and the result always ends with exactly
// one line feed followed by a zero byte. Returns the characters written (line
// feed included); needs size >= 2 to write anything but the zero byte.
std::size_t formatLogLine(char* buffer, std::size_t size, const char* format,
                          const LogRecord& record);

// "YYYY-MM-DDThh:mm:ss.mmm" and "YYYY-MM-DDThh-mm-ss" (a form fit for file
// names). Cut to fit, zero-terminated when size > 0; return the characters
// written.
std::size_t formatTimestamp(char* buffer, std::size_t size, const LogTime& time);
std::size_t formatTimestampWithoutMilliseconds(char* buffer, std::size_t size, const LogTime& time);

// The local time now.
LogTime currentLogTime();

// The executable's file name without its folders; "<unknown>" until the log
// manager first reads it (or when the system does not tell). The text stays
// valid for the life of the process.
const char* logExecutableName();

namespace detail {

// Reads the executable name once per process; later calls do nothing.
void loadLogExecutableName();

// The part of `path` after its last "\" or "/".
const char* executableBaseName(const char* path);

}  // namespace detail

}  // namespace tav
