// Helpers shared by the log tests: a target that records the messages
// reaching it, and a fixture giving each test a fresh manager whose console
// targets write to temporary files and whose debugger channel is captured.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "log/console_targets.h"
#include "log/log_manager.h"
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
