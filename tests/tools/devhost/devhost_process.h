// The tool as a user starts it: a child process with its command line, whose
// stderr is collected; started ones are waited for until their start line
// gives the port and the token, and stopped with SIGTERM.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>

namespace tav::testing {

class DevhostProcess {
public:
    // Starts the tool with args (the demo scenario unless args name one).
    explicit DevhostProcess(std::vector<std::string> args = {});
    ~DevhostProcess();
    DevhostProcess(const DevhostProcess&) = delete;
    DevhostProcess& operator=(const DevhostProcess&) = delete;

    // Whether the start line came.
    bool serving() const { return port_ != 0; }
    int port() const { return port_; }
    const std::string& token() const { return token_; }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::unique_ptr<httplib::Client> client() const;

    // Waits for the process to end (after SIGTERM unless it ended already);
    // its exit code, or -1 when a signal ended it.
    int stop();
    // Everything written to stderr so far.
    std::string stderrText();
    // Waits until stderr holds a line containing text; false after a
    // timeout or once the process has closed stderr without it.
    bool waitForStderr(const std::string& text);

private:
    int pid_ = -1;
    int exitCode_ = -1;
    int port_ = 0;
    std::string token_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string stderr_;
    bool ended_ = false;  // stderr closed: the process is gone
    std::thread reader_;
};

// A test suite whose tests share one started tool.
class SharedDevhostTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { process_ = new DevhostProcess(); }
    static void TearDownTestSuite() {
        delete process_;
        process_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(process_->serving()) << process_->stderrText(); }

    static inline DevhostProcess* process_ = nullptr;
};

// Runs the tool to its end; exit code and stderr.
struct ToolRun {
    int exitCode = -1;
    std::string err;
    std::string out;
};
ToolRun runDevhost(const std::vector<std::string>& args);

// Reads GET /events into a text until stopped.
class EventReader {
public:
    // path: "/events" or "/events?log=1".
    EventReader(const DevhostProcess& process, const std::string& path = "/events");
    ~EventReader();
    // Waits until the text read so far contains every one of parts, in
    // order; false after a timeout.
    bool waitFor(const std::vector<std::string>& parts);
    std::string text();

private:
    std::unique_ptr<httplib::Client> client_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string text_;
    std::thread thread_;
};

}  // namespace tav::testing
