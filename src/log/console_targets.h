// The console targets the log manager creates: standard error, standard
// output and the debugger's text channel. Each formats a record by its own
// format into a stack buffer and writes it under its lock, without
// allocating.
#pragma once

#include <cstdio>

#include "log/log_target.h"

namespace tav {

class BaseConsoleLogTarget : public LogTarget {
public:
    const char* Name() const override;
    virtual void Flush() = 0;
};

class StdErrLogTarget : public BaseConsoleLogTarget {
public:
    StdErrLogTarget() = default;
    ~StdErrLogTarget() override;

    const char* Name() const override;
    bool Write(const LogRecord& record) override;
    void Flush() override;

    // Writes to `stream` instead of standard error; nullptr goes back to it.
    // The stream must outlive its use here.
    void SetStream(std::FILE* stream);

private:
    std::FILE* stream() const { return stream_ != nullptr ? stream_ : stderr; }

    std::FILE* stream_ = nullptr;
};

class StdOutLogTarget : public BaseConsoleLogTarget {
public:
    StdOutLogTarget() = default;
    ~StdOutLogTarget() override;

    const char* Name() const override;
    bool Write(const LogRecord& record) override;
    void Flush() override;

    // Whether every written line is flushed at once (off by default).
    void SetFlushAfterWrite(bool flush);

    // Writes to `stream` instead of standard output; nullptr goes back to it.
    // The stream must outlive its use here.
    void SetStream(std::FILE* stream);

private:
    std::FILE* stream() const { return stream_ != nullptr ? stream_ : stdout; }

    std::FILE* stream_ = nullptr;
    bool flushAfterWrite_ = false;
};

// Passes each line to platform::outputDebugString.
class DebuggerConsoleLogTarget : public BaseConsoleLogTarget {
public:
    DebuggerConsoleLogTarget() = default;
    ~DebuggerConsoleLogTarget() override;

    const char* Name() const override;
    bool Write(const LogRecord& record) override;
    void Flush() override {}
};

}  // namespace tav
