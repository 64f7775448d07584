#include "log/console_targets.h"

#include <mutex>

#include "log/log_format.h"
#include "platform/debug_output.h"

namespace tav {

// Each most-derived destructor unregisters before its own members go: once
// Unregister returns, the manager has finished any dispatch that could still
// reach this object's Write.

const char* BaseConsoleLogTarget::Name() const {
    return "BaseConsoleLogTarget";
}

StdErrLogTarget::~StdErrLogTarget() {
    Unregister();
}

const char* StdErrLogTarget::Name() const {
    return "StdErrLogTarget";
}

bool StdErrLogTarget::Write(const LogRecord& record) {
    std::lock_guard guard(Lock());
    char line[kLogLineCapacity];
    FormatLine(line, sizeof line, record);
    return std::fputs(line, stream()) >= 0;
}

void StdErrLogTarget::Flush() {
    std::lock_guard guard(Lock());
    std::fflush(stream());
}

void StdErrLogTarget::SetStream(std::FILE* stream) {
    std::lock_guard guard(Lock());
    stream_ = stream;
}

StdOutLogTarget::~StdOutLogTarget() {
    Unregister();
}

const char* StdOutLogTarget::Name() const {
    return "StdOutLogTarget";
}

bool StdOutLogTarget::Write(const LogRecord& record) {
    std::lock_guard guard(Lock());
    char line[kLogLineCapacity];
    FormatLine(line, sizeof line, record);
    const bool written = std::fputs(line, stream()) >= 0;
    if (flushAfterWrite_) {
        std::fflush(stream());
    }
    return written;
}

void StdOutLogTarget::Flush() {
    std::lock_guard guard(Lock());
    std::fflush(stream());
}

void StdOutLogTarget::SetFlushAfterWrite(bool flush) {
    std::lock_guard guard(Lock());
    flushAfterWrite_ = flush;
}

void StdOutLogTarget::SetStream(std::FILE* stream) {
    std::lock_guard guard(Lock());
    stream_ = stream;
}

DebuggerConsoleLogTarget::~DebuggerConsoleLogTarget() {
    Unregister();
}

const char* DebuggerConsoleLogTarget::Name() const {
    return "DebuggerConsoleLogTarget";
}

bool DebuggerConsoleLogTarget::Write(const LogRecord& record) {
    std::lock_guard guard(Lock());
    char line[kLogLineCapacity];
    FormatLine(line, sizeof line, record);
    platform::outputDebugString(line);
    return true;
}

}  // namespace tav
