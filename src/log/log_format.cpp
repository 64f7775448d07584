#include "log/log_format.h"

#include <atomic>
#include <cstdio>
#include <mutex>

#include "diag/clock.h"
#include "log/log_categories.h"
#include "platform/process_info.h"

namespace tav {
namespace {

constexpr const char* kLevelTexts[] = {"  OKAY", "  WARN", " ERROR", "ALWAYS"};

constexpr std::size_t kExecutableNameCapacity = 260;
constexpr std::size_t kModulePathCapacity = 1024;

// Written once, before the pointer is switched to it, so readers on other
// threads see either "<unknown>" or the whole name.
constinit char gExecutableName[kExecutableNameCapacity] = {};
constinit std::atomic<const char*> gExecutableNameText{"<unknown>"};
constinit std::once_flag gExecutableNameRead;

// Appends within the characters a line may use, dropping what does not fit.
class LineWriter {
public:
    LineWriter(char* buffer, std::size_t limit) : buffer_(buffer), limit_(limit) {}

    bool full() const { return length_ == limit_; }
    std::size_t length() const { return length_; }

    void put(char c) {
        if (length_ < limit_) {
            buffer_[length_++] = c;
        }
    }
    void put(const char* text) {
        for (; *text != '\0' && !full(); ++text) {
            buffer_[length_++] = *text;
        }
    }

private:
    char* buffer_;
    std::size_t limit_;
    std::size_t length_ = 0;
};

// snprintf's result clamped to what actually landed in the buffer.
std::size_t written(int result, std::size_t size) {
    if (result < 0) {
        return 0;
    }
    const auto length = static_cast<std::size_t>(result);
    return length < size ? length : size - 1;
}

}  // namespace

const char* logLevelText(std::int32_t level) {
    if (level < 0 || level > LogLevel::Always) {
        return "     ?";
    }
    return kLevelTexts[level];
}

std::size_t formatLogLine(char* buffer, std::size_t size, const char* format,
                          const LogRecord& record) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    if (size < 2) {
        buffer[0] = '\0';
        return 0;
    }

    LineWriter out(buffer, size - 2);
    // Large enough for any of the numeric directives, whatever the values.
    char scratch[128];
    for (const char* f = format != nullptr ? format : ""; *f != '\0' && !out.full();) {
        if (*f != '#') {
            out.put(*f++);
            continue;
        }
        const char directive = f[1];
        if (directive == '\0') {
            break;
        }
        f += 2;
        switch (directive) {
            case 'D':
                std::snprintf(scratch, sizeof scratch, "%04d-%02d-%02dT%02d:%02d:%02d.%03d",
                              record.year, record.month, record.day, record.hour, record.minute,
                              record.second, record.millisecond);
                out.put(scratch);
                break;
            case 'E':
                out.put(logExecutableName());
                break;
            case 'G': {
                char names[LogCategoryTable::kNamesCapacity];
                logCategoryNames(recordCategories(record), names, sizeof names);
                out.put(names);
                break;
            }
            case 'H': {
                const diag::UptimeParts uptime = diag::uptimeParts();
                std::snprintf(scratch, sizeof scratch, "%06d.%03d",
                              static_cast<int>(uptime.seconds), uptime.milliseconds);
                out.put(scratch);
                break;
            }
            case 'L':
                out.put(logLevelText(record.level));
                break;
            case 'M':
                out.put(record.message != nullptr ? record.message : "");
                break;
            case 'T':
                std::snprintf(scratch, sizeof scratch, "%p",
                              reinterpret_cast<void*>(platform::currentThreadId()));
                out.put(scratch);
                break;
            default:
                out.put(directive);
                break;
        }
    }

    // A message that brings its own line feeds still ends with exactly one,
    // so every target's output stays one line per record.
    std::size_t length = out.length();
    while (length > 0 && buffer[length - 1] == '\n') {
        --length;
    }
    buffer[length++] = '\n';
    buffer[length] = '\0';
    return length;
}

std::size_t formatTimestamp(char* buffer, std::size_t size, const LogTime& time) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    return written(
        std::snprintf(buffer, size, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", time.year, time.month,
                      time.day, time.hour, time.minute, time.second, time.millisecond),
        size);
}

std::size_t formatTimestampWithoutMilliseconds(char* buffer, std::size_t size,
                                               const LogTime& time) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    return written(std::snprintf(buffer, size, "%04d-%02d-%02dT%02d-%02d-%02d", time.year,
                                 time.month, time.day, time.hour, time.minute, time.second),
                   size);
}

LogTime currentLogTime() {
    const diag::LocalTime now = diag::localTime();
    return LogTime{now.year, now.month, now.day, now.hour, now.minute, now.second, now.millisecond};
}

const char* logExecutableName() {
    return gExecutableNameText.load(std::memory_order_acquire);
}

namespace detail {

void loadLogExecutableName() {
    std::call_once(gExecutableNameRead, [] {
        char path[kModulePathCapacity];
        if (platform::moduleFileName(path, sizeof path) == 0) {
            return;
        }
        const char* name = executableBaseName(path);
        if (*name == '\0') {
            return;
        }
        std::size_t length = 0;
        for (; name[length] != '\0' && length + 1 < kExecutableNameCapacity; ++length) {
            gExecutableName[length] = name[length];
        }
        gExecutableName[length] = '\0';
        gExecutableNameText.store(gExecutableName, std::memory_order_release);
    });
}

const char* executableBaseName(const char* path) {
    if (path == nullptr) {
        return "";
    }
    const char* name = path;
    for (const char* c = path; *c != '\0'; ++c) {
        if (*c == '\\' || *c == '/') {
            name = c + 1;
        }
    }
    return name;
}

}  // namespace detail

}  // namespace tav
